#include "ui/voices_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QUndoStack>
#include <QVBoxLayout>

#include "common/messages.h"
#include "help/d6onhelpfix.h"
#include "help/help_contexts.h"
#include "melodyfile/export_formats.h"
#include "midi/clock.h"
#include "midi/midi.h"
#include "midi/midi_out.h"
#include "playback/ensemble.h"
#include "playback/maps.h"
#include "playback/scales.h"
#include "setup/ensemble_setup.h"
#include "setup/setup_file.h"
#include "ui/accessibility.h"
#include "ui/error_box.h"
#include "ui/file_dialogs.h"
#include "ui/klavier.h"
#include "ui/picture_window.h"
#include "ui/render_progress.h"
#include "ui/window_host.h"

namespace {

// The keys of voice 1 look like those the main window marks.
static_assert(VoiceColour(0) == kRot);

template <class W>
W* Cell(const QTableWidget* table, int row, int column) {
    return qobject_cast<W*>(table->cellWidget(row, column));
}

class WindowObserver : public IEnsembleObserver {
public:
    using Mix = std::function<std::optional<uint8_t>(int voice)>;
    explicit WindowObserver(std::function<void(const EnsembleEvent&, bool)> sounding,
                            std::function<bool()> keepPlaying, Mix mix)
        : sounding_(std::move(sounding)),
          keepPlaying_(std::move(keepPlaying)),
          mix_(std::move(mix)) {}
    void NoteStarted(const EnsembleEvent& e) override { sounding_(e, true); }
    void NoteEnded(const EnsembleEvent& e) override { sounding_(e, false); }
    bool KeepPlaying() override { return keepPlaying_(); }
    std::optional<uint8_t> LiveVelocity(int voice, uint8_t) override { return mix_(voice); }

private:
    std::function<void(const EnsembleEvent&, bool)> sounding_;
    std::function<bool()> keepPlaying_;
    Mix mix_;
};

}  // namespace

// NOLINTNEXTLINE(readability-function-size): the window's controls, one after the other
VoicesWindow::VoicesWindow(IWindowHost& host, QWidget* parent)
    : QWidget(parent, Qt::Window), host_(host) {
    setWindowTitle("Stimmen");
    SetHelpContext(this, IDH_STIMMEN);
    resize(1040, 380);

    tblStimmen = new QTableWidget(0, kColumns, this);
    tblStimmen->setHorizontalHeaderLabels({"Name", "Instrument", "Kanal", "Einsatz (ganze Noten)",
                                           "Transposition", "Anschlag", "Panorama", "Stumm", "Solo",
                                           "Position"});
    connect(tblStimmen, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == kName) DocumentChanged();
    });
    tblStimmen->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblStimmen->setSelectionMode(QAbstractItemView::SingleSelection);
    QHeaderView* header = tblStimmen->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(kName, QHeaderView::Interactive);
    header->resizeSection(kName, 150);
    header->setSectionResizeMode(kInstrument, QHeaderView::Interactive);
    header->resizeSection(kInstrument, 190);
    header->setStretchLastSection(true);
    tblStimmen->verticalHeader()->setDefaultSectionSize(26);
    ReachCellWidgetsByKeys(tblStimmen);
    // A double click edits the voice in the main window; a name is typed
    // into, or edited with F2 or Enter.
    tblStimmen->setEditTriggers(QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::AnyKeyPressed);
    editTriggers_ = static_cast<int>(tblStimmen->editTriggers());

    btnUebernehmen = new QPushButton("Aktuelle Einstellung übernehmen", this);
    btnHinzufuegen = new QPushButton("Datei hinzufügen...", this);
    btnEntfernen = new QPushButton("Entfernen", this);
    btnHoch = new QPushButton("Nach oben", this);
    btnRunter = new QPushButton("Nach unten", this);
    btnBearbeiten = new QPushButton("Bearbeiten", this);
    btnStimmeUebernehmen = new QPushButton("Stimme übernehmen", this);
    btnRueckgaengig = new QPushButton("Rückgängig", this);
    btnWiederholen = new QPushButton("Wiederholen", this);
    btnOeffnen = new QPushButton("Öffnen...", this);
    btnSpeichern = new QPushButton("Speichern unter...", this);
    btnMidiDatei = new QPushButton(MidiExport().MenuCaption, this);
    btnMusicXmlDatei = new QPushButton(MusicXmlExport().MenuCaption, this);
    btnLilyPondDatei = new QPushButton(LilyPondExport().MenuCaption, this);
    btnWavDatei = new QPushButton(WavExport().MenuCaption, this);
    btnAudioDatei = new QPushButton(AudioExports().front().MenuCaption, this);
    SetHelpContext(btnAudioDatei, IDH_AUDIOFORMATE);
    btnAbspielen = new QPushButton(kCaptionPlay, this);
    const std::pair<QPushButton*, int> buttonHelp[] = {{btnOeffnen, IDH_SETUPDATEIEN},
                                                       {btnSpeichern, IDH_SETUPDATEIEN},
                                                       {btnMusicXmlDatei, IDH_PARTITUR},
                                                       {btnLilyPondDatei, IDH_PARTITUR},
                                                       {btnWavDatei, IDH_AUDIOEXPORT}};
    for (const auto& [button, context] : buttonHelp) SetHelpContext(button, context);

    auto* rows = new QHBoxLayout;
    for (QPushButton* b : {btnUebernehmen, btnHinzufuegen, btnEntfernen, btnHoch, btnRunter,
                           btnBearbeiten, btnStimmeUebernehmen})
        rows->addWidget(b);
    rows->addStretch();
    rows->addWidget(btnRueckgaengig);
    rows->addWidget(btnWiederholen);
    auto* files = new QHBoxLayout;
    for (QPushButton* b : {btnOeffnen, btnSpeichern, btnMidiDatei, btnMusicXmlDatei,
                           btnLilyPondDatei, btnWavDatei, btnAudioDatei})
        files->addWidget(b);
    files->addStretch();
    files->addWidget(btnAbspielen);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel("Bis zu 16 Stimmen spielen zusammen. Kanal 10 spielt "
                   "Schlagzeug: die Taste wählt dann den Klang.",
                   this));
    layout->addWidget(tblStimmen);
    layout->addLayout(rows);
    layout->addLayout(files);

    const auto on = [this](QPushButton* b, auto handler) {
        connect(b, &QPushButton::clicked, this, [this, handler] { Guarded(this, handler); });
    };
    on(btnUebernehmen, [this] { UebernehmenClick(); });
    on(btnHinzufuegen, [this] { HinzufuegenClick(); });
    on(btnEntfernen, [this] { EntfernenClick(); });
    on(btnHoch, [this] { MoveClick(-1); });
    on(btnRunter, [this] { MoveClick(1); });
    on(btnBearbeiten, [this] { BearbeitenClick(); });
    on(btnStimmeUebernehmen, [this] { StimmeUebernehmenClick(); });
    on(btnRueckgaengig, [this] { RueckgaengigClick(); });
    on(btnWiederholen, [this] { WiederholenClick(); });
    on(btnOeffnen, [this] { OeffnenClick(); });
    on(btnSpeichern, [this] { SpeichernClick(); });
    on(btnMidiDatei, [this] { MidiDateiClick(); });
    on(btnMusicXmlDatei, [this] { MusicXmlDateiClick(); });
    on(btnLilyPondDatei, [this] { LilyPondDateiClick(); });
    on(btnWavDatei, [this] { WavDateiClick(); });
    on(btnAudioDatei, [this] { AudioDateiClick(); });
    on(btnAbspielen, [this] { AbspielenClick(); });

    AskSaveChanges = [this](const QString& fileName) { return AskSaveChangesBox(this, fileName); };
    ChooseVoicePath = OpenDialog(this, "Stimme hinzufügen", kSetupFileFilter);
    ChooseOpenPath = OpenDialog(this, "Stimmen öffnen", kSetupFileFilter);
    ChooseSavePath =
        SaveDialog(this, "Stimmen speichern unter", "stimmen.sonavix", kSetupFileFilter);
    ChooseMidiPath = ExportDialog(this, MidiExport(), "stimmen");
    ChooseMusicXmlPath = ExportDialog(this, MusicXmlExport(), "stimmen");
    ChooseLilyPondPath = ExportDialog(this, LilyPondExport(), "stimmen");
    ChooseWavPath = ExportDialog(this, WavExport(), "stimmen");
    ChooseAudioPath = AudioExportDialog(this, "stimmen");
    SetUpEditing();
}

VoicesWindow::~VoicesWindow() {
    // The stack empties itself when deleted, after the buttons it would update.
    if (undo_) undo_->disconnect(this);
}

void VoicesWindow::FillRow(int row, const VoiceSetup& voice) {
    auto* name = new QTableWidgetItem(QString::fromStdString(voice.Name));
    tblStimmen->setItem(row, kName, name);
    auto* instrument = new QComboBox(tblStimmen);
    for (const char* entry : kInstrumentNames) instrument->addItem(entry);
    instrument->setCurrentIndex(voice.Instrument);
    tblStimmen->setCellWidget(row, kInstrument, instrument);
    const auto spin = [&](int column, int VoiceMix::*member) {
        const VoiceField& field = VoiceFieldOf(member);
        auto* box = new QSpinBox(tblStimmen);
        box->setRange(field.Min, field.Max);
        box->setValue(voice.*member);
        tblStimmen->setCellWidget(row, column, box);
    };
    spin(kChannel, &VoiceMix::Channel);
    spin(kTranspose, &VoiceMix::Transpose);
    spin(kVelocity, &VoiceMix::Velocity);
    spin(kPan, &VoiceMix::Pan);
    const VoiceField& offsetField = VoiceFieldOf(&VoiceMix::OffsetWholeNotes);
    auto* offset = new QDoubleSpinBox(tblStimmen);
    offset->setLocale(QLocale(QLocale::German));
    offset->setRange(offsetField.Min, offsetField.Max);
    offset->setDecimals(3);
    offset->setSingleStep(0.25);
    offset->setValue(voice.OffsetWholeNotes);
    tblStimmen->setCellWidget(row, kOffset, offset);
    for (const auto& [column, checked] : {std::pair{kMute, voice.Mute}, {kSolo, voice.Solo}}) {
        auto* box = new QCheckBox(tblStimmen);
        box->setChecked(checked);
        tblStimmen->setCellWidget(row, column, box);
    }
    auto* position = new QTableWidgetItem;
    position->setFlags(Qt::ItemIsEnabled);
    tblStimmen->setItem(row, kPosition, position);
    // Each edit of a cell may change the document.
    const auto changed = [this] { DocumentChanged(); };
    for (int column = 0; column < kColumns; ++column) {
        QWidget* cell = tblStimmen->cellWidget(row, column);
        if (auto* box = qobject_cast<QSpinBox*>(cell))
            connect(box, &QSpinBox::valueChanged, this, changed);
        else if (auto* number = qobject_cast<QDoubleSpinBox*>(cell))
            connect(number, &QDoubleSpinBox::valueChanged, this, changed);
        else if (auto* list = qobject_cast<QComboBox*>(cell))
            connect(list, &QComboBox::currentIndexChanged, this, changed);
        else if (auto* check = qobject_cast<QCheckBox*>(cell))
            connect(check, &QCheckBox::toggled, this, changed);
    }
    NameVoiceCells(tblStimmen, row);
}

VoiceSetup VoicesWindow::RowVoice(int row) const {
    VoiceSetup voice = voices_[static_cast<size_t>(row)];
    voice.Name = tblStimmen->item(row, kName)->text().toStdString();
    voice.Instrument = Cell<QComboBox>(tblStimmen, row, kInstrument)->currentIndex();
    voice.Channel = Cell<QSpinBox>(tblStimmen, row, kChannel)->value();
    voice.OffsetWholeNotes = Cell<QDoubleSpinBox>(tblStimmen, row, kOffset)->value();
    voice.Transpose = Cell<QSpinBox>(tblStimmen, row, kTranspose)->value();
    voice.Velocity = Cell<QSpinBox>(tblStimmen, row, kVelocity)->value();
    voice.Pan = Cell<QSpinBox>(tblStimmen, row, kPan)->value();
    voice.Mute = Cell<QCheckBox>(tblStimmen, row, kMute)->isChecked();
    voice.Solo = Cell<QCheckBox>(tblStimmen, row, kSolo)->isChecked();
    return voice;
}

MelodySetup VoicesWindow::Ensemble() const {
    MelodySetup setup;
    setup.Voices.clear();
    for (int row = 0; row < VoiceCount(); ++row) setup.Voices.push_back(RowVoice(row));
    if (!setup.Voices.empty() && setup.Voices.front().Tempo)
        setup.Tempo = *setup.Voices.front().Tempo;
    setup.ShowOnKeyboard = host_.MelodyOnKeyboard();
    setup.Meter = host_.CurrentSetup().Meter;  // the scores' bars are the main window's
    return setup;
}

bool VoicesWindow::AddVoice(const VoiceSetup& voice) {
    if (VoiceCount() >= kMaxEnsembleVoices) return false;
    const int row = VoiceCount();
    voices_.push_back(voice);
    tblStimmen->insertRow(row);
    FillRow(row, voice);
    tblStimmen->selectRow(row);
    DocumentChanged();
    return true;
}

void VoicesWindow::SetEnsemble(const MelodySetup& setup) {
    if (setup.Voices.size() > kMaxEnsembleVoices)
        throw ESetupError("Die Datei enthält " + std::to_string(setup.Voices.size()) +
                          " Stimmen; höchstens " + std::to_string(kMaxEnsembleVoices) +
                          " spielen zusammen");
    voices_.clear();
    tblStimmen->setRowCount(0);
    edited_.reset();
    ShowEdited();
    for (VoiceSetup voice : setup.Voices) {
        voice.Tempo = VoiceTempo(setup, voice);
        AddVoice(voice);
    }
}

namespace {
void RefuseFull() {
    throw EInvalidInput("Höchstens " + std::to_string(kMaxEnsembleVoices) +
                        " Stimmen spielen zusammen");
}
}  // namespace

void VoicesWindow::UebernehmenClick() {
    const MelodySetup current = host_.CurrentSetup();
    VoiceSetup voice = current.Voices.front();
    voice.Tempo = current.Tempo;
    voice.Name = "Stimme " + std::to_string(VoiceCount() + 1);
    voice.Channel = DefaultVoiceChannel(VoiceCount());
    if (!AddVoice(voice)) RefuseFull();
}

void VoicesWindow::HinzufuegenClick() {
    const QString path = ChooseVoicePath();
    if (path.isEmpty()) return;
    const MelodySetup file = ReadSetupFile(path.toStdString());
    if (VoiceCount() + file.Voices.size() > kMaxEnsembleVoices) RefuseFull();
    for (VoiceSetup voice : file.Voices) {
        voice.Tempo = VoiceTempo(file, voice);
        // A file of one voice is what the main window saves: it names no channel.
        if (file.Voices.size() == 1) voice.Channel = DefaultVoiceChannel(VoiceCount());
        if (voice.Name.empty()) voice.Name = QFileInfo(path).completeBaseName().toStdString();
        AddVoice(voice);
    }
}

void VoicesWindow::EntfernenClick() {
    const int row = tblStimmen->currentRow();
    if (row < 0 || row >= VoiceCount()) return;
    voices_.erase(voices_.begin() + row);
    tblStimmen->removeRow(row);
    if (edited_ && *edited_ == row) edited_.reset();
    if (edited_ && *edited_ > row) --*edited_;
    ShowEdited();
    DocumentChanged();
}

void VoicesWindow::SwapRows(int a, int b) {
    const VoiceSetup first = RowVoice(a), second = RowVoice(b);
    voices_[static_cast<size_t>(a)] = second;
    voices_[static_cast<size_t>(b)] = first;
    FillRow(a, second);
    FillRow(b, first);
    if (edited_ == a)
        edited_ = b;
    else if (edited_ == b)
        edited_ = a;
}

void VoicesWindow::MoveClick(int step) {
    const int row = tblStimmen->currentRow();
    const int other = row + step;
    if (row < 0 || other < 0 || other >= VoiceCount()) return;
    SwapRows(row, other);
    tblStimmen->selectRow(other);
    DocumentChanged();
}

void VoicesWindow::SetEditable(bool editable) {
    for (QPushButton* b : {btnUebernehmen, btnHinzufuegen, btnEntfernen, btnHoch, btnRunter,
                           btnBearbeiten, btnOeffnen, btnSpeichern, btnMidiDatei, btnMusicXmlDatei,
                           btnLilyPondDatei, btnWavDatei, btnAudioDatei})
        b->setEnabled(editable);
    // The rows' history and the voice taken back wait for the end of the run.
    editable_ = editable;
    if (editable) TakeStep();
    ShowEdited();
    showSteps_();
    // Mute, solo and velocity mix the voices live; the rest waits for the end.
    tblStimmen->setEditTriggers(editable ? QAbstractItemView::EditTriggers(editTriggers_)
                                         : QAbstractItemView::NoEditTriggers);
    for (int row = 0; row < VoiceCount(); ++row)
        for (int column = 0; column < kColumns; ++column)
            if (QWidget* cell = tblStimmen->cellWidget(row, column))
                cell->setEnabled(editable || column == kMute || column == kSolo ||
                                 column == kVelocity);
}

std::optional<uint8_t> VoicesWindow::LiveVelocity(int voice) const {
    if (voice < 0 || voice >= VoiceCount()) return std::nullopt;
    bool anySolo = false;
    for (int row = 0; row < VoiceCount(); ++row)
        anySolo = anySolo || Cell<QCheckBox>(tblStimmen, row, kSolo)->isChecked();
    if (Cell<QCheckBox>(tblStimmen, voice, kMute)->isChecked() ||
        (anySolo && !Cell<QCheckBox>(tblStimmen, voice, kSolo)->isChecked()))
        return std::nullopt;
    return static_cast<uint8_t>(Cell<QSpinBox>(tblStimmen, voice, kVelocity)->value());
}

void VoicesWindow::Stop() {
    playing_ = false;
    btnAbspielen->setText(kCaptionPlay);
}

void VoicesWindow::AbspielenClick() {
    if (playing_) {
        Stop();
        return;
    }
    if (active_) return;  // a stopped run is still silencing its notes
    Play();
}

void VoicesWindow::Sounding(const EnsembleEvent& e, bool on) {
    if (on) {
        if (QTableWidgetItem* position = tblStimmen->item(e.Voice, kPosition))
            position->setText(QString("Glied %1").arg(e.Member + 1));
        if (PictureWindow* picture = host_.OpenPicture())
            picture->ShowEnsemblePlaying(e.TimeUs / 1000);
    }
    if (!host_.MelodyOnKeyboard() && on) return;
    TTaste* key = host_.Keyboard().Key(e.Key);
    if (!key) return;
    std::vector<int>& voices = keyVoices_[e.Key];
    if (on) {
        voices.push_back(e.Voice);
    } else {
        const auto it = std::find(voices.begin(), voices.end(), e.Voice);
        if (it != voices.end()) voices.erase(it);
    }
    key->SetFace(voices.empty() ? key->Colour() : VoiceColour(voices.back()));
    if (voices.empty()) keyVoices_.erase(e.Key);
}

void VoicesWindow::Play() {
    const MelodySetup setup = Ensemble();
    if (setup.Voices.empty())
        throw EInvalidInput(
            "Es gibt keine Stimme: \"Aktuelle Einstellung übernehmen\" oder "
            "\"Datei hinzufügen...\" fügt eine hinzu");
    if (host_.MainPlaying())
        throw EInvalidInput(
            "Das Hauptfenster spielt gerade; erst nach seinem Ende spielen die "
            "Stimmen");
    // Every voice is built before anything sounds; a failure names the voice.
    const std::vector<EnsembleVoice> ensemble = EnsembleOf(setup);
    // Every voice, muted ones too: the mix may change while they play.
    const EnsembleTimeline timeline = BuildEnsembleTimeline(ensemble, /*everyVoice=*/true);
    MidiUnit& midi = host_.ReadyMidi();
    if (!midi.HasMidiOut()) throw EInvalidInput("Es ist kein MIDI-Ausgang geöffnet");
    const std::shared_ptr<IMidiOutput> output = midi.GetMidiOutput(0);

    roll_ = RollOf(ensemble);
    if (PictureWindow* picture = host_.OpenPicture()) picture->ShowEnsemble(roll_);
    playing_ = active_ = true;
    btnAbspielen->setText(kCaptionStop);
    SetEditable(false);
    // The main window's run would wait inside this one's and share its output:
    // its play button rests until the voices have ended and fallen silent.
    host_.LockMainPlay(true);
    if (setup.ShowOnKeyboard) host_.Keyboard().show();
    struct Idle {
        VoicesWindow& w;
        ~Idle() {
            for (const auto& [keyNumber, voices] : w.keyVoices_)
                if (TTaste* key = w.host_.Keyboard().Key(keyNumber)) key->SetFace(key->Colour());
            w.keyVoices_.clear();
            for (int row = 0; row < w.VoiceCount(); ++row)
                if (QTableWidgetItem* position = w.tblStimmen->item(row, kPosition))
                    position->setText(QString());
            if (PictureWindow* picture = w.host_.OpenPicture())
                picture->ShowEnsemblePlaying(std::nullopt);
            w.SetEditable(true);
            w.host_.LockMainPlay(false);
            w.active_ = false;
            w.Stop();
        }
    } idle{*this};
    WindowObserver observer([this](const EnsembleEvent& e, bool on) { Sounding(e, on); },
                            [this] {
                                QCoreApplication::processEvents();
                                return playing_;
                            },
                            [this](int voice) { return LiveVelocity(voice); });
    const RealTimeScope realTime;  // deadlines met on a busy machine too
    try {
        PlayEnsemble(timeline, *output, midi.Clock(), observer);
    } catch (const EJclMIDIError&) {
        // The device has gone (a sound server that died): it is let go, as
        // after the main window's run, so the output menu lists what is left.
        midi.ReleaseMidiOut();
        throw;
    }
}

void VoicesWindow::closeEvent(QCloseEvent* event) {
    if (!MayDropChanges()) {
        event->ignore();
        return;
    }
    Stop();
    QWidget::closeEvent(event);
}
