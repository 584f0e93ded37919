// The voices window's edits: a voice edited in the main window and taken
// back, and "Rückgängig"/"Wiederholen" over the rows. A step holds the rows
// before and after one edit; it is taken once the event that made it is
// handled, so that a file of several voices added is one step.
#include <QApplication>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTableWidget>
#include <QUndoStack>
#include <algorithm>
#include <variant>

#include "common/errors.h"
#include "ui/error_box.h"
#include "ui/snapshot_step.h"
#include "ui/voices_window.h"
#include "ui/window_host.h"

namespace {
// Typing into one cell is one step until the focus moves.
bool TypedInto(const QObject* field) {
    return qobject_cast<const QLineEdit*>(field) || qobject_cast<const QAbstractSpinBox*>(field);
}

QString FieldCaption(const VoiceSetup& before, const VoiceSetup& after) {
    for (const VoiceField& field : kVoiceFields) {
        const bool differs =
            std::visit([&](auto member) { return before.*member != after.*member; }, field.Field);
        if (differs) return QString::fromUtf8(field.Caption);
    }
    if (before.Instrument != after.Instrument) return "Instrument";
    return "Stimme übernehmen";  // its sequences or maps
}

// What a step did, as "Rückgängig: ..." names it.
QString StepCaption(const std::vector<VoiceSetup>& before, const std::vector<VoiceSetup>& after) {
    if (after.size() > before.size()) return "Stimme hinzufügen";
    if (after.size() < before.size()) return "Stimme entfernen";
    if (std::is_permutation(before.begin(), before.end(), after.begin()))
        return "Reihenfolge der Stimmen";
    const auto [b, a] = std::mismatch(before.begin(), before.end(), after.begin());
    const auto row = static_cast<int>(b - before.begin());
    return FieldCaption(*b, *a) + QString(" (Stimme %1)").arg(row + 1);
}
}  // namespace

void VoicesWindow::SetUpEditing() {
    btnBearbeiten->setToolTip("Holt die gewählte Stimme zum Bearbeiten ins Hauptfenster");
    ShowEdited();
    connect(tblStimmen, &QTableWidget::cellDoubleClicked, this,
            [this] { Guarded(this, [this] { BearbeitenClick(); }); });
    connect(tblStimmen->verticalHeader(), &QHeaderView::sectionDoubleClicked, this,
            [this](int row) {
                tblStimmen->selectRow(row);
                Guarded(this, [this] { BearbeitenClick(); });
            });

    undo_ = new QUndoStack(this);
    btnRueckgaengig->setShortcut(QKeySequence("Ctrl+Z"));
    btnWiederholen->setShortcut(QKeySequence("Ctrl+Y"));
    auto* redo = new QShortcut(QKeySequence("Ctrl+Shift+Z"), this);
    connect(redo, &QShortcut::activated, this, [this] {
        if (btnWiederholen->isEnabled()) btnWiederholen->click();
    });
    const auto show = [this] {
        const QString undo = undo_->undoText(), again = undo_->redoText();
        btnRueckgaengig->setToolTip(undo.isEmpty() ? "Rückgängig" : "Rückgängig: " + undo);
        btnWiederholen->setToolTip(again.isEmpty() ? "Wiederholen" : "Wiederholen: " + again);
        for (QPushButton* b : {btnRueckgaengig, btnWiederholen})
            b->setAccessibleDescription(b->toolTip());
        btnRueckgaengig->setEnabled(undo_->canUndo() && editable_);
        btnWiederholen->setEnabled(undo_->canRedo() && editable_);
    };
    connect(undo_, &QUndoStack::indexChanged, this, show);
    showSteps_ = show;
    show();
}

void VoicesWindow::ShowEdited() {
    btnStimmeUebernehmen->setEnabled(edited_.has_value() && editable_);
    btnStimmeUebernehmen->setToolTip(
        edited_ ? QString("Schreibt die Einstellung des Hauptfensters in Stimme %1 zurück")
                      .arg(*edited_ + 1)
                : QString("Erst eine Stimme mit \"Bearbeiten\" ins Hauptfenster holen"));
}

void VoicesWindow::BearbeitenClick() {
    const int row = tblStimmen->currentRow();
    if (row < 0 || row >= VoiceCount())
        throw EInvalidInput("Es ist keine Stimme gewählt: erst eine Zeile der Tabelle wählen");
    // The main window keeps what is not the voice's: its meter and boxes.
    MelodySetup setup = host_.CurrentSetup();
    VoiceSetup voice = RowVoice(row);
    if (voice.Tempo) setup.Tempo = *voice.Tempo;
    static_cast<VoiceMix&>(voice) = VoiceMix{};
    setup.Voices = {voice};
    host_.EditVoice(setup);
    edited_ = row;
    ShowEdited();
}

void VoicesWindow::StimmeUebernehmenClick() {
    if (!edited_ || *edited_ >= VoiceCount())
        throw EInvalidInput(
            "Es wird keine Stimme bearbeitet: erst eine Stimme wählen und \"Bearbeiten\" "
            "drücken");
    const int row = *edited_;
    const MelodySetup current = host_.CurrentSetup();
    VoiceSetup voice = current.Voices.front();
    static_cast<VoiceMix&>(voice) = static_cast<const VoiceMix&>(RowVoice(row));
    voice.Tempo = current.Tempo;
    voices_[static_cast<size_t>(row)] = voice;
    FillRow(row, voice);
    tblStimmen->selectRow(row);
    DocumentChanged();
}

std::vector<VoiceSetup> VoicesWindow::Rows() const {
    std::vector<VoiceSetup> rows;
    rows.reserve(voices_.size());
    for (int row = 0; row < VoiceCount(); ++row) rows.push_back(RowVoice(row));
    return rows;
}

void VoicesWindow::RowsEdited() {
    if (showingStep_ || !undo_) return;
    pending_.Edited();
}

void VoicesWindow::TakeStep() {
    if (!pending_.Take()) return;
    std::vector<VoiceSetup> now = Rows();
    if (now == undoShown_) return;
    std::vector<VoiceSetup> before = std::exchange(undoShown_, now);
    const QString caption = StepCaption(before, now);
    undo_->push(new SnapshotStep<std::vector<VoiceSetup>>(
        [this](const std::vector<VoiceSetup>& shown, const std::vector<VoiceSetup>&) {
            ShowVoices(shown);
        },
        std::move(before), std::move(now), caption, pending_.Field(), pending_.Epoch(),
        TypedInto(pending_.Field())));
}

void VoicesWindow::ForgetSteps() {
    pending_.Take();
    undo_->clear();
    undoShown_ = Rows();
}

void VoicesWindow::ShowVoices(const std::vector<VoiceSetup>& voices) {
    showingStep_ = true;
    struct Done {
        bool& showing;
        ~Done() { showing = false; }
    } done{showingStep_};
    const int current = tblStimmen->currentRow();
    voices_ = voices;
    tblStimmen->setRowCount(0);
    for (int row = 0; row < VoiceCount(); ++row) {
        tblStimmen->insertRow(row);
        FillRow(row, voices_[static_cast<size_t>(row)]);
    }
    if (VoiceCount() > 0) tblStimmen->selectRow(std::clamp(current, 0, VoiceCount() - 1));
    if (edited_ && *edited_ >= VoiceCount()) edited_.reset();
    ShowEdited();
    undoShown_ = voices;
    DocumentChanged();
}

void VoicesWindow::RueckgaengigClick() {
    TakeStep();  // an edit not yet taken is the step to undo
    if (undo_->canUndo()) undo_->undo();
}

void VoicesWindow::WiederholenClick() {
    TakeStep();
    if (undo_->canRedo()) undo_->redo();
}
