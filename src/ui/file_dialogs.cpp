#include "ui/file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

#include "ui/settings.h"

void RememberLastFolder(const QString& filePath) {
    SonavixSettings().setValue(kFolderSetting, QFileInfo(filePath).absolutePath());
}

QString SaveDialogStart(const QString& name) {
    QString folder = SonavixSettings().value(kFolderSetting).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
    return folder + "/" + name;
}

std::function<QString()> SaveDialog(QWidget* parent, const QString& caption, const QString& name,
                                    const QString& filter) {
    return [=] {
        return QFileDialog::getSaveFileName(parent, caption, SaveDialogStart(name), filter);
    };
}

std::function<QString()> OpenDialog(QWidget* parent, const QString& caption,
                                    const QString& filter) {
    return [=] {
        return QFileDialog::getOpenFileName(parent, caption, SaveDialogStart(QString()), filter);
    };
}
