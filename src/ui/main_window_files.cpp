// The main window as a document: what setup files capture and apply, the
// exports of its melody, and what the windows it opens ask of it.
#include <QAction>
#include <QInputDialog>

#include "common/errors.h"
#include "melodyfile/export_formats.h"
#include "playback/scales.h"
#include "setup/ensemble_setup.h"
#include "sources/oeis.h"
#include "ui/file_dialogs.h"
#include "ui/lookup_progress.h"
#include "ui/main_window.h"
#include "ui/render_progress.h"
#include "ui/setup_files.h"
#include "ui/voices_window.h"
#include "ui/widgets.h"

// ---- exports ---------------------------------------------------------------------------

void TfrmMain::SetUpExports() {
    ChooseMidiFilePath = ExportDialog(this, MidiExport(), "melodie");
    ChooseWavFilePath = ExportDialog(this, WavExport(), "melodie");
    ChooseAudioFilePath = AudioExportDialog(this, "melodie");
    ChooseMusicXmlFilePath = ExportDialog(this, MusicXmlExport(), "melodie");
    ChooseLilyPondFilePath = ExportDialog(this, LilyPondExport(), "melodie");
}

std::unique_ptr<IPlaybackHost> TfrmMain::DocumentHost() {
    // What "Abspielen" would play, read from a copy of what the window holds:
    // an export or the picture leaves the frames and the title as they are.
    const bool whole = miOeisAlle->isChecked();
    return VoiceHost(
        CaptureSetup().Voices.front(), tbTempo->value(), [this, whole](const std::string& query) {
            return RunLookupWithProgress(
                       this,
                       [&](const FetchOptions& limits) {
                           return OeisLookup(OeisBaseAddress(), {}, {}, limits).Run(query, whole);
                       })
                .terms;
        });
}

void TfrmMain::Export(const ExportFormat& format, const std::function<QString()>& choose,
                      double quality) {
    const QString path = choose();
    if (path.isEmpty()) return;
    // Titled as the command line titles the same setup: by the source selected.
    const SourceKind source = frmFolgenNoten->SelectedSource();
    const std::string formula = frmFolgenNoten->frmFormel1->edtFormel->text().toStdString();
    const std::string oeisTitle = frmFolgenNoten->frmOEIS1->HitTitle();
    const MelodyTimeline melody = BuildTimeline(*DocumentHost());
    // The key of what is played: the preset the note map is, whatever filled it.
    const ScalePreset preset = PresetOfNoteMap(VoiceSetup::ValuesOf(NoteMap));
    const MelodyExport e{melody,
                         tbTempo->value(),
                         InstrumentProgram(),
                         SourceTitle(source, formula, oeisTitle),
                         preset.ScaleIndex,
                         preset.RootIndex,
                         Meter,
                         quality};
    WriteExport(this, format, [&](const ExportProgress& progress) {
        format.WriteOne(path.toStdString(), e, progress);
    });
}

void TfrmMain::miMidiDateiClick(QObject*) { Export(MidiExport(), ChooseMidiFilePath); }
void TfrmMain::miWavDateiClick(QObject*) { Export(WavExport(), ChooseWavFilePath); }
void TfrmMain::miAudioDateiClick(QObject*) {
    const AudioChoice choice = ChooseAudioFilePath();
    if (choice.Path.isEmpty()) return;
    Export(
        *choice.Format, [&] { return choice.Path; }, choice.Quality);
}
void TfrmMain::miMusicXmlDateiClick(QObject*) { Export(MusicXmlExport(), ChooseMusicXmlFilePath); }
void TfrmMain::miLilyPondDateiClick(QObject*) { Export(LilyPondExport(), ChooseLilyPondFilePath); }

// ---- the setup it holds ----------------------------------------------------------------

MelodySetup TfrmMain::CaptureSetup() {
    MelodySetup setup;
    setup.Tempo = tbTempo->value();
    setup.ShowOnKeyboard = cbxKlaviatur->isChecked();
    setup.OeisWholeSequences = miOeisAlle->isChecked();
    VoiceSetup& v = setup.Voices.front();
    v.Notes = frmFolgenNoten->Capture();
    v.TempoSequenceUsed = cbxTempoFolge->isChecked();
    v.Tempi = frmFolgenTempo->Capture();
    v.ZeroNatural = frmFolgenNoten->frmFormel1->cbxNull->isChecked();
    // A typed text that names no entry counts as "-keine Vorgabe-".
    v.ScaleIndex = std::max(0, cbxTonart->currentIndex());
    v.RootIndex = std::max(0, cbxGrundton->currentIndex());
    v.OwnScaleSteps = OwnScaleSteps;
    v.NoteMap = VoiceSetup::ValuesOf(NoteMap);
    v.TempoMap = VoiceSetup::ValuesOf(TempoMap);
    v.Instrument = InstrumentProgram();
    v.Dynamics = frmAusdruck->Capture(Expression::Dynamics);
    v.Panorama = frmAusdruck->Capture(Expression::Panorama);
    setup.Meter = Meter;
    return setup;
}

void TfrmMain::ApplySetup(const MelodySetup& setup) {
    const VoiceSetup& v = setup.Voices.front();
    frmFolgenNoten->Apply(v.Notes);
    frmFolgenTempo->Apply(v.Tempi);
    for (TfrmFolgen* f : SourceFrames()) f->frmFormel1->cbxNull->setChecked(v.ZeroNatural);
    frmAusdruck->Apply(Expression::Dynamics, v.Dynamics);
    frmAusdruck->Apply(Expression::Panorama, v.Panorama);
    // The boxes show the preset; the rows stand as they were saved.
    cbxTonart->setCurrentIndex(v.ScaleIndex);
    confirmedScaleIndex_ = v.ScaleIndex;
    cbxGrundton->setCurrentIndex(v.RootIndex);
    OwnScaleSteps = v.OwnScaleSteps;
    NoteMap.Assign(v.NoteMap);
    TempoMap.Assign(v.TempoMap);
    cbxInstrument->setCurrentIndex(v.Instrument);
    cbxInstrumentChange(cbxInstrument);
    tbTempo->setValue(setup.Tempo);
    Meter = setup.Meter;
    cbxKlaviatur->setChecked(setup.ShowOnKeyboard);
    miOeisAlle->setChecked(setup.OeisWholeSequences);
    cbxTempoFolge->setChecked(v.TempoSequenceUsed);
    cbxTempoFolgeClick(cbxTempoFolge);
    // A file opened starts a history of its own.
    ForgetSteps();
}

void TfrmMain::OpenEnsemble(const MelodySetup& setup, const QString& path) {
    miStimmenClick(nullptr);
    frmStimmen->OpenEnsemble(setup, path);
    Meter = setup.Meter;  // the voices' scores take the main window's meter
}

void TfrmMain::ApplyDifferences(const MelodySetup& setup) {
    // Only what differs is set: a box the run reads keeps its text and place.
    const MelodySetup now = CaptureSetup();
    const VoiceSetup &v = setup.Voices.front(), &was = now.Voices.front();
    if (v.Notes != was.Notes) frmFolgenNoten->Apply(v.Notes);
    if (v.Tempi != was.Tempi) frmFolgenTempo->Apply(v.Tempi);
    if (v.ZeroNatural != was.ZeroNatural)
        for (TfrmFolgen* f : SourceFrames()) f->frmFormel1->cbxNull->setChecked(v.ZeroNatural);
    for (const Expression kind : {Expression::Dynamics, Expression::Panorama}) {
        const ExpressionSetup& shown = kind == Expression::Dynamics ? v.Dynamics : v.Panorama;
        if (shown != frmAusdruck->Capture(kind)) frmAusdruck->Apply(kind, shown);
    }
    if (v.ScaleIndex != was.ScaleIndex) {
        cbxTonart->setCurrentIndex(v.ScaleIndex);
        confirmedScaleIndex_ = v.ScaleIndex;
    }
    if (v.RootIndex != was.RootIndex) cbxGrundton->setCurrentIndex(v.RootIndex);
    OwnScaleSteps = v.OwnScaleSteps;
    if (v.NoteMap != was.NoteMap) NoteMap.Assign(v.NoteMap);
    if (v.TempoMap != was.TempoMap) TempoMap.Assign(v.TempoMap);
    if (v.Instrument != was.Instrument) {
        cbxInstrument->setCurrentIndex(v.Instrument);
        cbxInstrumentChange(cbxInstrument);
    }
    if (setup.Tempo != now.Tempo) tbTempo->setValue(setup.Tempo);
    Meter = setup.Meter;
    if (setup.ShowOnKeyboard != now.ShowOnKeyboard) cbxKlaviatur->setChecked(setup.ShowOnKeyboard);
    if (setup.OeisWholeSequences != now.OeisWholeSequences)
        miOeisAlle->setChecked(setup.OeisWholeSequences);
    if (v.TempoSequenceUsed != was.TempoSequenceUsed) {
        cbxTempoFolge->setChecked(v.TempoSequenceUsed);
        cbxTempoFolgeClick(cbxTempoFolge);
    }
}

void TfrmMain::WatchDocument() {
    const auto watch = [this](auto* sender, auto signal, const char* caption) {
        connect(sender, signal, Files, [this, caption] {
            Files->Changed();
            DocumentEdited(QString::fromUtf8(caption));
        });
    };
    watch(frmFolgenNoten, &TfrmFolgen::edited, "Notenfolge");
    watch(frmFolgenTempo, &TfrmFolgen::edited, "Tempofolge");
    const std::pair<ValueListEditor*, const char*> maps[] = {{vleNoten, "Notentabelle"},
                                                             {vleTempo, "Tempotabelle"}};
    for (const auto& [map, caption] : maps) {
        QAbstractItemModel* model = map->model();
        WatchModel(model, Files, [this, caption = caption] {
            Files->Changed();
            DocumentEdited(QString::fromUtf8(caption));
        });
    }
    watch(cbxTonart, &QComboBox::currentIndexChanged, "Tonleiter");
    watch(cbxGrundton, &QComboBox::currentIndexChanged, "Grundton");
    watch(cbxInstrument, &QComboBox::currentIndexChanged, "Instrument");
    watch(tbTempo, &QSlider::valueChanged, "Tempo");
    watch(miOeisAlle, &QAction::toggled, "Ganze Folgen laden");
    watch(cbxTempoFolge, &QCheckBox::toggled, "Für Tempo eigene Folge verwenden");
    watch(cbxKlaviatur, &QCheckBox::toggled, "Melodie auf Klaviatur anzeigen");
    watch(frmAusdruck, &ExpressionWindow::edited, "Ausdruck");
}

// ---- what the windows it opens ask of it -----------------------------------------------

MidiUnit& TfrmMain::ReadyMidi() {
    AwaitMidiDecision();
    return midi_;
}
bool TfrmMain::MainPlaying() const { return Playing(); }
void TfrmMain::LockMainPlay(bool locked) { btnPlay->setEnabled(!locked); }
TfrmKlavier& TfrmMain::Keyboard() { return *frmKlavier; }
bool TfrmMain::MelodyOnKeyboard() const { return cbxKlaviatur->isChecked(); }
PictureWindow* TfrmMain::OpenPicture() { return Picture.get(); }
MelodySetup TfrmMain::CurrentSetup() { return CaptureSetup(); }
void TfrmMain::RememberFile(const QString& path) { Files->Remember(path); }

void TfrmMain::EditVoice(const MelodySetup& setup) {
    if (run_.Active())
        throw EInvalidInput(
            "Das Hauptfenster spielt gerade; erst nach seinem Ende lässt sich eine Stimme "
            "bearbeiten");
    TakeStep();  // what was edited before is a step of its own
    DocumentEdited("Stimme bearbeiten");
    ApplyDifferences(setup);
    show();
    raise();
    activateWindow();
}

void TfrmMain::miAusdruckClick(QObject*) {
    if (!frmAusdruck->isVisible()) PlaceBelow(frmAusdruck, frmKlavier.get());
    frmAusdruck->show();
    frmAusdruck->raise();
    frmAusdruck->activateWindow();
}

void TfrmMain::miStimmenClick(QObject*) {
    if (!frmStimmen) {
        frmStimmen = new VoicesWindow(*this, this);
        PlaceBelow(frmStimmen, frmKlavier.get());
    }
    frmStimmen->show();
    frmStimmen->raise();
}

// ---- the meter of the scores -----------------------------------------------------------

std::optional<TimeSignature> AskMeterDialog(QWidget* parent, const TimeSignature& current) {
    static const char* const kMeters[] = {"2/4", "3/4", "4/4",  "2/2", "3/8",
                                          "6/8", "9/8", "12/8", "5/4", "6/4"};
    QStringList items;
    for (const char* m : kMeters) items << m;
    const QString now = QString::fromStdString(TimeSignatureText(current));
    if (!items.contains(now)) items << now;
    bool ok = false;
    const QString chosen = QInputDialog::getItem(parent, "Taktart", "Taktart der Partitur:", items,
                                                 static_cast<int>(items.indexOf(now)), false, &ok);
    if (!ok) return std::nullopt;
    return ParseTimeSignature(chosen.toStdString());
}

void TfrmMain::miTaktartClick(QObject*) {
    const std::optional<TimeSignature> meter = AskMeter(Meter);
    if (!meter || *meter == Meter) return;
    Meter = *meter;
    Files->Changed();
    DocumentEdited("Taktart");
}
