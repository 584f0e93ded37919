// F1, the help menu and the hook, through the window and the shipped help file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "help/d6onhelpfix.h"
#include "help/help_viewer.h"
#include "help/hh.h"
#include "help/hh_funcs.h"
#include "support/window_fixture.h"

namespace {

class HelpTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        SetHelpMessageSink([this](const QString& text) { messages.push_back(text); });
        window->show();
        QApplication::setActiveWindow(window.get());
    }
    void TearDown() override {
        HelpViewerWindow::CloseAll();
        SetHelpMessageSink(nullptr);
        WindowTest::TearDown();
    }
    // The topic the help window shows after F1 on a control.
    QString TopicAfterF1(QWidget* control) {
        HelpViewerWindow::CloseAll();
        control->setFocus();
        QTest::keyClick(control, Qt::Key_F1);
        HelpViewerWindow* viewer = HelpViewerWindow::Current();
        return viewer ? viewer->TopicPath() : QString("(kein Hilfefenster)");
    }
    // What the hook shows for a command.
    QString TopicAfterCommand(uint16_t command, int32_t data) {
        HelpViewerWindow::CloseAll();
        bool callHelp = true;
        EXPECT_TRUE(window->mHHelp->HelpHook(command, data, callHelp));
        EXPECT_FALSE(callHelp);
        HelpViewerWindow* viewer = HelpViewerWindow::Current();
        return viewer ? viewer->TopicPath() : QString();
    }
    std::vector<QString> messages;
};

TEST_F(HelpTest, F1OpensTheTopicOfTheNearestControlWithHelp) {
    const struct {
        QWidget* control;
        const char* topic;
    } cases[] = {
        {window->tbTempo, "/abspielen.htm"},
        {window->frmFolgenNoten->rbtExplizit, "/folgen.htm"},
        {window->btnPlay, "/hauptfenster.htm"},
        {window->cbxGrundton, "/karten.htm"},
        {window->frmFolgenNoten->frmFormel1->edtFormel, "/formel.htm"},
    };
    for (const auto& c : cases) EXPECT_EQ(TopicAfterF1(c.control), c.topic) << c.topic;
    // The popup position came first: the slider's top-left corner on the screen.
    TopicAfterF1(window->tbTempo);
    const QPoint corner = window->tbTempo->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(QPoint(window->mHHelp->PopupX, window->mHHelp->PopupY), corner);
    EXPECT_TRUE(messages.empty());
}

TEST_F(HelpTest, HelpMenuAsksForTheMainTopicWhateverHasTheFocus) {
    window->tbTempo->setFocus();
    ASSERT_TRUE(window->miHilfe->isEnabled());
    window->miHilfe->trigger();
    ASSERT_TRUE(HelpViewerWindow::Current());
    EXPECT_EQ(HelpViewerWindow::Current()->TopicPath(), "/hauptfenster.htm");
}

TEST_F(HelpTest, HookCommands) {
    EXPECT_EQ(TopicAfterCommand(HELP_CONTEXT, 2100), "/formel.htm");
    EXPECT_EQ(TopicAfterCommand(HELP_CONTEXTPOPUP, 2100), "/formel.htm");
    // 13 stores the position (signed 16-bit halves) and shows nothing.
    EXPECT_EQ(TopicAfterCommand(HELP_SETPOPUP_POS, PackPopupPosition(QPoint(-5, 300))), "");
    EXPECT_EQ(window->mHHelp->PopupX, -5);
    EXPECT_EQ(window->mHHelp->PopupY, 300);
    // Others are passed on.
    bool callHelp = false;
    window->mHHelp->HelpHook(HELP_CONTENTS, 0, callHelp);
    EXPECT_TRUE(callHelp);
    // A context the file does not map opens nothing, without a message.
    EXPECT_EQ(TopicAfterCommand(HELP_CONTEXT, 4711), "");
    EXPECT_TRUE(messages.empty());
}

TEST_F(HelpTest, WithoutTheViewerHelpRequestsSayItIsNotInstalled) {
    const HHDetection saved = HHState();
    HHState().hhInstalled = false;
    window->miHilfe->trigger();
    HHState() = saved;
    EXPECT_EQ(HelpViewerWindow::Current(), nullptr);
    EXPECT_EQ(messages, std::vector<QString>{"MS Html Help is not installed on this PC."});
}

TEST_F(HelpTest, StartUpCheckMessageAndClosingTheWindowClosesHelp) {
    window->miHilfe->trigger();
    ASSERT_TRUE(HelpViewerWindow::Current());
    window.reset();
    EXPECT_EQ(HelpViewerWindow::Current(), nullptr);
    EXPECT_FALSE(ApplicationOnHelp());  // the hook put the previous handler back
    EXPECT_TRUE(messages.empty());

    const HHDetection saved = HHState();
    HHState().hhVersion = {4, 72, 9999, 0, true};
    window = std::make_unique<TfrmMain>();
    HHState() = saved;
    EXPECT_EQ(messages,
              std::vector<QString>{
                  "Diese Anwendung erfordert die Installation der MS HTML Help 1.2 oder höher"});
}

}  // namespace
