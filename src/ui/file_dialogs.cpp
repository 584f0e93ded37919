#include "ui/file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>

#include "melodyfile/export_formats.h"
#include "ui/error_box.h"
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

std::function<QString()> ExportDialog(QWidget* parent, const ExportFormat& format,
                                      const QString& baseName) {
    return SaveDialog(parent, format.DialogTitle,
                      baseName + QString::fromUtf8(format.Endings.front()), format.DialogFilter);
}

std::function<QString()> OpenDialog(QWidget* parent, const QString& caption,
                                    const QString& filter) {
    return [=] {
        return QFileDialog::getOpenFileName(parent, caption, SaveDialogStart(QString()), filter);
    };
}

QMessageBox::StandardButton AskSaveChangesBox(QWidget* parent, const QString& fileName) {
    QMessageBox box(QMessageBox::Question, kAppTitle,
                    "Die Änderungen an \"" + fileName + "\" speichern?",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.button(QMessageBox::Yes)->setText("Ja");
    box.button(QMessageBox::No)->setText("Nein");
    box.button(QMessageBox::Cancel)->setText("Abbrechen");
    box.setDefaultButton(QMessageBox::Yes);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}
