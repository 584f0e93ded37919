// "Rückgängig" and "Wiederholen": every edit of the document is a step that
// holds what the window held before and after it. Steps are taken once the
// event that made them is handled, so that a choice and what it fills (a
// preset and its table, "Los!" and its list) are one step.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QUndoStack>

#include "common/errors.h"
#include "ui/error_box.h"
#include "ui/main_window.h"
#include "ui/setup_files.h"
#include "ui/snapshot_step.h"

namespace {
// Typing in one field, or one drag of the slider, is one step until the focus moves.
bool TypedInto(const QObject* field) {
    return qobject_cast<const QLineEdit*>(field) || qobject_cast<const QPlainTextEdit*>(field) ||
           qobject_cast<const QSlider*>(field);
}

bool SourcesDiffer(const MelodySetup& a, const MelodySetup& b) {
    const VoiceSetup &x = a.Voices.front(), &y = b.Voices.front();
    return x.Notes != y.Notes || x.Tempi != y.Tempi || x.ZeroNatural != y.ZeroNatural ||
           x.TempoSequenceUsed != y.TempoSequenceUsed ||
           x.Dynamics.Sequence != y.Dynamics.Sequence ||
           x.Panorama.Sequence != y.Panorama.Sequence ||
           a.OeisWholeSequences != b.OeisWholeSequences;
}
}  // namespace

void TfrmMain::SetUpUndo(QMenu* menu) {
    undo_ = new QUndoStack(this);
    menu->addSeparator();
    miRueckgaengig = menu->addAction("Rückgängig");
    miRueckgaengig->setShortcut(QKeySequence("Ctrl+Z"));
    miWiederholen = menu->addAction("Wiederholen");
    miWiederholen->setShortcuts({QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")});
    const auto show = [this] {
        const QString undo = undo_->undoText(), redo = undo_->redoText();
        miRueckgaengig->setText(undo.isEmpty() ? "Rückgängig" : "Rückgängig: " + undo);
        miWiederholen->setText(redo.isEmpty() ? "Wiederholen" : "Wiederholen: " + redo);
        miRueckgaengig->setEnabled(undo_->canUndo());
        miWiederholen->setEnabled(undo_->canRedo());
    };
    connect(undo_, &QUndoStack::indexChanged, this, show);
    connect(undo_, &QUndoStack::cleanChanged, this, show);
    show();
    connect(miRueckgaengig, &QAction::triggered, this,
            [this] { Guarded(this, [this] { miRueckgaengigClick(miRueckgaengig); }); });
    connect(miWiederholen, &QAction::triggered, this,
            [this] { Guarded(this, [this] { miWiederholenClick(miWiederholen); }); });
}

void TfrmMain::DocumentEdited(const QString& caption) {
    if (showingStep_) return;
    if (pending_.Edited()) pendingCaption_ = caption;
}

void TfrmMain::TakeStep() {
    // Edits while the window is built are its start, not steps.
    if (!pending_.Take() || !undo_) return;
    const QString caption = std::exchange(pendingCaption_, QString());
    MelodySetup now = CaptureSetup();
    if (now == undoShown_) return;
    MelodySetup before = std::exchange(undoShown_, now);
    undo_->push(new SnapshotStep<MelodySetup>(
        [this](const MelodySetup& shown, const MelodySetup& from) { ShowDocument(shown, from); },
        std::move(before), std::move(now), caption, pending_.Field(), pending_.Epoch(),
        TypedInto(pending_.Field())));
}

void TfrmMain::ForgetSteps() {
    pending_.Take();
    pendingCaption_.clear();
    undo_->clear();
    undoShown_ = CaptureSetup();
}

void TfrmMain::ShowDocument(const MelodySetup& shown, const MelodySetup& from) {
    // What a run locks stays locked: its sources change only after the run.
    if (run_.Active() && SourcesDiffer(shown, from))
        throw EInvalidInput(
            "Dieser Schritt ändert die Folgen; er lässt sich erst nach dem Abspielen "
            "rückgängig machen oder wiederholen");
    showingStep_ = true;
    struct Done {
        bool& showing;
        ~Done() { showing = false; }
    } done{showingStep_};
    ApplyDifferences(shown);
    undoShown_ = CaptureSetup();
}

void TfrmMain::miRueckgaengigClick(QObject*) {
    TakeStep();  // an edit not yet taken is the step to undo
    if (undo_->canUndo()) undo_->undo();
}

void TfrmMain::miWiederholenClick(QObject*) {
    TakeStep();
    if (undo_->canRedo()) undo_->redo();
}
