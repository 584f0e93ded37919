#include "help/help_viewer.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {
QPointer<HelpViewerWindow>& Window() {
    static QPointer<HelpViewerWindow> window;
    return window;
}

QUrl TopicUrl(const std::string& objectPath) {
    return QUrl(QStringLiteral("file://") + QString::fromStdString(objectPath));
}
}  // namespace

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
    resize(640, 560);
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
        // Beside the window that asked, where the screen leaves room, so that both stay readable.
        if (const QWidget* owner = QApplication::activeWindow()) {
            const QRect screen = owner->screen()->availableGeometry();
            const QRect frame = owner->frameGeometry();
            if (frame.right() + 8 + w->width() <= screen.right())
                w->move(frame.right() + 8, frame.top());
        }
    }
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
