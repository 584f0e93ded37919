// "Als MusicXML speichern..." and "Als LilyPond speichern...": the melody that
// "Abspielen" would play, as sheet music.

#include "sources/source_frame.h"
#include "ui/main_window.h"
#include "ui/setup_files.h"

namespace {
SourceKind SelectedSource(const TfrmFolgen* frame) {
    if (frame->rbtFormel->isChecked()) return SourceKind::Formula;
    if (frame->rbtOEIS->isChecked()) return SourceKind::Oeis;
    return SourceKind::Explicit;
}
}  // namespace

void TfrmMain::SetUpScoreExport() {
    ChooseMusicXmlFilePath = SaveDialog(this, "Als MusicXML speichern", "melodie.musicxml",
                                        "MusicXML-Dateien (*.musicxml *.xml)");
    ChooseLilyPondFilePath =
        SaveDialog(this, "Als LilyPond speichern", "melodie.ly", "LilyPond-Dateien (*.ly)");
}

Score TfrmMain::CurrentScore() {
    // The title names the source as chosen now: asking a formula for its
    // members selects the explicit list, and a lookup names its sequence.
    const SourceKind source = SelectedSource(frmFolgenNoten);
    const std::string formula = frmFolgenNoten->frmFormel1->edtFormel->text().toStdString();
    MelodyTimeline melody = BuildTimeline(*this);
    const TfrmOEIS* oeis = frmFolgenNoten->frmOEIS1;
    const std::string oeisTitle =
        oeis->lblVorLink->isVisibleTo(oeis)
            ? (oeis->lblLink->text() + ": " + oeis->Memo1->toPlainText()).toStdString()
            : std::string();
    return {SourceTitle(source, formula, oeisTitle),
            tbTempo->value(),
            cbxTonart->currentIndex(),
            cbxGrundton->currentIndex(),
            {{std::move(melody), InstrumentProgram()}}};
}

void TfrmMain::miMusicXmlDateiClick(QObject*) {
    const QString path = ChooseMusicXmlFilePath();
    if (path.isEmpty()) return;
    WriteMusicXmlFile(path.toStdString(), CurrentScore());
}

void TfrmMain::miLilyPondDateiClick(QObject*) {
    const QString path = ChooseLilyPondFilePath();
    if (path.isEmpty()) return;
    WriteLilyPondFile(path.toStdString(), CurrentScore());
}
