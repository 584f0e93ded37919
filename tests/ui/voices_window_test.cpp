#include "ui/voices_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUndoStack>
#include <set>

#include "midi/midi_out.h"
#include "support/voice_ends.h"
#include "support/window_fixture.h"
#include "ui/klavier.h"
#include "ui/picture_window.h"
#include "ui/setup_files.h"

namespace {

class VoicesWindowTest : public WindowTest {};

TEST_F(VoicesWindowTest, AFileOfSeveralVoicesOpensThereAndPlaysUntilStopped) {
    window->Files->Open(SONAVIX_EXAMPLE_CANON);
    ASSERT_NE(window->frmStimmen, nullptr);
    VoicesWindow& voices = *window->frmStimmen;
    EXPECT_EQ(voices.VoiceCount(), 3);
    EXPECT_TRUE(window->Files->FilePath().isEmpty());  // the main window kept its own setup

    // At the first look at the window the first voice sounds its first note
    // (MOD(1;12) = 1: key 41), in the main window's red; then Stopp.
    QRgb face = 0;
    bool mainPlayable = true;
    // While they play, mute, solo and velocity mix them; the other cells wait.
    bool mixLive = false, restLocked = false;
    std::vector<std::optional<uint8_t>> mix;
    QTimer::singleShot(0, &voices, [&] {
        face = window->frmKlavier->Key(41)->Face();
        mainPlayable = window->btnPlay->isEnabled();
        QTableWidget* t = voices.tblStimmen;
        mixLive = t->cellWidget(0, VoicesWindow::kMute)->isEnabled() &&
                  t->cellWidget(0, VoicesWindow::kVelocity)->isEnabled();
        restLocked = !t->cellWidget(0, VoicesWindow::kChannel)->isEnabled();
        qobject_cast<QSpinBox*>(t->cellWidget(1, VoicesWindow::kVelocity))->setValue(64);
        qobject_cast<QCheckBox*>(t->cellWidget(0, VoicesWindow::kMute))->setChecked(true);
        qobject_cast<QCheckBox*>(t->cellWidget(1, VoicesWindow::kSolo))->setChecked(true);
        for (int v = 0; v < 3; ++v) mix.push_back(voices.LiveVelocity(v));
        voices.AbspielenClick();
    });
    voices.AbspielenClick();
    EXPECT_EQ(face, kRot);
    EXPECT_TRUE(mixLive);
    EXPECT_TRUE(restLocked);
    EXPECT_EQ(mix, (std::vector<std::optional<uint8_t>>{std::nullopt, 64, std::nullopt}));
    // The main window cannot start a second run meanwhile, and can again after.
    EXPECT_FALSE(mainPlayable);
    EXPECT_TRUE(window->btnPlay->isEnabled());
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(voices.Playing());
    EXPECT_EQ(window->frmKlavier->Key(41)->Face(), window->frmKlavier->Key(41)->Colour());
    for (int channel = 1; channel <= 16; ++channel)
        EXPECT_TRUE(midi.GetMidiOutput(0)->ActiveNotes(channel).none());
    const std::vector<Bytes> sent = Sent();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), (Bytes{0x80, 49, 110}));
}

TEST_F(VoicesWindowTest, TheRowsKeepEveryFieldAtTheEndsOfItsRange) {
    MelodySetup ends;
    ends.Voices = {VoiceAtRangeEnd(false), VoiceAtRangeEnd(true)};
    VoicesWindow voices(*window);
    voices.SetEnsemble(ends);
    EXPECT_EQ(voices.Ensemble().Voices, ends.Voices);
}

TEST_F(VoicesWindowTest, EnterOnACellHandsTheKeysToItsControlAndEscapeTakesThemBack) {
    window->Files->Open(SONAVIX_EXAMPLE_CANON);
    ASSERT_NE(window->frmStimmen, nullptr);
    QTableWidget* table = window->frmStimmen->tblStimmen;
    QWidget* channel = table->cellWidget(1, 2);
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(channel->accessibleName(), "Kanal, Stimme 2");
    table->setFocus();
    table->setCurrentCell(1, 2);
    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_EQ(window->frmStimmen->focusWidget(), channel);
    QTest::keyClick(channel, Qt::Key_Escape);
    EXPECT_EQ(window->frmStimmen->focusWidget(), table);
    // On a cell without a control Enter edits the cell as before.
    table->setCurrentCell(1, 0);
    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_NE(qobject_cast<QLineEdit*>(window->frmStimmen->focusWidget()), nullptr);
}

TEST_F(VoicesWindowTest, ThePictureWindowShowsEveryVoiceWhileAndAfterTheyPlay) {
    window->miAnsicht->trigger();
    window->Files->Open(SONAVIX_EXAMPLE_CANON);
    VoicesWindow& voices = *window->frmStimmen;
    MelodyCanvas& canvas = *window->Picture->canvas;
    std::optional<int64_t> during;
    QTimer::singleShot(0, &voices, [&] {
        during = canvas.PlayTime();
        voices.AbspielenClick();
    });
    voices.AbspielenClick();
    EXPECT_TRUE(errors.empty());
    ASSERT_TRUE(canvas.Ensemble());
    std::set<int> shown;
    for (const RollNote& n : canvas.Ensemble()->Notes) shown.insert(n.Voice);
    EXPECT_EQ(shown, (std::set<int>{0, 1, 2}));
    EXPECT_EQ(canvas.Ensemble()->Notes.front().Key, 41);
    EXPECT_EQ(during, std::optional<int64_t>(0));
    EXPECT_EQ(canvas.PlayTime(), std::nullopt);
    window->Picture->btnReload->click();
    EXPECT_FALSE(canvas.Ensemble());
    EXPECT_FALSE(canvas.Melody().Members.empty());
}

TEST_F(VoicesWindowTest, AnOutputLostWhileTheVoicesPlayIsToldAndLetGo) {
    window->Files->Open(SONAVIX_EXAMPLE_CANON);
    ASSERT_NE(window->frmStimmen, nullptr);
    service->SetErrorText(kMidiErrGeneral, "Die Klangausgabe ist verloren gegangen: Test");
    service->FailShortMsg(kMidiErrGeneral);
    window->frmStimmen->btnAbspielen->click();
    EXPECT_EQ(errors, (std::vector<QString>{"Die Klangausgabe ist verloren gegangen: Test."}));
    EXPECT_FALSE(midi.HasMidiOut());  // released, so a new listing shows what is left
    EXPECT_FALSE(window->frmStimmen->Playing());
    EXPECT_TRUE(window->btnPlay->isEnabled());
}

}  // namespace

TEST_F(VoicesWindowTest, TheVoicesAreADocumentWithTheirFileInTheTitle) {
    window->Files->Open(SONAVIX_EXAMPLE_CANON);
    VoicesWindow& voices = *window->frmStimmen;
    EXPECT_EQ(voices.windowTitle(), "kanon-mod12.sonavix – Stimmen");
    EXPECT_TRUE(window->Files->RecentFiles().front().endsWith("kanon-mod12.sonavix"));
    auto* velocity =
        qobject_cast<QSpinBox*>(voices.tblStimmen->cellWidget(0, VoicesWindow::kVelocity));
    const int before = velocity->value();
    velocity->setValue(before - 1);
    EXPECT_EQ(voices.windowTitle(), "kanon-mod12.sonavix* – Stimmen");
    // Cancel keeps the window and its changes; the main window stays open too.
    std::vector<QString> asked;
    voices.AskSaveChanges = [&](const QString& name) {
        asked.push_back(name);
        return QMessageBox::Cancel;
    };
    voices.show();
    EXPECT_FALSE(voices.close());
    window->show();
    EXPECT_FALSE(window->close());
    EXPECT_EQ(asked, (std::vector<QString>{"kanon-mod12.sonavix", "kanon-mod12.sonavix"}));
    velocity->setValue(before);
    EXPECT_EQ(voices.windowTitle(), "kanon-mod12.sonavix – Stimmen");
    EXPECT_TRUE(voices.close());
}

TEST_F(VoicesWindowTest, AVoiceIsEditedInTheMainWindowAndEveryEditIsOneStep) {
    window->Files->Open(SONAVIX_EXAMPLE_CANON);
    VoicesWindow& voices = *window->frmStimmen;
    const std::vector<VoiceSetup> opened = voices.Ensemble().Voices;
    QTableWidget* t = voices.tblStimmen;
    const auto settle = [] { QCoreApplication::processEvents(); };
    qobject_cast<QSpinBox*>(t->cellWidget(1, VoicesWindow::kChannel))->setValue(5);
    settle();
    EXPECT_EQ(voices.UndoStack()->undoText(), "Kanal (Stimme 2)");

    // The second voice's sequences and maps go into the main window as one step.
    EXPECT_FALSE(voices.btnStimmeUebernehmen->isEnabled());
    t->selectRow(1);
    voices.BearbeitenClick();
    EXPECT_EQ(window->CaptureSetup().Voices.front().Notes, opened[1].Notes);
    window->TakeStep();
    EXPECT_EQ(window->UndoStack()->undoText(), "Stimme bearbeiten");
    window->NoteMap.Assign({"1", "2"});
    // The voice edited follows its row; taken back, it keeps its columns.
    voices.MoveClick(-1);
    settle();
    EXPECT_EQ(voices.EditedRow(), 0);
    ASSERT_TRUE(voices.btnStimmeUebernehmen->isEnabled());
    voices.StimmeUebernehmenClick();
    VoiceSetup taken = voices.Ensemble().Voices[0];
    EXPECT_EQ(taken.NoteMap, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(taken.Channel, 5);
    EXPECT_EQ(taken.Name, opened[1].Name);
    settle();
    EXPECT_EQ(voices.UndoStack()->undoText(), "Stimme übernehmen (Stimme 1)");

    // Back step by step to the file as opened, whose title is clean again, and forth.
    for (const char* caption :
         {"Stimme übernehmen (Stimme 1)", "Reihenfolge der Stimmen", "Kanal (Stimme 2)"}) {
        EXPECT_EQ(voices.UndoStack()->undoText(), caption);
        voices.RueckgaengigClick();
    }
    EXPECT_FALSE(voices.UndoStack()->canUndo());
    EXPECT_EQ(voices.Ensemble().Voices, opened);
    EXPECT_EQ(voices.windowTitle(), "kanon-mod12.sonavix – Stimmen");
    for (int i = 0; i < 3; ++i) voices.WiederholenClick();
    EXPECT_EQ(voices.Ensemble().Voices[0], taken);
    EXPECT_TRUE(errors.empty());
}
