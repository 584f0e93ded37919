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

// What the file items need of the window whose document they keep.
class ISetupDocument {
public:
    virtual ~ISetupDocument() = default;
    virtual MelodySetup CaptureSetup() = 0;
    // Sets the window to a setup of one voice.
    virtual void ApplySetup(const MelodySetup& setup) = 0;
    // A file of several voices: the voices window plays it.
    virtual void OpenEnsemble(const MelodySetup& setup, const QString& path) = 0;
};

class QWidget;
class QAction;
class QMenu;

class SetupFiles : public QObject {
    Q_OBJECT
public:
    // Puts the file items into menu, before the item before; window shows
    // the file's name in its title and takes dropped files.
    SetupFiles(QWidget& window, ISetupDocument& document, QMenu* menu, QAction* before);

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
    // Puts a file at the top of "Zuletzt geöffnet".
    void Remember(const QString& path);
    // The document may have changed: the title gets its "*" while it differs
    // from the file (not while a file is applied).
    void Changed();

    const QString& FilePath() const { return path_; }
    bool Modified() const { return modified_; }
    QStringList RecentFiles() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Saved(const QString& path);
    void ShowTitle();
    void FillRecentMenu();
    void Save(const QString& path);

    QWidget& w_;
    ISetupDocument& document_;
    QString path_;
    MelodySetup saved_;  // what the window held when the file was opened or saved
    bool modified_ = false;
    bool applying_ = false;
    bool enabled_ = true;
};
