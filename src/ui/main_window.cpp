#include "ui/main_window.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QUndoStack>
#include <QUrl>

#include "common/quote.h"
#include "formula/functions.h"
#include "help/d6onhelpfix.h"
#include "help/help_contexts.h"
#include "help/hh.h"
#include "help/hh_funcs.h"
#include "melodyfile/export_formats.h"
#include "midi/midi.h"
#include "midi/midi_out.h"
#include "midi/port_list.h"
#include "playback/fill.h"
#include "playback/maps.h"
#include "playback/scales.h"
#include "sources/oeis.h"
#include "ui/accessibility.h"
#include "ui/error_box.h"
#include "ui/fill_dialog.h"
#include "ui/picture_window.h"
#include "ui/scale_steps_dialog.h"
#include "ui/settings.h"
#include "ui/setup_files.h"
#include "ui/voices_window.h"
#include "ui/widgets.h"

namespace {
// Distances of the bottom row from the client area's lower edge.
constexpr int kPlayBottomGap = 4, kKlaviaturBottomGap = 9, kHomepageBottomGap = 4;
}  // namespace

template <typename Sender, typename Signal>
void TfrmMain::On(Sender* sender, Signal signal, void (TfrmMain::*handler)(QObject*)) {
    connect(sender, signal, this,
            [this, sender, handler] { Guarded(this, [&] { (this->*handler)(sender); }); });
}

template <typename Sender, typename Signal>
void TfrmMain::OnControl(Sender* sender, Signal signal, void (TfrmMain::*handler)(QObject*)) {
    connect(sender, signal, this, [this, handler](QObject* control) {
        Guarded(this, [&] { (this->*handler)(control); });
    });
}

TfrmMain::TfrmMain(MidiUnit& midi, QWidget* parent) : QMainWindow(parent), midi_(midi) {
    setWindowTitle(kAppTitle);
    // A fixed window: system menu and minimise box, no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    SetHelpContext(this, IDH_HAUPTFENSTER);
    BuildControls();
    SetUpExports();
    AskFill = [this](bool notes) -> std::optional<FillChoice> {
        FillDialog dialog(notes ? FillDialog::Map::Notes : FillDialog::Map::Tempi, FillStart(notes),
                          OwnScaleSteps, this);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        (notes ? noteFillInputs_ : tempoFillInputs_) = dialog.Inputs();
        return dialog.AcceptedChoice();
    };
    AskScaleSteps = [this](const QString& current) { return AskScaleStepsText(this, current); };
    noteGenerator_ =
        std::make_unique<FormulaGenerator>(NoteTerm, frmFolgenNoten->frmFormel1->VarValues);
    tempoGenerator_ =
        std::make_unique<FormulaGenerator>(TempoTerm, frmFolgenTempo->frmFormel1->VarValues);
    OpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    Wire();
    Files = new SetupFiles(*this, *this, mnuDatei, miMidiDatei);
    DescribeMainWindow(*this);
    WatchDocument();
    // Message boxes of the start-up are placed over the window, so it stands
    // centred at its design size before they can appear.
    resize(431, 504 + menuBar()->sizeHint().height());
    CentreOnScreen(this);
    FormCreate(this);
    ForgetSteps();  // the start-up values are no step
    // The keyboard window comes after the main window's start-up values.
    frmKlavier = std::make_unique<TfrmKlavier>();
    connect(frmKlavier.get(), &TfrmKlavier::KeyClicked, this, [this](int32_t key) {
        Guarded(frmKlavier.get(), [this, key] { KlavierKeyClick(key); });
    });
    CentreOnScreen(this);
    // Long notes keep the window painted; user input still waits for the next element.
    midi_.SetWaitHook([] {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::X11ExcludeTimers);
        // The input held back is looked at again only when the dispatcher is
        // woken; without this a click during the wait would sit there until
        // the next event from the display arrived.
        if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
            dispatcher->wakeUp();
    });
}

TfrmMain::~TfrmMain() {
    // A decision still waiting for a sound system is not waited for any longer.
    if (midiDecision_.valid()) {
        midi_.Service().StopAwaiting();
        midiDecision_.wait();
    }
    FormDestroy(this);
    // The keyboard lives as long as the main window; stop a run cleanly first.
    run_.Stop();
    midi_.SetWaitHook(nullptr);
    // The history goes first: clearing it tells the menu items, which the menus take with them.
    QObject::disconnect(undo_, nullptr, this, nullptr);
    delete undo_;
    // The controls go while the maps behind the tables still live: an open
    // cell editor commits into its map when the focus leaves it.
    delete client_;
}

// NOLINTNEXTLINE(readability-function-size): the window's controls, one after the other
void TfrmMain::BuildControls() {
    mnuDatei = menuBar()->addMenu("&Datei");
    QMenu* menuDatei = mnuDatei;
    miMidiDatei = menuDatei->addAction(MidiExport().MenuCaption);
    miWavDatei = menuDatei->addAction(WavExport().MenuCaption);
    miAudioDatei = menuDatei->addAction(AudioExports().front().MenuCaption);
    miMusicXmlDatei = menuDatei->addAction(MusicXmlExport().MenuCaption);
    miLilyPondDatei = menuDatei->addAction(LilyPondExport().MenuCaption);
    miListeLaden = menuDatei->addAction("Liste aus Datei laden...");
    miStimmen = menuDatei->addAction("Stimmen...");
    mnuMidiAusgang = menuDatei->addMenu("MIDI-Ausgang");
    mnuMidiEingang = menuDatei->addMenu("MIDI-Eingang");
    miAnsicht = menuDatei->addAction("&Ansicht...");
    miAusdruck = menuDatei->addAction("Ausdr&uck...");
    miBeenden = menuDatei->addAction("&Beenden");
    auto* menuBearbeiten = menuBar()->addMenu("&Bearbeiten");
    miNotenFuellen = menuBearbeiten->addAction("&Notentabelle füllen...");
    miTempoFuellen = menuBearbeiten->addAction("&Tempotabelle füllen...");
    miTaktart = menuBearbeiten->addAction("Ta&ktart...");
    SetUpUndo(menuBearbeiten);
    miOeisAlle =
        menuBar()->addMenu("&OEIS")->addAction("Ganze Folgen laden (b-Datei, bis 10 000 Glieder)");
    miOeisAlle->setCheckable(true);
    auto* menuHilfe = menuBar()->addMenu("&?");
    miHilfe = menuHilfe->addAction("&Hilfe");
    // F1 on a highlighted item opens the page that describes it.
    const std::pair<QAction*, int> itemHelp[] = {
        {miMidiDatei, IDH_ABSPIELEN},    {miWavDatei, IDH_AUDIOEXPORT},
        {miMusicXmlDatei, IDH_PARTITUR}, {miLilyPondDatei, IDH_PARTITUR},
        {miStimmen, IDH_STIMMEN},        {mnuMidiAusgang->menuAction(), IDH_ABSPIELEN},
        {miAnsicht, IDH_ANSICHT},        {miNotenFuellen, IDH_FUELLEN},
        {miTempoFuellen, IDH_FUELLEN},   {miTaktart, IDH_PARTITUR},
        {miOeisAlle, IDH_GANZE_FOLGEN},  {miAudioDatei, IDH_AUDIOFORMATE},
        {miListeLaden, IDH_DATENDATEI},  {mnuMidiEingang->menuAction(), IDH_MIDIEINGANG},
        {miAusdruck, IDH_AUSDRUCK}};
    for (const auto& [item, context] : itemHelp) SetHelpContext(item, context);

    client_ = new QWidget(this);
    setCentralWidget(client_);
    QWidget* c = client_;

    lblNotenfolge = PlaceLabel(c, "Notenfolge:", 8, -2);
    frmFolgenNoten = Place(new TfrmFolgen(c), 8, 11, 482, 149);
    vleNoten = Place(new ValueListEditor(NoteMap, "Divisonsrest", "Notenwert", c), 8, 161, 161, 89);
    vleNoten->SetColumnWidths(79, 76);
    SetHelpContext(vleNoten, IDH_KARTEN);
    btnLessNoten = Place(new QPushButton("-", c), 168, 181, 15, 35);
    btnMoreNoten = Place(new QPushButton("+", c), 168, 216, 15, 35);
    btnKlavier = Place(new QPushButton("Ton auf Klaviatur auswählen", c), 8, 249, 161, 25);
    lblVorgaben = PlaceLabel(c, "Vorgaben:", 208, 161);
    lblTonart = PlaceLabel(c, "Tonleiter:", 208, 181);
    cbxTonart = Place(new QComboBox(c), 264, 177, 145, 21);
    for (const char* entry : kTonartEntries) cbxTonart->addItem(entry);
    SetHelpContext(cbxTonart, IDH_KARTEN);
    lblGrundton = PlaceLabel(c, "Grundton:", 208, 207);
    cbxGrundton = Place(new QComboBox(c), 264, 203, 145, 21);
    for (const char* entry : kGrundtonEntries) cbxGrundton->addItem(entry);
    SetHelpContext(cbxGrundton, IDH_KARTEN);
    vleTempo =
        Place(new ValueListEditor(TempoMap, "Divisionsrest", "Notenlänge", c), 8, 279, 161, 89);
    vleTempo->SetColumnWidths(79, 76);
    SetHelpContext(vleTempo, IDH_KARTEN);
    btnLessTempo = Place(new QPushButton("-", c), 168, 299, 15, 35);
    btnMoreTempo = Place(new QPushButton("+", c), 168, 334, 15, 35);

    gbxOptions = Place(new QGroupBox("Abspieloptionen", c), 192, 247, 233, 121);
    SetHelpContext(gbxOptions, IDH_ABSPIELEN);
    lblInstrument = PlaceLabel(gbxOptions, "Instrument:", 13, 20);
    cbxInstrument = Place(new QComboBox(gbxOptions), 14, 36, 145, 21);
    for (const char* name : kInstrumentNames) cbxInstrument->addItem(name);
    cbxInstrument->setMaxVisibleItems(16);
    cbxInstrument->setCurrentIndex(kStartInstrument);
    // Without this the style opens the list as a menu as tall as the screen.
    cbxInstrument->setStyleSheet("combobox-popup: 0;");
    SetHelpContext(cbxInstrument, IDH_ABSPIELEN);
    lblTempoSlider = PlaceLabel(gbxOptions, "", 12, 68);
    tbTempo = Place(new QSlider(Qt::Horizontal, gbxOptions), 6, 82, 219, 33);
    tbTempo->setRange(kTempoMin, kTempoMax);
    tbTempo->setTickInterval(10);
    tbTempo->setTickPosition(QSlider::TicksBelow);
    tbTempo->setValue(kTempoMin);
    SetHelpContext(tbTempo, IDH_ABSPIELEN);

    cbxTempoFolge = Place(new QCheckBox("Für Tempo eigene Folge verwenden", c), 8, 375, 201, 17);
    lblTempoFolge = PlaceLabel(c, "Tempofolge:", 8, 392);
    lblTempoFolge->hide();
    frmFolgenTempo = Place(new TfrmFolgen(c), 8, 405, 484, 147);
    frmAusdruck = new ExpressionWindow(this);
    frmFolgenTempo->hide();
    cbxKlaviatur = Place(new QCheckBox("Melodie auf Klaviatur anzeigen", c), 8, 478, 169, 17);
    cbxKlaviatur->setChecked(true);
    btnPlay = Place(new QPushButton(kCaptionPlay, c), 197, 475, 122, 25);
    lblHomepage = Place(new QLabel("Sonavix-Team", c), 326, 487, 89, 13);
    lblHomepage->setAlignment(Qt::AlignRight);
    StyleAsLink(lblHomepage);

    for (QWidget* w : {static_cast<QWidget*>(cbxTempoFolge), static_cast<QWidget*>(cbxKlaviatur)})
        FitWidth(w);

    const QWidget* order[] = {frmFolgenNoten, vleNoten,       btnLessNoten,  btnMoreNoten,
                              btnKlavier,     cbxTonart,      cbxGrundton,   vleTempo,
                              btnLessTempo,   btnMoreTempo,   cbxInstrument, tbTempo,
                              cbxTempoFolge,  frmFolgenTempo, cbxKlaviatur,  btnPlay};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
}

void TfrmMain::Wire() {
    OnControl(frmFolgenNoten, &TfrmFolgen::sourceClicked, &TfrmMain::NotenrbtClick);
    OnControl(frmFolgenTempo, &TfrmFolgen::sourceClicked, &TfrmMain::TemporbtClick);
    for (TfrmFolgen* f : SourceFrames()) {
        On(f->frmOEIS1->btnGo, &QPushButton::clicked, &TfrmMain::frmOEIS1btnGoClick);
        OnControl(f->frmOEIS1, &TfrmOEIS::linkClicked, &TfrmMain::frmOEIS1lblLinkClick);
        connect(f->frmFormel1, &TfrmFormel::formulaExited, this, [this, f](QObject* control) {
            if (Guarded(this, [&] { frmFormel1edtFormelExit(control); })) return;
            // The keys meant to mend the refused formula belong in its field;
            // focus goes back once the move that left it has completed.
            QLineEdit* edit = f->frmFormel1->edtFormel;
            QMetaObject::invokeMethod(
                edit,
                [edit] {
                    edit->setFocus(Qt::OtherFocusReason);
                    edit->selectAll();
                },
                Qt::QueuedConnection);
        });
        On(f->frmFormel1->cbxNull, &QCheckBox::clicked, &TfrmMain::frmFormel1cbxNullClick);
        // The tempo frame's "Los!" generates the tempo sequence, as its note twin does.
        On(f->frmFormel1->btnGo, &QPushButton::clicked, &TfrmMain::frmFormel1btnGoClick);
    }
    On(btnLessNoten, &QPushButton::clicked, &TfrmMain::btnLessClick);
    On(btnMoreNoten, &QPushButton::clicked, &TfrmMain::btnMoreClick);
    On(btnLessTempo, &QPushButton::clicked, &TfrmMain::btnLessClick);
    On(btnMoreTempo, &QPushButton::clicked, &TfrmMain::btnMoreClick);
    On(btnKlavier, &QPushButton::clicked, &TfrmMain::btnKlavierClick);
    connect(cbxTonart, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index != kOwnScaleIndex) confirmedScaleIndex_ = index;
    });
    On(cbxTonart, &QComboBox::activated, &TfrmMain::cbxNotenVorgabeChange);
    On(cbxGrundton, &QComboBox::activated, &TfrmMain::cbxNotenVorgabeChange);
    On(cbxInstrument, &QComboBox::activated, &TfrmMain::cbxInstrumentChange);
    On(tbTempo, &QSlider::valueChanged, &TfrmMain::tbTempoChange);
    On(cbxTempoFolge, &QCheckBox::clicked, &TfrmMain::cbxTempoFolgeClick);
    On(btnPlay, &QPushButton::clicked, &TfrmMain::btnPlayClick);
    On(miMidiDatei, &QAction::triggered, &TfrmMain::miMidiDateiClick);
    On(miBeenden, &QAction::triggered, &TfrmMain::miBeendenClick);
    On(miHilfe, &QAction::triggered, &TfrmMain::miHilfeClick);
    On(miNotenFuellen, &QAction::triggered, &TfrmMain::FillMapClick);
    On(miTempoFuellen, &QAction::triggered, &TfrmMain::FillMapClick);
    On(miTaktart, &QAction::triggered, &TfrmMain::miTaktartClick);
    for (ValueListEditor* table : {vleNoten, vleTempo})
        AddFillMenu(table, [this, table] { Guarded(this, [&] { FillMapClick(table); }); });
    On(miWavDatei, &QAction::triggered, &TfrmMain::miWavDateiClick);
    On(miAudioDatei, &QAction::triggered, &TfrmMain::miAudioDateiClick);
    On(miMusicXmlDatei, &QAction::triggered, &TfrmMain::miMusicXmlDateiClick);
    On(miLilyPondDatei, &QAction::triggered, &TfrmMain::miLilyPondDateiClick);
    On(miAnsicht, &QAction::triggered, &TfrmMain::miAnsichtClick);
    On(miAusdruck, &QAction::triggered, &TfrmMain::miAusdruckClick);
    On(miListeLaden, &QAction::triggered, &TfrmMain::miListeLadenClick);
    On(miStimmen, &QAction::triggered, &TfrmMain::miStimmenClick);
    On(mnuMidiAusgang, &QMenu::aboutToShow, &TfrmMain::mnuMidiAusgangShow);
    On(mnuMidiEingang, &QMenu::aboutToShow, &TfrmMain::mnuMidiEingangShow);
    lblHomepage->installEventFilter(this);
    client_->installEventFilter(this);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    // The bottom row keeps its distance from the lower edge when the user resizes.
    if (watched == client_ && event->type() == QEvent::Resize && resizable_)
        PlaceBottomRow(client_->height());
    if (watched == lblHomepage && event->type() == QEvent::MouseButtonRelease)
        Guarded(this, [&] { lblHomepageClick(lblHomepage); });
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::FormCreate(QObject*) {
    // A narrow screen gets a window the user can resize.
    const QScreen* screen = QGuiApplication::primaryScreen();
    resizable_ = screen && screen->geometry().width() < 1023;
    const HHDetection& hh = HHState();
    const std::string helpFile = FindHelpFile(hh.moduleDir);
    if (!HHVersionSufficient(hh.hhLoaded, hh.hhVersion))
        ShowPlainMessage(QString::fromUtf8(kHHMissingMessage));
    mHHelp = std::make_unique<THookHelpSystem>(helpFile, "", 0);
    for (TfrmFolgen* f : {frmFolgenNoten, frmFolgenTempo}) f->MoveSubFramesUp();
    tbTempo->setValue(kStartTempo);
    // Without a MIDI output the window still opens complete; playing then stays silent.
    const QSettings settings = SonavixSettings();
    RememberMidiOutPort(midi_, settings.value(kMidiOutSetting).toString().toStdString());
    midiInName_ = settings.value(kMidiInSetting).toString();
    // A sound system that does not answer must not keep the window from
    // appearing: the devices are then decided beside it, and the output opens
    // when they are.
    if (midi_.Service().DevicesDecided()) {
        OpenMidiOutput();
    } else {
        midiDecision_ = std::async(std::launch::async, [this, service = midi_.SharedService()] {
            service->AwaitDevices();
            QMetaObject::invokeMethod(
                this, [this] { AwaitMidiDecision(); }, Qt::QueuedConnection);
        });
    }
    run_.Stop();
    cbxTempoFolgeClick(cbxTempoFolge);
    cbxGrundton->setCurrentIndex(kStartRootIndex);
    cbxTonart->setCurrentIndex(kStartScaleIndex);
    cbxNotenVorgabeChange(this);
    ResetPrimes();
    for (TfrmFolgen* f : SourceFrames())
        f->frmOEIS1->LinkUrl = QString::fromStdString(OeisBaseAddress());
    cbxTempoFolgeClick(cbxTempoFolge);
}

void TfrmMain::SetClientHeight(int outerHeight) {
    outerHeight_ = outerHeight;
    const int client = outerHeight - kNonClientHeight;
    const int w = 431;
    client_->resize(w, client);
    PlaceBottomRow(client);
    const QSize outer(w, client + menuBar()->sizeHint().height());
    if (resizable_) {
        // The user may enlarge the window but never pull the bottom row over
        // the controls above it.
        setMinimumSize(outer);
        resize(outer);
    } else {
        setFixedSize(outer);
    }
}

void TfrmMain::PlaceBottomRow(int clientHeight) {
    cbxKlaviatur->move(8, clientHeight - kKlaviaturBottomGap - 17);
    Place(btnPlay, 197, clientHeight - kPlayBottomGap - 25, 122, 25);
    Place(lblHomepage, 326, clientHeight - kHomepageBottomGap - 13, 89, 13);
}

TfrmFolgen* TfrmMain::FrameOf(QObject* control) const {
    if (ExpressionPanel* panel = frmAusdruck->PanelOf(control)) return panel->frmFolgen;
    return frmFolgenTempo->Owns(control) ? frmFolgenTempo : frmFolgenNoten;
}

std::vector<TfrmFolgen*> TfrmMain::SourceFrames() const {
    return {frmFolgenNoten, frmFolgenTempo, frmAusdruck->Of(Expression::Dynamics).frmFolgen,
            frmAusdruck->Of(Expression::Panorama).frmFolgen};
}

// ---- maps, presets, slider, instrument -------------------------------------------------

int32_t TfrmMain::GetKeyOrTempo(LookupKind kind, std::string_view member) {
    return ::GetKeyOrTempo(kind, member, NoteMap, TempoMap, tbTempo->value());
}

void TfrmMain::cbxNotenVorgabeChange(QObject* Sender) {
    // Choosing "Eigene..." asks for its steps; a new root applies the ones given.
    if (Sender == cbxTonart && cbxTonart->currentIndex() == kOwnScaleIndex) {
        // Given up or refused, the box shows again the scale the table holds.
        struct Revert {
            QComboBox* box;
            int index;
            bool done = false;
            ~Revert() {
                if (!done) box->setCurrentIndex(index);
            }
        } revert{cbxTonart, confirmedScaleIndex_};
        const std::optional<QString> text =
            AskScaleSteps(QString::fromStdString(ScaleStepsText(OwnScaleSteps)));
        if (!text) return;
        OwnScaleSteps = ParseScaleSteps(text->toStdString());
        revert.done = true;
        confirmedScaleIndex_ = kOwnScaleIndex;
    }
    ApplyScalePreset(NoteMap, cbxTonart->currentIndex(), cbxGrundton->currentIndex(),
                     OwnScaleSteps);
}

FillInputs TfrmMain::FillStart(bool notes) const {
    FillInputs start = notes ? noteFillInputs_ : tempoFillInputs_;
    start.Rows = (notes ? NoteMap : TempoMap).RowCount();
    if (!notes) {
        // The cycle the tempo map holds, where its rows are lengths a cycle may hold.
        const std::string cycle = LengthCycleText(VoiceSetup::ValuesOf(TempoMap));
        if (!cycle.empty()) start.Lengths = cycle;
        return start;
    }
    const int scale = cbxTonart->currentIndex();
    if (scale > 0 && (scale != kOwnScaleIndex || !OwnScaleSteps.empty())) {
        start.Scale = true;
        start.ScaleIndex = scale;
    }
    if (cbxGrundton->currentIndex() > 0) start.RootIndex = cbxGrundton->currentIndex();
    return start;
}

void TfrmMain::FillMapClick(QObject* Sender) {
    const bool notes = Sender == vleNoten || Sender == miNotenFuellen;
    // The rows are replaced; during a run the next note already reads them.
    const auto choice = AskFill(notes);
    if (!choice) return;
    (notes ? NoteMap : TempoMap).Assign(choice->Values);
    if (!notes) return;
    // The boxes show what was filled; setCurrentIndex does not emit the
    // "activated" their handler waits for, so the rows stay as filled.
    cbxTonart->setCurrentIndex(choice->ScaleIndex);
    cbxGrundton->setCurrentIndex(choice->RootIndex);
}

void TfrmMain::btnMoreClick(QObject* Sender) {
    AddMapRow(Sender == btnMoreTempo ? TempoMap : NoteMap);
}

void TfrmMain::btnLessClick(QObject* Sender) {
    RemoveMapRow(Sender == btnLessTempo ? TempoMap : NoteMap);
}

void TfrmMain::tbTempoChange(QObject*) {
    lblTempoSlider->setText(QString::fromStdString(TempoCaption(tbTempo->value())));
    lblTempoSlider->adjustSize();
}

void TfrmMain::cbxInstrumentChange(QObject*) { midi_.SelectInstrument(InstrumentProgram()); }

int TfrmMain::InstrumentProgram() {
    const int index = cbxInstrument->currentIndex();
    return index >= 0 && index <= 127 ? index : 0;
}

// ---- window ----------------------------------------------------------------------------

// A screen reader can press the button while a start-up notice still holds the window.
void TfrmMain::btnKlavierClick(QObject*) {
    if (frmKlavier) frmKlavier->show();
}

void TfrmMain::lblHomepageClick(QObject*) { OpenUrl(QUrl(kHomepageUrl)); }

void TfrmMain::miBeendenClick(QObject*) {
    run_.Stop();
    close();
}

void TfrmMain::miHilfeClick(QObject*) { HelpManager::Instance().HelpContext(IDH_HAUPTFENSTER); }

void TfrmMain::FormDestroy(QObject*) {
    HHCloseAll();
    mHHelp.reset();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // An ensemble playing inside this close ends at its next check.
    if (frmStimmen) frmStimmen->Stop();
    // Closing during a run ends it as "&Beenden" does: the element being
    // prepared still sounds, then the window closes.
    if (run_.Active()) {
        run_.Stop();
        closeRequested_ = true;
        event->ignore();
        return;
    }
    if ((frmStimmen && !frmStimmen->MayDropChanges()) || (Files && !Files->MayDropChanges())) {
        event->ignore();
        return;
    }
    frmKlavier->hide();
    if (Picture) Picture->hide();
    event->accept();
}
