#pragma once
// The built-in help viewer: one window showing topics of a compiled help file,
// with links between topics, images, back and forward.
#include <QTextBrowser>
#include <QWidget>
#include <memory>
#include <string>

#include "help/chm_file.h"

class QPushButton;

// Where the help window's frame goes: beside the main window where the screen
// leaves room (right, then left, narrowed to the roomier side down to a
// readable width), else at the screen's right edge; always wholly inside the
// available screen, shrunk to it if need be. An empty main window centres it.
QRect PlaceHelpWindow(const QRect& screen, const QRect& mainWindow, QSize wanted);

// A text browser whose pages and images come out of the help file. Topics are
// addressed as file:///page.htm so that relative links stay inside the file.
class HelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit HelpBrowser(QWidget* parent = nullptr);
    void SetFile(std::shared_ptr<HelpFile> file) { file_ = std::move(file); }
    QVariant loadResource(int type, const QUrl& name) override;

private:
    std::shared_ptr<HelpFile> file_;
};

class HelpViewerWindow : public QWidget {
    Q_OBJECT
public:
    // Opens the file at a context number's topic; nullptr when the file cannot
    // be opened or has no such topic, and fault says which.
    static HelpViewerWindow* ShowContext(const std::string& path, uint32_t context,
                                         HelpFileFault* fault = nullptr);
    // Opens the file at its default topic (the contents page).
    static HelpViewerWindow* ShowContents(const std::string& path);
    // Closes every help window.
    static void CloseAll();
    // The one open window, if any.
    static HelpViewerWindow* Current();

    HelpBrowser* Browser() const { return browser_; }
    // The object path of the topic shown ("/abspielen.htm").
    QString TopicPath() const;

private:
    HelpViewerWindow();
    // Makes the window a child of an open modal dialog, which would otherwise
    // block its input, and frees it again when the dialog closes.
    void AttachTo(QWidget* modal);
    static HelpViewerWindow* ShowTopic(const std::string& path, std::shared_ptr<HelpFile> file,
                                       const std::string& topic);

    HelpBrowser* browser_;
    QPushButton *btnBack_, *btnForward_, *btnContents_;
    std::string filePath_;
    std::shared_ptr<HelpFile> file_;
};
