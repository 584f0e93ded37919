#pragma once
// The picture of a melody: its sequence as a plot (member index against
// value) or as a piano roll (time against key). The notes are drawn once
// into a cached background for the current view; the play head, the current
// note, the hovered note and a dragged range are drawn over it, so moving
// them repaints without drawing the notes again.
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "playback/melody_view.h"

class QPainter;

class MelodyCanvas : public QWidget {
    Q_OBJECT
public:
    enum class View { Plot, Roll };
    explicit MelodyCanvas(QWidget* parent = nullptr);

    void SetMelody(DescribedMelody melody);
    const DescribedMelody& Melody() const { return melody_; }
    // The voices instead of a melody: a piano roll with one colour per voice,
    // to look at and hover over; there is no member to step to. SetMelody ends it.
    void SetEnsemble(EnsembleRoll roll);
    const std::optional<EnsembleRoll>& Ensemble() const { return ensemble_; }
    // Where the voices' run is, in ms since its start; none when it ended.
    void SetPlayTime(std::optional<int64_t> ms);
    std::optional<int64_t> PlayTime() const { return playTime_; }
    void SetView(View view);
    View CurrentView() const { return view_; }

    // The shown part of the x axis as fractions of the whole: start and span.
    void SetWindow(double start, double span);
    double WindowStart() const { return start_; }
    double WindowSpan() const { return span_; }
    // Zooms by factor (> 1 enlarges) around the x position.
    void ZoomAt(double factor, int x);

    // The note under a point of the widget, or none; with voices shown, an
    // index into their notes.
    std::optional<size_t> NoteAt(QPoint point) const;
    // Where a member's note stands, for tests and marks; empty when out of view.
    QRectF NoteRect(size_t index) const;

    // The member marked by stepping or sounding during a run, shown with the play head.
    void SetCurrent(std::optional<size_t> index);
    std::optional<size_t> Current() const { return current_; }
    // The members a drag went over, first to last.
    std::optional<std::pair<size_t, size_t>> Range() const { return range_; }
    void ClearRange();

    // Draws background and notes at size, as the widget shows them; for saving.
    void Render(QPainter& painter, QSize size) const;
    // Rebuilds the cached background at once (the benchmark times it).
    void RebuildBackground();

signals:
    void hovered(const QString& line);
    void currentChosen(size_t index);
    void windowChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    struct Frame {
        QRectF plot;            // the area inside the axes
        double x0 = 0, x1 = 1;  // domain shown: ms (roll) or member index (plot)
        double y0 = 0, y1 = 1;  // keys (roll) or value, logarithmic where chosen
    };
    Frame FrameFor(QSize size) const;
    double Domain() const;
    double XOf(const Frame& f, double x) const;
    double DomainOf(const Frame& f, double px) const;
    double YOf(const Frame& f, double y) const;
    double PlotValue(const std::string& member) const;
    double ValueAt(size_t index) const;
    size_t FirstEndingAfter(double ms) const;
    std::optional<size_t> MemberAtX(const Frame& f, double px) const;
    void DrawAxes(QPainter& p, const Frame& f) const;
    void DrawRoll(QPainter& p, const Frame& f) const;
    // The black keys' rows and a line below each C.
    void DrawKeyRows(QPainter& p, const Frame& f) const;
    void DrawPlot(QPainter& p, const Frame& f) const;
    void DrawEnsemble(QPainter& p, const Frame& f) const;
    // Each voice's span of keys per column, the voice whose last note there
    // starts latest on top, as single notes are layered.
    void DrawRollColumns(QPainter& p, const Frame& f,
                         const std::vector<std::vector<ColumnSpan>>& voices,
                         const std::vector<QRgb>& colours) const;
    std::optional<size_t> EnsembleNoteAt(const Frame& f, QPoint point) const;
    QRectF RollRect(const Frame& f, double startMs, double endMs, int32_t key) const;
    QImage& PictureOf(int width, int height) const;
    void FitKeys();
    void Invalidate();

    DescribedMelody melody_;
    std::optional<EnsembleRoll> ensemble_;
    std::optional<int64_t> playTime_;
    RangeSpans values_;                  // each member as plotted
    KeyTrack track_;                     // the melody's keys, for a column's span
    std::vector<KeyTrack> voiceTracks_;  // the same for each voice
    View view_ = View::Roll;
    double start_ = 0, span_ = 1;
    int32_t lowKey_ = 39, highKey_ = 52;
    double lowValue_ = 0, highValue_ = 1;
    bool logScale_ = false;
    std::optional<size_t> current_, hover_;
    std::optional<std::pair<size_t, size_t>> range_;
    std::optional<int> dragFrom_;
    int dragTo_ = 0;
    QPixmap background_;
    // The columns' picture, kept between redraws so that a frame does not
    // fault in fresh pages for it.
    mutable QImage picture_;
    mutable std::vector<QRgb> cells_;  // the roll's columns, kept between redraws
    bool backgroundValid_ = false;
};
