// The cached background of the melody picture: axes, key rows and the notes,
// thinned to one span per pixel column where they outnumber the columns.
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>
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

void MelodyCanvas::DrawRoll(QPainter& p, const Frame& f) const {
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
    if (ensemble_) {
        DrawEnsemble(p, f);
        return;
    }
    const auto& events = melody_.Timeline.Events();
    const size_t first = FirstEndingAfter(f.x0);
    size_t last = first;
    while (last < events.size() && events[last].StartMs < f.x1) ++last;
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
    std::vector<int32_t> low(columns, INT32_MAX), high(columns, INT32_MIN);
    for (size_t i = first; i < last; ++i) {
        const NoteEvent& e = events[i];
        if (e.Key <= 0) continue;
        const int from =
            std::clamp(static_cast<int>(XOf(f, static_cast<double>(e.StartMs)) - f.plot.left()), 0,
                       columns - 1);
        const int to =
            std::clamp(static_cast<int>(XOf(f, static_cast<double>(e.EndMs())) - f.plot.left()),
                       from, columns - 1);
        for (int c = from; c <= to; ++c) {
            low[c] = std::min(low[c], e.Key);
            high[c] = std::max(high[c], e.Key);
        }
    }
    for (int c = 0; c < columns; ++c) {
        if (low[c] > high[c]) continue;
        // Whole pixels take the painter's quick path for solid fills.
        const int top = static_cast<int>(YOf(f, high[c]) - row / 2);
        const int bottom = static_cast<int>(std::ceil(YOf(f, low[c]) + row / 2));
        p.fillRect(QRect(static_cast<int>(f.plot.left()) + c, top, 1, std::max(1, bottom - top)),
                   kNoteColour);
    }
}

void MelodyCanvas::DrawEnsemble(QPainter& p, const Frame& f) const {
    const double row = f.plot.height() / (f.y1 - f.y0);
    const double rowHeight = std::max(row, 1.0);
    QColor colours[kMaxEnsembleVoices];
    for (int v = 0; v < kMaxEnsembleVoices; ++v) colours[v] = QColor::fromRgb(VoiceColour(v));
    for (const RollNote& n : ensemble_->Notes) {
        if (n.StartMs >= f.x1) break;
        if (n.EndMs() <= f.x0) continue;
        const double left = XOf(f, static_cast<double>(n.StartMs));
        const double right = XOf(f, static_cast<double>(n.EndMs()));
        const double width = std::max(1.0, right - left - (right - left > 4 ? 1 : 0));
        p.fillRect(QRectF(left, YOf(f, n.Key) - row / 2, width, rowHeight),
                   colours[n.Voice % kMaxEnsembleVoices]);
    }
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
    std::vector<double> low(columns, std::numeric_limits<double>::infinity()),
        high(columns, -std::numeric_limits<double>::infinity());
    for (size_t i = first; i < last; ++i) {
        const int c = std::clamp(static_cast<int>(XOf(f, i + 0.5) - f.plot.left()), 0, columns - 1);
        const double v = ValueAt(i);
        low[c] = std::min(low[c], v);
        high[c] = std::max(high[c], v);
    }
    for (int c = 0; c < columns; ++c) {
        if (low[c] > high[c]) continue;
        const int top = static_cast<int>(YOf(f, high[c]));
        const int bottom = static_cast<int>(std::ceil(YOf(f, low[c])));
        p.fillRect(QRect(static_cast<int>(f.plot.left()) + c, top, 1, std::max(1, bottom - top)),
                   kNoteColour);
    }
}
