#include "ui/file_dialogs.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <optional>

#include "help/d6onhelpfix.h"
#include "help/help_contexts.h"
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

namespace {

// One of the format's qualities, or nothing when cancelled.
std::optional<double> AskQuality(QWidget* parent, const ExportFormat& format) {
    QDialog dialog(parent);
    dialog.setWindowTitle(format.DialogTitle);
    SetHelpContext(&dialog, IDH_AUDIOFORMATE);
    auto* choices = new QComboBox(&dialog);
    for (const QualityChoice& choice : format.Qualities)
        choices->addItem(QString::fromUtf8(choice.Caption));
    choices->setCurrentIndex(static_cast<int>(format.DefaultQuality));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText("OK");
    buttons->button(QDialogButtonBox::Cancel)->setText("Abbrechen");
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QFormLayout(&dialog);
    layout->addRow(new QLabel(QString::fromUtf8(format.DialogFilter), &dialog));
    layout->addRow("&Qualität:", choices);
    layout->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return format.Qualities[static_cast<size_t>(choices->currentIndex())].Quality;
}

}  // namespace

std::function<AudioChoice()> AudioExportDialog(QWidget* parent, const QString& baseName) {
    return [=]() -> AudioChoice {
        const std::span<const ExportFormat> formats = AudioExports();
        QStringList filters;
        for (const ExportFormat& format : formats)
            filters << QString::fromUtf8(format.DialogFilter);
        QString filter = filters.front();
        AudioChoice choice;
        choice.Path = QFileDialog::getSaveFileName(
            parent, formats.front().DialogTitle,
            SaveDialogStart(baseName + QString::fromUtf8(formats.front().Endings.front())),
            filters.join(";;"), &filter);
        if (choice.Path.isEmpty()) return {};
        for (const ExportFormat& format : formats)
            if (ExportFormatOf(choice.Path.toStdString()) == &format) choice.Format = &format;
        if (!choice.Format) {
            const auto chosen =
                static_cast<size_t>(std::max<qsizetype>(0, filters.indexOf(filter)));
            choice.Format = &formats[chosen];
            choice.Path += QString::fromUtf8(choice.Format->Endings.front());
        }
        choice.Quality = kDefaultAudioQuality;
        if (choice.Format->Qualities.empty()) return choice;
        const std::optional<double> quality = AskQuality(parent, *choice.Format);
        if (!quality) return {};
        choice.Quality = *quality;
        return choice;
    };
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
