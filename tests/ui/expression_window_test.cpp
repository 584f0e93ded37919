#include "ui/expression_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QUndoStack>

#include "support/window_fixture.h"
#include "ui/folgen.h"
#include "ui/main_window.h"

namespace {
class ExpressionInWindow : public WindowTest {};

// What a run sent besides the notes' keys: Note On velocities and controller 10 values.
std::vector<std::vector<uint8_t>> Expressive(const std::vector<RecordedMidiMessage>& messages) {
    std::vector<std::vector<uint8_t>> sent;
    for (const auto& m : messages)
        if (m.bytes.size() == 3 && (m.bytes[0] == 0x90 || m.bytes[0] == 0xB0))
            sent.push_back({m.bytes[0], m.bytes[2]});
    return sent;
}

TEST_F(ExpressionInWindow, PresetsAndAnOwnSequenceSoundInTheRunAndAreOneStepEach) {
    window->miAusdruck->trigger();
    ExpressionWindow& w = *window->frmAusdruck;
    EXPECT_TRUE(w.isVisible());
    ExpressionPanel& pan = w.Of(Expression::Panorama);
    ExpressionPanel& dyn = w.Of(Expression::Dynamics);
    // Off by default: nothing but the notes, at the voice's velocity.
    EXPECT_FALSE(pan.cbxVerwenden->isChecked());
    EXPECT_FALSE(dyn.frmFolgen->isEnabled());

    pan.cbxVorgabe->setCurrentText("wechselnd");
    emit pan.cbxVorgabe->activated(pan.cbxVorgabe->currentIndex());
    EXPECT_TRUE(pan.cbxVerwenden->isChecked());
    window->TakeStep();
    EXPECT_EQ(window->UndoStack()->undoText(), "Ausdruck");
    // The pans follow the notes 1, 2, 3 (right, left, right); the dynamics a
    // list of its own: members 0 and 7 of eight rising rows.
    dyn.cbxVorgabe->setCurrentText("ansteigend");
    emit dyn.cbxVorgabe->activated(dyn.cbxVorgabe->currentIndex());
    dyn.cbxEigeneFolge->setChecked(true);
    dyn.frmFolgen->rbtExplizit->click();
    dyn.frmFolgen->frmExplizit1->mmoExplizit->setPlainText("0, 7");
    window->frmFolgenNoten->rbtExplizit->click();
    window->frmFolgenNoten->frmExplizit1->mmoExplizit->setPlainText("1, 2, 3");
    window->btnPlay->click();
    EXPECT_EQ(Expressive(service->Messages()),
              (std::vector<std::vector<uint8_t>>{
                  {0xB0, 127}, {0x90, 32}, {0xB0, 0}, {0x90, 127}, {0xB0, 127}, {0x90, 32}}));
    const VoiceSetup saved = window->CaptureSetup().Voices.front();
    EXPECT_TRUE(saved.Dynamics.OwnSequence);
    EXPECT_EQ(saved.Panorama.Map, (std::vector<std::string>{"-64", "63"}));

    // Undone step by step, the window holds no expression again.
    while (window->UndoStack()->canUndo()) window->miRueckgaengigClick(nullptr);
    EXPECT_FALSE(pan.cbxVerwenden->isChecked());
    EXPECT_EQ(window->CaptureSetup().Voices.front().Dynamics, VoiceSetup{}.Dynamics);
    EXPECT_TRUE(errors.empty());
}
}  // namespace
