// The main window's sequence frames and the run of "Abspielen": the handlers
// of the frames' buttons and the window's side of the playback host.
#include <QApplication>

#include "midi/clock.h"
#include "sources/oeis.h"
#include "sources/source_frame.h"
#include "ui/error_box.h"
#include "ui/lookup_progress.h"
#include "ui/main_window.h"
#include "ui/widgets.h"

void TfrmMain::NotenrbtClick(QObject*) { frmFolgenNoten->ShowSelectedSource(); }

void TfrmMain::TemporbtClick(QObject*) { frmFolgenTempo->ShowSelectedSource(); }

void TfrmMain::cbxTempoFolgeClick(QObject*) {
    const bool ticked = cbxTempoFolge->isChecked();
    lblTempoFolge->setVisible(ticked);
    frmFolgenTempo->setVisible(ticked);
    const QRect bottom = ticked ? frmFolgenTempo->geometry() : cbxTempoFolge->geometry();
    SetClientHeight(bottom.y() + bottom.height() + btnPlay->height() + 49);
}

void TfrmMain::btnPlayClick(QObject*) {
    // With an input chosen the button's run is stepped by its keys; a range
    // from the picture window always plays in time.
    if (!run_.Active()) {
        MidiInPort* input = StepInput();
        run_.SetStepInput({input ? &input->Queue() : nullptr, false});
    }
    PlayMembers({});
    if (!run_.Active()) run_.SetStepInput({});
}

void TfrmMain::PlayMembers(const PlayRange& range) {
    // A close request made during the run is carried out when the run has
    // ended, whichever way it ends, and never outlives it.
    struct CloseAfterRun {
        TfrmMain& w;
        ~CloseAfterRun() {
            if (!w.closeRequested_ || w.run_.Active()) return;
            w.closeRequested_ = false;
            w.close();
        }
    } closeAfterRun{*this};
    AwaitMidiDecision();
    const RealTimeScope realTime;  // the rhythm kept on a busy machine too
    run_.Press(range);
}

FormulaGenerator& TfrmMain::GeneratorOf(TfrmFolgen* frame) {
    if (ExpressionPanel* panel = frmAusdruck->PanelOf(frame)) return *panel->Generator;
    return frame == frmFolgenTempo ? *tempoGenerator_ : *noteGenerator_;
}

void TfrmMain::ShowStartValues(TfrmFolgen* frame) {
    frame->frmFormel1->vleVarValues->setVisible(GeneratorOf(frame).StartValuesShown());
}

void TfrmMain::frmFormel1edtFormelExit(QObject* Sender) {
    TfrmFolgen* f = FrameOf(Sender);
    GeneratorOf(f).FormulaExit(f->frmFormel1->edtFormel->text().toStdString());
    ShowStartValues(f);
}

void TfrmMain::frmFormel1vleVarValuesExit(QObject* Sender) {
    TfrmFolgen* f = FrameOf(Sender);
    GeneratorOf(f).StartValuesExit(f->frmFormel1->edtFormel->text().toStdString());
}

void TfrmMain::frmFormel1btnGoClick(QObject* Sender) {
    TfrmFolgen* f = FrameOf(Sender);
    TfrmFormel* formel = f->frmFormel1;
    QPlainTextEdit* memo = f->frmExplizit1->mmoExplizit;
    const std::string before = memo->toPlainText().toStdString();
    std::string list = before;
    // Whatever the generation left in the list stands there, also after a failure.
    struct Show {
        TfrmMain& w;
        TfrmFolgen* f;
        QPlainTextEdit* memo;
        const std::string& before;
        std::string& list;
        ~Show() {
            w.ShowStartValues(f);
            if (list != before) FillTextBox(memo, ListForDisplay(list));
        }
    } show{*this, f, memo, before, list};
    GeneratorOf(f).Generate(formel->edtFormel->text().toStdString(),
                            formel->edtLaenge->text().toStdString(), formel->cbxNull->isChecked(),
                            list);
    f->rbtExplizit->setChecked(true);
    f->ShowSelectedSource();
}

void TfrmMain::frmFormel1cbxNullClick(QObject* Sender) {
    // The boxes always agree; setting a box raises no click, so there is no echo.
    for (TfrmFolgen* f : SourceFrames())
        f->frmFormel1->cbxNull->setChecked(static_cast<QCheckBox*>(Sender)->isChecked());
}

void TfrmMain::frmOEIS1btnGoClick(QObject* Sender) {
    TfrmOEIS* frame = FrameOf(Sender)->frmOEIS1;
    // The frame changes only when the lookup found a sequence; "Abbrechen"
    // in its progress dialog leaves it as it was.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct RestoreCursor {
        ~RestoreCursor() { QApplication::restoreOverrideCursor(); }
    } restoreCursor;
    const std::string query = frame->edtOEIS->text().toStdString();
    const bool whole = miOeisAlle->isChecked();
    const OeisHit hit = RunLookupWithProgress(this, [&](const FetchOptions& limits) {
        return OeisLookup(OeisBaseAddress(), {}, {}, limits).Run(query, whole);
    });
    frame->ShowHit(QString::fromStdString(hit.linkCaption), QString::fromStdString(hit.linkUrl),
                   QString::fromStdString(hit.name), QString::fromStdString(hit.terms));
    // Dropped signs or a missing b-file: the hit stands, and the user knows what it lacks.
    QStringList notices;
    for (const std::string& notice : hit.notices) notices << QString::fromStdString(notice);
    if (!notices.isEmpty()) ShowNotice(this, notices.join("\n"));
}

void TfrmMain::frmOEIS1lblLinkClick(QObject* Sender) {
    OpenUrl(QUrl(FrameOf(Sender)->frmOEIS1->LinkUrl));
}

namespace {
// A frame of the window as the core's source rule sees it: its radio buttons,
// its two "Los!" handlers and its memos.
class WindowSourceFrame : public ISourceFrame {
public:
    WindowSourceFrame(TfrmMain& window, TfrmFolgen* frame) : w_(window), f_(frame) {}
    SourceKind SelectedSource() override { return f_->SelectedSource(); }
    void GenerateFormula() override { w_.frmFormel1btnGoClick(f_->frmFormel1->btnGo); }
    void LookUp() override { w_.frmOEIS1btnGoClick(f_->frmOEIS1->btnGo); }
    std::string LookupMembers() override {
        return f_->frmOEIS1->mmoSequence->toPlainText().toStdString();
    }
    std::string ExplicitListText() override {
        return f_->frmExplizit1->mmoExplizit->toPlainText().toStdString();
    }

private:
    TfrmMain& w_;
    TfrmFolgen* f_;
};
}  // namespace

std::string TfrmMain::ReadSourceFrame(TfrmFolgen* f) {
    WindowSourceFrame frame(*this, f);
    return ::ReadSourceFrame(frame);
}

std::string TfrmMain::ReadNoteSource() {
    std::string text = ReadSourceFrame(frmFolgenNoten);
    // The box the members came from, where a run shows the member it plays.
    playingList_ = frmFolgenNoten->rbtOEIS->isChecked() ? frmFolgenNoten->frmOEIS1->mmoSequence
                                                        : frmFolgenNoten->frmExplizit1->mmoExplizit;
    return text;
}
bool TfrmMain::TempoSequenceUsed() { return cbxTempoFolge->isChecked(); }
std::string TfrmMain::ReadTempoSource() { return ReadSourceFrame(frmFolgenTempo); }
bool TfrmMain::ExpressionUsed(Expression kind) {
    return frmAusdruck->Of(kind).cbxVerwenden->isChecked();
}
bool TfrmMain::ExpressionSequenceUsed(Expression kind) {
    return frmAusdruck->Of(kind).cbxEigeneFolge->isChecked();
}
std::string TfrmMain::ReadExpressionSource(Expression kind) {
    return ReadSourceFrame(frmAusdruck->Of(kind).frmFolgen);
}
int TfrmMain::ExpressionValue(Expression kind, std::string_view member) {
    // The window's single voice sits where its map puts it, without an offset.
    return ExpressionLookup(kind, frmAusdruck->Of(kind).Map, member);
}
bool TfrmMain::KeyboardWanted() { return cbxKlaviatur->isChecked(); }
void TfrmMain::ShowKeyboard() { frmKlavier->show(); }
void TfrmMain::MarkKey(int32_t keyNumber) { frmKlavier->MarkKey(keyNumber); }
void TfrmMain::UnmarkKey(int32_t keyNumber) { frmKlavier->UnmarkKey(keyNumber); }

void TfrmMain::SetSourceControlsEnabled(bool enabled) {
    for (TfrmFolgen* f : SourceFrames()) {
        f->frmOEIS1->btnGo->setEnabled(enabled);
        f->frmFormel1->btnGo->setEnabled(enabled);
        f->frmExplizit1->mmoExplizit->setEnabled(enabled);
    }
    // Saving would ask the sources from inside the run: a formula or a lookup
    // would rewrite the lists the run has locked.
    miMidiDatei->setEnabled(enabled);
    miWavDatei->setEnabled(enabled);
    miAudioDatei->setEnabled(enabled);
    miMusicXmlDatei->setEnabled(enabled);
    miLilyPondDatei->setEnabled(enabled);
    miListeLaden->setEnabled(enabled);
    if (Files) Files->SetEnabled(enabled);
}

void TfrmMain::SetPlayCaption(const std::string& caption) {
    btnPlay->setText(QString::fromStdString(caption));
}

void TfrmMain::ProcessPendingMessages() { QCoreApplication::processEvents(); }
