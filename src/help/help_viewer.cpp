#include "help/help_viewer.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace {
QPointer<HelpViewerWindow>& Window() {
    static QPointer<HelpViewerWindow> window;
    return window;
}

QUrl TopicUrl(const std::string& objectPath) {
    return QUrl(QStringLiteral("file://") + QString::fromStdString(objectPath));
}

constexpr QSize kHelpSize(640, 560);

// The outermost window above the one that asked: the main window behind a dialog.
QWidget* MainWindowOf(QWidget* w) {
    while (w && w->parentWidget()) w = w->parentWidget()->window();
    return w;
}

// Gives the help window back its own top level when the modal dialog it was lent to hides.
class ModalRelease : public QObject {
public:
    ModalRelease(QWidget* help, QWidget* modal) : QObject(help), help_(help), modal_(modal) {
        modal->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == modal_ && event->type() == QEvent::Hide && help_->parentWidget() == modal_) {
            modal_->removeEventFilter(this);
            const QRect where = help_->geometry();
            const bool shown = help_->isVisible();
            help_->setParent(nullptr, Qt::Window);
            help_->setGeometry(where);
            if (shown) help_->show();
            deleteLater();
        }
        return false;
    }

private:
    QWidget* help_;
    QPointer<QWidget> modal_;
};
}  // namespace

QRect PlaceHelpWindow(const QRect& screen, const QRect& mainWindow, QSize wanted) {
    constexpr int kGap = 8;
    constexpr int kReadableWidth = 400;
    const QSize size = wanted.boundedTo(screen.size());
    const auto fit = [&](int x, int y, int width) {
        return QRect(std::clamp(x, screen.left(), screen.right() + 1 - width),
                     std::clamp(y, screen.top(), screen.bottom() + 1 - size.height()), width,
                     size.height());
    };
    if (mainWindow.isEmpty()) {
        const QPoint c = screen.center();
        return fit(c.x() - size.width() / 2, c.y() - size.height() / 2, size.width());
    }
    const int roomRight = screen.right() - mainWindow.right() - kGap;
    const int roomLeft = mainWindow.left() - kGap - screen.left();
    const int top = mainWindow.top();
    if (roomRight >= size.width()) return fit(mainWindow.right() + 1 + kGap, top, size.width());
    if (roomLeft >= size.width())
        return fit(mainWindow.left() - kGap - size.width(), top, size.width());
    if (std::max(roomRight, roomLeft) >= kReadableWidth) {
        if (roomRight >= roomLeft) return fit(mainWindow.right() + 1 + kGap, top, roomRight);
        return fit(screen.left(), top, roomLeft);
    }
    return fit(screen.right() + 1 - size.width(), top, size.width());
}

HelpBrowser::HelpBrowser(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(true);
    setOpenExternalLinks(true);
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    if (!file_ || name.scheme() != QLatin1String("file"))
        return QTextBrowser::loadResource(type, name);
    const auto data = file_->Read(name.path().toStdString());
    if (!data) return {};
    const QByteArray bytes(data->data(), static_cast<qsizetype>(data->size()));
    if (type == QTextDocument::ImageResource) return QImage::fromData(bytes);
    return QString::fromUtf8(bytes);
}

HelpViewerWindow::HelpViewerWindow() {
    setAttribute(Qt::WA_DeleteOnClose);
    // Closing the main window ends the program even while help is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle("Sonavix Hilfe");
    resize(kHelpSize);
    btnBack_ = new QPushButton("Zurück", this);
    btnForward_ = new QPushButton("Vorwärts", this);
    btnContents_ = new QPushButton("Inhalt", this);
    browser_ = new HelpBrowser(this);
    auto* bar = new QHBoxLayout;
    bar->addWidget(btnContents_);
    bar->addWidget(btnBack_);
    bar->addWidget(btnForward_);
    bar->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(browser_);
    btnBack_->setEnabled(false);
    btnForward_->setEnabled(false);
    connect(btnBack_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(btnForward_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, btnBack_, &QWidget::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, btnForward_, &QWidget::setEnabled);
    connect(btnContents_, &QPushButton::clicked, this, [this] {
        if (const auto topic = file_ ? file_->DefaultTopic() : std::nullopt)
            browser_->setSource(TopicUrl(*topic));
    });
}

void HelpViewerWindow::AttachTo(QWidget* modal) {
    const QRect where = geometry();
    setParent(modal, Qt::Window);
    setGeometry(where);
    new ModalRelease(this, modal);
}

QString HelpViewerWindow::TopicPath() const { return browser_->source().path(); }

HelpViewerWindow* HelpViewerWindow::Current() { return Window(); }

HelpViewerWindow* HelpViewerWindow::ShowTopic(const std::string& path,
                                              std::shared_ptr<HelpFile> file,
                                              const std::string& topic) {
    HelpViewerWindow* w = Window();
    if (!w || w->filePath_ != path) {
        CloseAll();
        w = new HelpViewerWindow;
        Window() = w;
        // Beside the main window, so that both stay readable, and on its screen.
        if (const QWidget* owner = MainWindowOf(QApplication::activeWindow())) {
            // The window manager's frame is not known before the window shows:
            // the main window's own stands in for it.
            const QMargins frame(owner->geometry().left() - owner->frameGeometry().left(),
                                 owner->geometry().top() - owner->frameGeometry().top(),
                                 owner->frameGeometry().right() - owner->geometry().right(),
                                 owner->frameGeometry().bottom() - owner->geometry().bottom());
            const QRect place = PlaceHelpWindow(owner->screen()->availableGeometry(),
                                                owner->frameGeometry(), kHelpSize.grownBy(frame));
            w->resize(place.size().shrunkBy(frame));
            w->move(place.topLeft());
        }
    }
    if (QWidget* modal = QApplication::activeModalWidget(); modal && w->parentWidget() != modal)
        w->AttachTo(modal);
    w->filePath_ = path;
    w->file_ = file;
    w->browser_->SetFile(std::move(file));
    w->browser_->setSource(TopicUrl(topic));
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

HelpViewerWindow* HelpViewerWindow::ShowContext(const std::string& path, uint32_t context,
                                                HelpFileFault* fault) {
    std::shared_ptr<HelpFile> file = HelpFile::Open(path, fault);
    if (!file) return nullptr;
    const auto topic = file->TopicOfContext(context);
    // A file without a readable map or topic page is damaged (cut short, say);
    // one whose map lacks the number just has no such topic.
    if (!topic || !file->Read(*topic)) {
        if (fault)
            *fault = topic || file->ContextMap().empty() ? HelpFileFault::kDamaged
                                                         : HelpFileFault::kNoTopic;
        return nullptr;
    }
    return ShowTopic(path, std::move(file), *topic);
}

HelpViewerWindow* HelpViewerWindow::ShowContents(const std::string& path) {
    std::shared_ptr<HelpFile> file = HelpFile::Open(path);
    if (!file) return nullptr;
    const auto topic = file->DefaultTopic();
    if (!topic) return nullptr;
    return ShowTopic(path, std::move(file), *topic);
}

void HelpViewerWindow::CloseAll() {
    if (HelpViewerWindow* w = Window()) {
        Window() = nullptr;
        // At once: the program's end runs no event loop that would delete it later.
        delete w;
    }
}
