#pragma once
// The window's setup files: the file items of the "Datei" menu, the recently
// opened files, the file name and "*" in the title, the question before
// unsaved changes are dropped, and files dropped onto the window.
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "setup/setup.h"

// Where a save dialog opens for a file called name: in the folder used last,
// else in the home folder (never in the folder the program was started from).
QString SaveDialogStart(const QString& name);

class QWidget;
// A window's question for the file to save to: a save dialog with caption and
// filter that opens at SaveDialogStart(name).
std::function<QString()> SaveDialog(QWidget* parent, const QString& caption, const QString& name,
                                    const QString& filter);

class QAction;
class QMenu;
class TfrmMain;

class SetupFiles : public QObject {
    Q_OBJECT
public:
    // Puts the file items into menu, before the item before.
    SetupFiles(TfrmMain& window, QMenu* menu, QAction* before);

    QAction* miOeffnen;
    QAction* miSpeichern;
    QAction* miSpeichernUnter;
    QMenu* mnuZuletzt;

    // Dialogs, replaced by tests: an empty path cancels.
    std::function<QString()> ChooseOpenPath;
    std::function<QString()> ChooseSavePath;
    // Yes saves, No drops the changes, Cancel keeps the window as it is.
    std::function<QMessageBox::StandardButton(const QString& fileName)> AskSaveChanges;

    // What the window holds, and the window set to a setup.
    MelodySetup Capture() const;
    void Apply(const MelodySetup& setup);

    // Reads the whole file first; a bad file throws and leaves the window as it was.
    void Open(const QString& path);
    void OpenClick();
    void SaveClick();
    void SaveAsClick();
    // Asks about unsaved changes; false when the user keeps them (Cancel, or a failed save).
    bool MayDropChanges();
    // Off during a run, like the other source controls.
    void SetEnabled(bool enabled);

    const QString& FilePath() const { return path_; }
    bool Modified() const { return modified_; }
    QStringList RecentFiles() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void WatchChanges();
    void Changed();
    void Saved(const QString& path);
    void ShowTitle();
    void Remember(const QString& path);
    void FillRecentMenu();
    void Save(const QString& path);

    TfrmMain& w_;
    QString path_;
    bool modified_ = false;
    bool applying_ = false;
    bool enabled_ = true;
};
