#pragma once
// "Ansicht...": the melody that "Abspielen" plays as a picture, to look at,
// hover over, step through and save.
#include <QWidget>
#include <functional>

#include "playback/melody_view.h"
#include "playback/run.h"
#include "ui/melody_canvas.h"

class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;

class PictureWindow : public QWidget {
    Q_OBJECT
public:
    explicit PictureWindow(QWidget* parent = nullptr);

    // Reads the melody afresh. May throw; the window then keeps what it had.
    std::function<DescribedMelody()> ReadMelody;
    // Sounds a member and marks it on the keyboard.
    std::function<void(size_t index)> SoundMember;
    // Starts a run over the range, or stops the one that plays.
    std::function<void(const PlayRange& range)> OnPlayRange;
    // Where to save a picture or a list; an empty path cancels. Tests replace them.
    std::function<QString()> ChooseImagePath;
    std::function<QString()> ChooseExportPath;

    void Reload();
    // The member that sounds now, during a run; none afterwards.
    void ShowPlaying(std::optional<size_t> index);
    // The voices window's notes, each voice in its colour, until Reload.
    void ShowEnsemble(EnsembleRoll roll);
    // Where the voices' run is; none when it ended.
    void ShowEnsemblePlaying(std::optional<int64_t> ms);
    // Moves the current member by delta, sounds it and announces it.
    void Step(int delta);
    // Space: from the current member on, or the dragged range again and again.
    void PlayFromCurrent();
    // PNG or SVG after the path's ending.
    void SaveImage(const QString& path);
    // CSV (".csv") or one line per member.
    void Export(const QString& path);

    MelodyCanvas* canvas;
    QComboBox* cbxView;
    QScrollBar* sbrWindow;
    QLabel* lblLine;
    QPushButton* btnReload;
    QPushButton* btnSaveImage;
    QPushButton* btnExport;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Announce(size_t index);
    void SyncScrollBar();
};
