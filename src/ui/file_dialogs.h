#pragma once
// The program's file dialogs: where they open, and the folder used last,
// which is remembered between runs.
#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;
struct ExportFormat;

inline const char* const kSetupFileFilter = "Sonavix-Dateien (*.sonavix)";

// The folder of the file opened or saved last, remembered for the next start.
void RememberLastFolder(const QString& filePath);

// Where a save dialog opens for a file called name: in the folder used last,
// else in the home folder (never in the folder the program was started from).
QString SaveDialogStart(const QString& name);

// A window's question for the file to save to: a save dialog with caption and
// filter that opens at SaveDialogStart(name).
std::function<QString()> SaveDialog(QWidget* parent, const QString& caption, const QString& name,
                                    const QString& filter);

// The save dialog of an export format, for a file called baseName with the
// format's first ending.
std::function<QString()> ExportDialog(QWidget* parent, const ExportFormat& format,
                                      const QString& baseName);

// What "Als Audiodatei speichern..." chose: the file (empty: cancelled), its
// format (a row of AudioExports) and the quality of a lossy one.
struct AudioChoice {
    QString Path;
    const ExportFormat* Format = nullptr;
    double Quality = 0;
};

// The save dialog of the audio formats, one filter each; a name without one of
// their endings gets the chosen filter's. A lossy format then asks its quality
// in a small dialog of its choices, the default one chosen.
std::function<AudioChoice()> AudioExportDialog(QWidget* parent, const QString& baseName);

// The same for a file to open.
std::function<QString()> OpenDialog(QWidget* parent, const QString& caption, const QString& filter);

// "Die Änderungen an "name" speichern?" with Ja, Nein and Abbrechen.
QMessageBox::StandardButton AskSaveChangesBox(QWidget* parent, const QString& fileName);
