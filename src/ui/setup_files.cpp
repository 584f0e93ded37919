#include "ui/setup_files.h"

#include <QAction>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QWidget>

#include "help/d6onhelpfix.h"
#include "help/help_contexts.h"
#include "setup/setup_file.h"
#include "ui/error_box.h"
#include "ui/file_dialogs.h"
#include "ui/settings.h"

namespace {
constexpr int kRecentMax = 6;

std::string Text(const QString& text) { return text.toStdString(); }

bool HasFiles(const QMimeData* data) {
    if (!data || !data->hasUrls()) return false;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return true;
    return false;
}
}  // namespace

SetupFiles::SetupFiles(QWidget& window, ISetupDocument& document, QMenu* menu, QAction* before)
    : QObject(&window), w_(window), document_(document) {
    miOeffnen = new QAction("Öffnen...", menu);
    miOeffnen->setShortcut(QKeySequence("Ctrl+O"));
    miSpeichern = new QAction("Speichern", menu);
    miSpeichern->setShortcut(QKeySequence("Ctrl+S"));
    miSpeichernUnter = new QAction("Speichern unter...", menu);
    miSpeichernUnter->setShortcut(QKeySequence("Ctrl+Shift+S"));
    mnuZuletzt = new QMenu("Zuletzt geöffnet", menu);
    menu->insertActions(before, {miOeffnen, miSpeichern, miSpeichernUnter});
    menu->insertMenu(before, mnuZuletzt);
    menu->insertSeparator(before);
    for (QAction* item : {miOeffnen, miSpeichern, miSpeichernUnter, mnuZuletzt->menuAction()})
        SetHelpContext(item, IDH_SETUPDATEIEN);
    FillRecentMenu();

    ChooseOpenPath = OpenDialog(&w_, "Öffnen", kSetupFileFilter);
    ChooseSavePath = [this] {
        const QString name = path_.isEmpty() ? "melodie.sonavix" : QFileInfo(path_).fileName();
        return QFileDialog::getSaveFileName(&w_, "Speichern unter", SaveDialogStart(name),
                                            kSetupFileFilter);
    };
    AskSaveChanges = [this](const QString& fileName) { return AskSaveChangesBox(&w_, fileName); };

    const auto guarded = [this](void (SetupFiles::*handler)()) {
        return [this, handler] { Guarded(&w_, [&] { (this->*handler)(); }); };
    };
    connect(miOeffnen, &QAction::triggered, this, guarded(&SetupFiles::OpenClick));
    connect(miSpeichern, &QAction::triggered, this, guarded(&SetupFiles::SaveClick));
    connect(miSpeichernUnter, &QAction::triggered, this, guarded(&SetupFiles::SaveAsClick));
    connect(mnuZuletzt, &QMenu::aboutToShow, this, &SetupFiles::FillRecentMenu);
    w_.setAcceptDrops(true);
    // Drops reach the field under the pointer before the window.
    QCoreApplication::instance()->installEventFilter(this);
}

MelodySetup SetupFiles::Capture() const { return document_.CaptureSetup(); }

void SetupFiles::Apply(const MelodySetup& setup) {
    if (setup.Voices.size() != 1)
        throw ESetupError("Die Datei enthält " + std::to_string(setup.Voices.size()) +
                          " Stimmen; dieses Fenster spielt genau eine");
    applying_ = true;
    struct Done {
        bool& applying;
        ~Done() { applying = false; }
    } done{applying_};
    document_.ApplySetup(setup);
}

void SetupFiles::Open(const QString& path) {
    const MelodySetup setup = ReadSetupFile(Text(path));
    // Several voices are the voices window's; the main window stays as it is.
    if (setup.Voices.size() > 1) return document_.OpenEnsemble(setup, path);
    Apply(setup);
    Saved(path);
}

void SetupFiles::OpenClick() {
    if (!MayDropChanges()) return;
    const QString path = ChooseOpenPath();
    if (!path.isEmpty()) Open(path);
}

void SetupFiles::Save(const QString& path) {
    SaveSetupFile(Text(path), Capture());
    Saved(path);
}

void SetupFiles::SaveClick() {
    if (path_.isEmpty()) return SaveAsClick();
    Save(path_);
}

void SetupFiles::SaveAsClick() {
    QString path = ChooseSavePath();
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += kSetupFileExtension;
    Save(path);
}

bool SetupFiles::MayDropChanges() {
    if (!modified_ || path_.isEmpty()) return true;
    switch (AskSaveChanges(QFileInfo(path_).fileName())) {
        case QMessageBox::Yes:
            return Guarded(&w_, [this] { SaveClick(); }) && !modified_;
        case QMessageBox::No:
            return true;
        default:
            return false;
    }
}

void SetupFiles::SetEnabled(bool enabled) {
    enabled_ = enabled;
    for (QAction* item : {miOeffnen, miSpeichern, miSpeichernUnter}) item->setEnabled(enabled);
    mnuZuletzt->setEnabled(enabled);
}

QStringList SetupFiles::RecentFiles() const {
    return SonavixSettings().value(kRecentSetting).toStringList();
}

bool SetupFiles::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QObject::eventFilter(watched, event);
    // A file dropped onto a text field opens too, instead of landing there as
    // its address; text dropped there is still the field's.
    const auto* widget = qobject_cast<const QWidget*>(watched);
    if (!widget || widget->window() != &w_) return QObject::eventFilter(watched, event);
    if (widget != &w_ && !HasFiles(static_cast<QDropEvent*>(event)->mimeData()))
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
        auto* drag = static_cast<QDropEvent*>(event);
        if (enabled_ && HasFiles(drag->mimeData())) drag->acceptProposedAction();
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!enabled_ || !HasFiles(drop->mimeData())) return true;
        drop->acceptProposedAction();
        for (const QUrl& url : drop->mimeData()->urls()) {
            if (!url.isLocalFile()) continue;
            const QString path = url.toLocalFile();
            // The drop ends before the question or an error box appears.
            QMetaObject::invokeMethod(
                this,
                [this, path] {
                    Guarded(&w_, [&] {
                        if (MayDropChanges()) Open(path);
                    });
                },
                Qt::QueuedConnection);
            break;
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void SetupFiles::Changed() {
    if (applying_) return;
    // "*" only while the window holds something else than the file: a value
    // set back, or written again unchanged (a cell editor committing on the
    // next focus change), leaves it clean.
    const bool modified = path_.isEmpty() || !(document_.CaptureSetup() == saved_);
    if (modified == modified_) return;
    modified_ = modified;
    ShowTitle();
}

void SetupFiles::Saved(const QString& path) {
    path_ = QFileInfo(path).absoluteFilePath();
    saved_ = document_.CaptureSetup();
    modified_ = false;
    Remember(path_);
    ShowTitle();
}

void SetupFiles::ShowTitle() {
    // Without a file the window keeps its plain title and closes without asking.
    if (path_.isEmpty()) return w_.setWindowTitle(kAppTitle);
    w_.setWindowTitle(QFileInfo(path_).fileName() + (modified_ ? "*" : "") + " – " + kAppTitle);
}

void SetupFiles::Remember(const QString& path) {
    QSettings settings = SonavixSettings();
    QStringList recent = settings.value(kRecentSetting).toStringList();
    recent.removeAll(path);
    recent.prepend(path);
    while (recent.size() > kRecentMax) recent.removeLast();
    settings.setValue(kRecentSetting, recent);
    RememberLastFolder(path);
    FillRecentMenu();
}

void SetupFiles::FillRecentMenu() {
    mnuZuletzt->clear();
    const QStringList recent = RecentFiles();
    if (recent.isEmpty()) mnuZuletzt->addAction("(keine)")->setEnabled(false);
    for (int i = 0; i < recent.size(); ++i) {
        const QString& path = recent[i];
        QAction* item = mnuZuletzt->addAction(
            QString("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName().replace("&", "&&")));
        item->setToolTip(path);
        item->setStatusTip(path);
        connect(item, &QAction::triggered, this, [this, path] {
            Guarded(&w_, [&] {
                if (MayDropChanges()) Open(path);
            });
        });
    }
}
