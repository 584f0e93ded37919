// The voices window's files: the ensemble as a document with its file in the
// title, and the exports of what the voices sound.
#include <QFileInfo>
#include <QTableWidget>

#include "common/messages.h"
#include "melodyfile/export_formats.h"
#include "playback/scales.h"
#include "setup/ensemble_setup.h"
#include "setup/setup_file.h"
#include "ui/error_box.h"
#include "ui/render_progress.h"
#include "ui/voices_window.h"
#include "ui/window_host.h"

void VoicesWindow::DocumentChanged() {
    // While a row is being filled its cells are not all there yet.
    for (int row = 0; row < VoiceCount(); ++row)
        if (!tblStimmen->item(row, kName) || !tblStimmen->cellWidget(row, kSolo)) return;
    modified_ = VoiceCount() > 0 && (path_.isEmpty() || !(Ensemble() == saved_));
    RowsEdited();
    const QString name = path_.isEmpty() ? QString() : QFileInfo(path_).fileName();
    setWindowTitle(name.isEmpty() ? "Stimmen" : name + (modified_ ? "*" : "") + " – Stimmen");
}

void VoicesWindow::DocumentSaved(const QString& path) {
    path_ = QFileInfo(path).absoluteFilePath();
    saved_ = Ensemble();
    host_.RememberFile(path_);
    DocumentChanged();
}

bool VoicesWindow::MayDropChanges() {
    if (!modified_) return true;
    switch (AskSaveChanges(path_.isEmpty() ? "Stimmen" : QFileInfo(path_).fileName())) {
        case QMessageBox::Yes:
            return Guarded(this,
                           [this] {
                               if (path_.isEmpty()) return SpeichernClick();
                               SaveSetupFile(path_.toStdString(), Ensemble());
                               DocumentSaved(path_);
                           }) &&
                   !modified_;
        case QMessageBox::No:
            return true;
        default:
            return false;
    }
}

void VoicesWindow::OpenEnsemble(const MelodySetup& setup, const QString& path) {
    if (!MayDropChanges()) return;
    SetEnsemble(setup);
    DocumentSaved(path);
    ForgetSteps();  // a file opened starts a history of its own
}

void VoicesWindow::OeffnenClick() {
    const QString path = ChooseOpenPath();
    if (path.isEmpty()) return;
    OpenEnsemble(ReadSetupFile(path.toStdString()), path);
}

void VoicesWindow::SpeichernClick() {
    const QString path = ChooseSavePath();
    if (path.isEmpty()) return;
    if (VoiceCount() == 0) throw EInvalidInput(msg::NoVoiceToSave);
    SaveSetupFile(path.toStdString(), Ensemble());
    DocumentSaved(path);
}

void VoicesWindow::Export(const ExportFormat& format, const std::function<QString()>& choose,
                          double quality) {
    const QString path = choose();
    if (path.isEmpty()) return;
    const MelodySetup setup = Ensemble();
    const std::vector<EnsembleVoice> voices = EnsembleOf(setup);
    const VoiceSetup first = setup.Voices.empty() ? VoiceSetup{} : setup.Voices.front();
    const ScalePreset preset = PresetOfNoteMap(first.NoteMap);
    const EnsembleExport ensemble{
        voices, VoiceTempo(setup, first), preset.ScaleIndex, preset.RootIndex, setup.Meter,
        quality};
    WriteExport(this, format, [&](const ExportProgress& progress) {
        format.WriteSeveral(path.toStdString(), ensemble, progress);
    });
}

void VoicesWindow::MidiDateiClick() { Export(MidiExport(), ChooseMidiPath); }
void VoicesWindow::MusicXmlDateiClick() { Export(MusicXmlExport(), ChooseMusicXmlPath); }
void VoicesWindow::LilyPondDateiClick() { Export(LilyPondExport(), ChooseLilyPondPath); }
void VoicesWindow::WavDateiClick() { Export(WavExport(), ChooseWavPath); }
void VoicesWindow::AudioDateiClick() {
    const AudioChoice choice = ChooseAudioPath();
    if (choice.Path.isEmpty()) return;
    Export(
        *choice.Format, [&] { return choice.Path; }, choice.Quality);
}
