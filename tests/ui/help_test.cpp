// F1, the help menu and the hook, through the window and the shipped help file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "help/d6onhelpfix.h"
#include "help/help_viewer.h"
#include "help/hh.h"
#include "help/hh_funcs.h"
#include "support/window_fixture.h"
#include "ui/fill_dialog.h"
#include "ui/picture_window.h"
#include "ui/setup_files.h"

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

TEST_F(HelpTest, F1InThePictureWindowOpensItsTopic) {
    window->miAnsicht->trigger();
    QApplication::setActiveWindow(window->Picture.get());
    EXPECT_EQ(TopicAfterF1(window->Picture->btnReload), "/ansicht.htm");
}

// An open menu leaves the focus where it was: its highlighted item's page
// comes first, and an item without one falls back to the focused control's.
TEST_F(HelpTest, F1OnAHighlightedMenuItemOpensItsTopic) {
    const struct {
        QAction* item;
        const char* topic;
    } cases[] = {
        {window->miWavDatei, "/audioexport.htm"},
        {window->miLilyPondDatei, "/partitur.htm"},
        {window->Files->miSpeichernUnter, "/setupdateien.htm"},
        {window->miBeenden, "/abspielen.htm"},  // none of its own: the slider has the focus
    };
    for (const auto& c : cases) {
        HelpViewerWindow::CloseAll();
        window->tbTempo->setFocus();
        window->mnuDatei->popup(window->mapToGlobal(QPoint(0, 0)));
        window->mnuDatei->setActiveAction(c.item);
        QTest::keyClick(window->mnuDatei, Qt::Key_F1);
        window->mnuDatei->hide();
        HelpViewerWindow* viewer = HelpViewerWindow::Current();
        EXPECT_EQ(viewer ? viewer->TopicPath() : QString(), c.topic) << c.topic;
    }
}

TEST_F(HelpTest, F1InTheFillDialogOpensItsTopic) {
    FillDialog dialog(FillDialog::Map::Notes, 12, {}, window.get());
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    EXPECT_EQ(TopicAfterF1(dialog.spnRows), "/fuellen.htm");
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
    EXPECT_TRUE(messages.empty());
    // A context the file does not map opens nothing and says so.
    EXPECT_EQ(TopicAfterCommand(HELP_CONTEXT, 4711), "");
    EXPECT_EQ(messages, std::vector<QString>{"Die Hilfedatei \"" +
                                             QString::fromStdString(window->mHHelp->HelpFile) +
                                             "\" enthält kein Thema zur Hilfenummer 4711."});
}

// F1 on a help file that cannot serve: one warning that names it, and the
// window stays usable (a pipe or a device is not waited on).
TEST_F(HelpTest, F1WithAMissingOrDamagedHelpFileWarnsOnce) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("sonavix-helpfile-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ifstream in(window->mHHelp->HelpFile, std::ios::binary);
    const std::string good{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GT(good.size(), 4096u);
    std::string flipped = good;
    for (size_t i = 0x58; i < 0x200; ++i) flipped[i] = static_cast<char>(~flipped[i]);
    const auto write = [](const std::string& bytes) {
        return [bytes](const fs::path& p) { std::ofstream(p, std::ios::binary) << bytes; };
    };
    const struct {
        const char* name;
        std::function<void(const fs::path&)> make;
        const char* cause;
    } cases[] = {
        {"missing", [](const fs::path&) {}, "fehlt."},
        {"empty", write(""), "ist beschädigt."},
        {"truncated", write(good.substr(0, good.size() / 2)), "ist beschädigt."},
        {"damaged", write(flipped), "ist beschädigt."},
        {"pipe", [](const fs::path& p) { mkfifo(p.c_str(), 0644); },
         "lässt sich nicht lesen (keine gewöhnliche Datei oder kein Zugriff)."},
        {"folder", [](const fs::path& p) { fs::create_directory(p); },
         "lässt sich nicht lesen (keine gewöhnliche Datei oder kein Zugriff)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir / (std::string(c.name) + ".chm");
        c.make(file);
        window->mHHelp->HelpFile = file.string();
        messages.clear();
        alarm(10);  // a blocking open ends the test instead of hanging it
        EXPECT_EQ(TopicAfterF1(window->tbTempo), "(kein Hilfefenster)");
        alarm(0);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].toStdString(), "Die Hilfedatei \"" + file.string() + "\" " + c.cause);
    }
    fs::remove_all(dir);
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
    window = std::make_unique<TfrmMain>(midi);
    HHState() = saved;
    EXPECT_EQ(messages,
              std::vector<QString>{
                  "Diese Anwendung erfordert die Installation der MS HTML Help 1.2 oder höher"});
}

TEST(HelpPlacement, BesideTheMainWindowAndWhollyOnTheScreen) {
    const QSize wanted(650, 600);
    const struct {
        const char* name;
        QRect screen, main, placed;
    } cases[] = {
        {"room on the right", {0, 0, 1920, 1080}, {100, 100, 700, 600}, {808, 100, 650, 600}},
        {"room on the left only", {0, 0, 1920, 1080}, {1200, 100, 700, 600}, {542, 100, 650, 600}},
        // The main window low on the screen: lifted so that the bottom edge stays on it.
        {"bottom edge kept", {0, 0, 1280, 1024}, {0, 479, 600, 545}, {608, 424, 650, 600}},
        {"narrowed to the side", {0, 0, 1024, 768}, {0, 0, 560, 700}, {568, 0, 456, 600}},
        {"no room: over it", {0, 0, 800, 600}, {0, 0, 800, 600}, {150, 0, 650, 600}},
        {"second screen below a panel",
         {1920, 30, 1920, 1050},
         {2000, 10, 700, 600},
         {2708, 30, 650, 600}},
        {"no main window, small screen", {0, 0, 640, 480}, {}, {0, 0, 640, 480}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlaceHelpWindow(c.screen, c.main, wanted), c.placed) << c.name;
}

// A modal dialog blocks every window outside it: help asked for from there
// must still take clicks (sent as the window system sends them, which is where
// blocking happens) and stay open when the dialog closes.
TEST_F(HelpTest, HelpFromAModalDialogTakesClicksAndOutlivesIt) {
    QDialog dialog(window.get());
    auto* edit = new QLineEdit(&dialog);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_F1);
    HelpViewerWindow* help = HelpViewerWindow::Current();
    ASSERT_TRUE(help);
    ASSERT_EQ(help->TopicPath(), "/hauptfenster.htm");
    QPushButton* contents = nullptr;
    for (QPushButton* b : help->findChildren<QPushButton*>())
        if (b->text() == "Inhalt") contents = b;
    ASSERT_TRUE(contents && help->windowHandle());
    QTest::mouseClick(help->windowHandle(), Qt::LeftButton, {},
                      contents->mapTo(help, contents->rect().center()));
    EXPECT_EQ(help->TopicPath(), "/inhalt.htm");
    dialog.hide();
    ASSERT_EQ(HelpViewerWindow::Current(), help);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->parentWidget(), nullptr);
}

}  // namespace
