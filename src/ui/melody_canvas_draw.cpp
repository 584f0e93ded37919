// The cached background of the melody picture: axes, key rows and the notes,
// thinned to one span per pixel column where they outnumber the columns, so
// that the cost follows the pixels, not the notes.
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "midi/midinote.h"
#include "ui/melody_canvas.h"
#include "ui/melody_canvas_style.h"

using namespace canvas_style;

namespace {
bool IsBlackKey(int32_t key) {
    const int n = KeyPitchClass(key);
    return n == 1 || n == 3 || n == 6 || n == 8 || n == 10;
}

// Round steps for an axis: 1, 2 or 5 times a power of ten, about count of them.
double TickStep(double span, int count) {
    const double raw = span / std::max(1, count);
    const double power = std::pow(10.0, std::floor(std::log10(std::max(raw, 1e-9))));
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= raw) return m * power;
    return 10 * power;
}
}  // namespace

void MelodyCanvas::RebuildBackground() {
    const qreal ratio = devicePixelRatioF();
    if (background_.size() != size() * ratio) {
        background_ = QPixmap(size() * ratio);
        background_.setDevicePixelRatio(ratio);
    }
    QPainter p(&background_);
    Render(p, size());
    backgroundValid_ = true;
}

void MelodyCanvas::Render(QPainter& p, QSize size) const {
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    const Frame f = FrameFor(size);
    p.save();
    p.setClipRect(f.plot);
    if (view_ == View::Roll)
        DrawRoll(p, f);
    else
        DrawPlot(p, f);
    p.restore();
    DrawAxes(p, f);
}

void MelodyCanvas::DrawAxes(QPainter& p, const Frame& f) const {
    p.setPen(Qt::black);
    p.drawRect(f.plot);
    QFont font = p.font();
    font.setPixelSize(10);
    p.setFont(font);
    // Left: the C of each octave (roll), or values (plot).
    if (view_ == View::Roll) {
        for (int32_t key = lowKey_; key <= highKey_; ++key)
            if (KeyPitchClass(key) == 0)
                p.drawText(QRectF(0, YOf(f, key) - 7, kLeftMargin - 4, 14),
                           Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(KeyName(key)));
    } else {
        const double step = logScale_ ? 1 : TickStep(f.y1 - f.y0, 5);
        for (double v = std::ceil(f.y0 / step) * step; v <= f.y1; v += step) {
            const double shown = logScale_ ? std::pow(10.0, v) - 1 : v;
            QString text = logScale_ ? QString("1e%1").arg(v) : QString::number(shown, 'g', 7);
            if (logScale_ && v < 4) text = QString::number(std::pow(10.0, v), 'f', 0);
            p.drawText(QRectF(0, YOf(f, v) - 7, kLeftMargin - 4, 14),
                       Qt::AlignRight | Qt::AlignVCenter, text);
        }
    }
    // Bottom: seconds (roll) or member numbers (plot).
    const double scale = view_ == View::Roll ? 1000 : 1;
    const double step = TickStep((f.x1 - f.x0) / scale, 8);
    for (double x = std::ceil(f.x0 / scale / step) * step; x * scale <= f.x1; x += step) {
        const double px = XOf(f, x * scale);
        p.drawLine(QPointF(px, f.plot.bottom()), QPointF(px, f.plot.bottom() + 3));
        const QString text = view_ == View::Roll ? QString::number(x, 'g', 6) + " s"
                                                 : QString::number(x + 1, 'f', 0);
        p.drawText(QRectF(px - 40, f.plot.bottom() + 3, 80, 16), Qt::AlignHCenter, text);
    }
}

void MelodyCanvas::DrawKeyRows(QPainter& p, const Frame& f) const {
    const double row = f.plot.height() / (f.y1 - f.y0);
    for (int32_t key = lowKey_; key <= highKey_; ++key) {
        const double y = YOf(f, key);
        if (IsBlackKey(key))
            p.fillRect(QRectF(f.plot.left(), y - row / 2, f.plot.width(), row), kBlackKeyRow);
        if (KeyPitchClass(key) == 0) {
            p.setPen(kGrid);
            p.drawLine(QPointF(f.plot.left(), y + row / 2), QPointF(f.plot.right(), y + row / 2));
        }
    }
}

void MelodyCanvas::DrawRoll(QPainter& p, const Frame& f) const {
    const double row = f.plot.height() / (f.y1 - f.y0);
    DrawKeyRows(p, f);
    if (ensemble_) {
        DrawEnsemble(p, f);
        return;
    }
    const auto& events = melody_.Timeline.Events();
    const size_t first = FirstEndingAfter(f.x0);
    const size_t last =
        std::partition_point(events.begin() + static_cast<ptrdiff_t>(first), events.end(),
                             [&f](const NoteEvent& e) { return e.StartMs < f.x1; }) -
        events.begin();
    const int columns = static_cast<int>(std::ceil(f.plot.width()));
    const double rowHeight = std::max(row, 1.0);
    if (last - first <= static_cast<size_t>(columns)) {
        for (size_t i = first; i < last; ++i) {
            const NoteEvent& e = events[i];
            if (e.Key <= 0) continue;
            const double left = XOf(f, static_cast<double>(e.StartMs));
            const double right = XOf(f, static_cast<double>(e.EndMs()));
            // A gap of a pixel keeps repeated keys apart.
            const double width = std::max(1.0, right - left - (right - left > 4 ? 1 : 0));
            p.fillRect(QRectF(left, YOf(f, e.Key) - row / 2, width, rowHeight), kNoteColour);
        }
        return;
    }
    // More notes than pixels: each column shows the span of keys sounding in it.
    DrawRollColumns(p, f, {track_.Columns(f.x0, (f.x1 - f.x0) / f.plot.width(), columns)},
                    {kNoteColour.rgb()});
}

QImage& MelodyCanvas::PictureOf(int width, int height) const {
    if (picture_.width() != width || picture_.height() != height)
        picture_ = QImage(width, height, QImage::Format_RGB32);
    return picture_;
}

void MelodyCanvas::DrawRollColumns(QPainter& p, const Frame& f,
                                   const std::vector<std::vector<ColumnSpan>>& voices,
                                   const std::vector<QRgb>& colours) const {
    const int columns = voices.empty() ? 0 : static_cast<int>(voices.front().size());
    if (columns == 0) return;
    // First a cell per column and key (0 where nothing sounds), row 0 the highest
    // key; a column's keys lie together, as each voice fills a run of them. Kept,
    // so that each redraw does not map and clear fresh pages for them.
    const int keys = highKey_ - lowKey_ + 1;
    std::vector<QRgb>& cells = cells_;
    cells.assign(static_cast<size_t>(keys) * static_cast<size_t>(columns), 0);
    std::vector<size_t> order;
    for (size_t c = 0; c < static_cast<size_t>(columns); ++c) {
        order.clear();
        for (size_t v = 0; v < voices.size(); ++v) {
            if (voices[v][c].Empty()) continue;
            // Few voices: sorting by insertion, the latest start last.
            size_t at = order.size();
            order.push_back(v);
            for (; at > 0 && voices[order[at - 1]][c].LatestStartMs > voices[v][c].LatestStartMs;
                 --at)
                order[at] = order[at - 1];
            order[at] = v;
        }
        for (size_t v : order) {
            const int top = std::max(0, static_cast<int>(highKey_ - voices[v][c].High));
            const int bottom = std::min(keys - 1, static_cast<int>(highKey_ - voices[v][c].Low));
            if (top <= bottom)
                std::fill_n(cells.begin() + static_cast<std::ptrdiff_t>(c * keys + top),
                            bottom - top + 1, colours[v]);
        }
    }
    // Then the plot's pixel lines, opaque over the key rows as drawn: one copy,
    // no blending or scaling; a line is recomposed only where key or row colour changes.
    const int rows = std::max(1, static_cast<int>(std::ceil(f.plot.height())));
    QImage background(1, rows, QImage::Format_RGB32);
    {
        QPainter rowPainter(&background);
        rowPainter.translate(-f.plot.left(), -f.plot.top());
        rowPainter.fillRect(f.plot, Qt::white);
        DrawKeyRows(rowPainter, f);
    }
    QImage& picture = PictureOf(columns, rows);
    std::vector<QRgb> line(static_cast<size_t>(columns));
    const double rowPixels = f.plot.height() / keys;
    int shownKey = -1;
    QRgb shownRow = 0;
    for (int r = 0; r < rows; ++r) {
        const int k = std::clamp(static_cast<int>((r + 0.5) / rowPixels), 0, keys - 1);
        const QRgb rowColour = background.pixel(0, r);
        if (k != shownKey || rowColour != shownRow) {
            const QRgb* cell = cells.data() + k;
            for (size_t c = 0; c < line.size(); ++c) {
                const QRgb colour = cell[c * static_cast<size_t>(keys)];
                line[c] = colour != 0 ? colour : rowColour;
            }
            shownKey = k;
            shownRow = rowColour;
        }
        std::memcpy(picture.scanLine(r), line.data(), line.size() * sizeof(QRgb));
    }
    p.drawImage(QPointF(f.plot.left(), f.plot.top()), picture);
}

void MelodyCanvas::DrawEnsemble(QPainter& p, const Frame& f) const {
    const double row = f.plot.height() / (f.y1 - f.y0);
    const double rowHeight = std::max(row, 1.0);
    QColor colours[kMaxEnsembleVoices];
    for (int v = 0; v < kMaxEnsembleVoices; ++v) colours[v] = QColor::fromRgb(VoiceColour(v));
    const std::vector<RollNote>& notes = ensemble_->Notes;
    // None that starts before the longest note's length still sounds at x0.
    const auto startingBefore = [&notes](double ms) {
        return static_cast<size_t>(
            std::partition_point(notes.begin(), notes.end(),
                                 [ms](const RollNote& n) { return n.StartMs < ms; }) -
            notes.begin());
    };
    const size_t first = startingBefore(f.x0 - ensemble_->LongestMs), last = startingBefore(f.x1);
    const int columns = static_cast<int>(std::ceil(f.plot.width()));
    if (last - first <= static_cast<size_t>(columns)) {
        for (size_t i = first; i < last; ++i) {
            const RollNote& n = notes[i];
            if (n.EndMs() <= f.x0) continue;
            const double left = XOf(f, static_cast<double>(n.StartMs));
            const double right = XOf(f, static_cast<double>(n.EndMs()));
            const double width = std::max(1.0, right - left - (right - left > 4 ? 1 : 0));
            p.fillRect(QRectF(left, YOf(f, n.Key) - row / 2, width, rowHeight),
                       colours[n.Voice % kMaxEnsembleVoices]);
        }
        return;
    }
    // More notes than pixels: each voice's span of keys per column.
    const double width = (f.x1 - f.x0) / f.plot.width();
    std::vector<std::vector<ColumnSpan>> spans;
    std::vector<QRgb> voiceColours;
    spans.reserve(voiceTracks_.size());
    for (const KeyTrack& track : voiceTracks_) {
        voiceColours.push_back(colours[spans.size() % kMaxEnsembleVoices].rgb());
        spans.push_back(track.Columns(f.x0, width, columns));
    }
    DrawRollColumns(p, f, spans, voiceColours);
}

void MelodyCanvas::DrawPlot(QPainter& p, const Frame& f) const {
    const size_t count = melody_.Members.size();
    const size_t first = static_cast<size_t>(std::max(0.0, std::floor(f.x0)));
    const size_t last = std::min(count, static_cast<size_t>(std::max(0.0, std::ceil(f.x1))));
    const int columns = static_cast<int>(std::ceil(f.plot.width()));
    if (first >= last) return;
    if (last - first <= static_cast<size_t>(columns)) {
        std::vector<QPointF> points;
        points.reserve(last - first);
        for (size_t i = first; i < last; ++i)
            points.emplace_back(XOf(f, i + 0.5), YOf(f, ValueAt(i)));
        p.setPen(QPen(kNoteColour, 1));
        p.drawPolyline(points.data(), static_cast<int>(points.size()));
        if (points.size() * 4 <= static_cast<size_t>(columns))
            for (const QPointF& c : points)
                p.fillRect(QRectF(c.x() - 2, c.y() - 2, 4, 4), kNoteColour);
        return;
    }
    // More members than pixels: each column shows the span of values in it.
    const std::vector<ColumnSpan> spans =
        PlotColumns(values_, f.x0, (f.x1 - f.x0) / f.plot.width(), columns);
    // Drawn line by line into an opaque picture, the plot's white included:
    // one copy, no blending. A line is the one above it but for the columns
    // whose bar starts or ends there.
    const int rows = std::max(1, static_cast<int>(std::ceil(f.plot.height())));
    std::vector<std::vector<int>> changes(static_cast<size_t>(rows) + 1);
    for (size_t c = 0; c < spans.size(); ++c) {
        if (spans[c].Empty()) continue;
        const int top =
            std::clamp(static_cast<int>(YOf(f, spans[c].High) - f.plot.top()), 0, rows - 1);
        const int bottom = std::clamp(
            static_cast<int>(std::ceil(YOf(f, spans[c].Low) - f.plot.top())), top + 1, rows);
        changes[static_cast<size_t>(top)].push_back(static_cast<int>(c));
        changes[static_cast<size_t>(bottom)].push_back(static_cast<int>(c));
    }
    QImage& picture = PictureOf(std::max(1, columns), rows);
    const QRgb note = kNoteColour.rgb(), white = QColor(Qt::white).rgb();
    std::vector<QRgb> line(static_cast<size_t>(picture.width()), white);
    for (int r = 0; r < rows; ++r) {
        // A bar's start and end switch its column: white to note, note to white.
        for (int c : changes[static_cast<size_t>(r)])
            line[static_cast<size_t>(c)] = line[static_cast<size_t>(c)] == white ? note : white;
        std::memcpy(picture.scanLine(r), line.data(), line.size() * sizeof(QRgb));
    }
    p.drawImage(QPointF(f.plot.left(), f.plot.top()), picture);
}
