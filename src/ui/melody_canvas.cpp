#include "ui/melody_canvas.h"

#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <vector>

#include "ui/melody_canvas_style.h"

using namespace canvas_style;

namespace {
// Members spanning this many decades get a logarithmic value axis.
constexpr double kLogRatio = 1000;
constexpr int kDragSlop = 4;
}  // namespace

MelodyCanvas::MelodyCanvas(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 200);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MelodyCanvas::FitKeys() {
    lowKey_ = INT32_MAX;
    highKey_ = INT32_MIN;
    const auto fit = [this](int32_t key) {
        lowKey_ = std::min(lowKey_, key);
        highKey_ = std::max(highKey_, key);
    };
    if (ensemble_) {
        for (const RollNote& n : ensemble_->Notes) fit(n.Key);
    } else {
        for (const NoteEvent& e : melody_.Timeline.Events())
            if (e.Key > 0) fit(e.Key);
    }
    if (lowKey_ > highKey_) lowKey_ = 40, highKey_ = 51;
    // At least an octave in view, so a few notes do not fill the height.
    if (highKey_ - lowKey_ < 12) highKey_ = lowKey_ + 12;
}

void MelodyCanvas::SetEnsemble(EnsembleRoll roll) {
    SetMelody({});
    ensemble_ = std::move(roll);
    voiceTracks_ = TracksOf(*ensemble_);
    view_ = View::Roll;
    FitKeys();
    Invalidate();
}

void MelodyCanvas::SetPlayTime(std::optional<int64_t> ms) {
    if (ms == playTime_) return;
    playTime_ = ms;
    update();
}

void MelodyCanvas::SetMelody(DescribedMelody melody) {
    melody_ = std::move(melody);
    ensemble_.reset();
    voiceTracks_.clear();
    playTime_.reset();
    FitKeys();
    double low = INFINITY, high = 0;
    logScale_ = false;
    std::vector<double> values;
    values.reserve(melody_.Members.size());
    for (const std::string& m : melody_.Members) {
        values.push_back(PlotValue(m));
        low = std::min(low, values.back());
        high = std::max(high, values.back());
    }
    if (melody_.Members.empty()) low = 0, high = 1;
    logScale_ = (high + 1) / (low + 1) >= kLogRatio;
    lowValue_ = logScale_ ? std::log10(1 + low) : low;
    highValue_ = std::max(logScale_ ? std::log10(1 + high) : high, lowValue_ + 1);
    if (logScale_)
        for (double& v : values) v = std::log10(1.0 + std::max(0.0, v));
    values_ = RangeSpans(std::move(values));
    track_ = KeyTrack(melody_.Timeline.Events());
    current_.reset();
    hover_.reset();
    range_.reset();
    start_ = 0;
    span_ = 1;
    Invalidate();
    emit windowChanged();
}

double MelodyCanvas::ValueAt(size_t i) const { return values_[i]; }

double MelodyCanvas::PlotValue(const std::string& member) const {
    // Members beyond what a double holds stand at its top.
    double v = std::strtod(member.c_str(), nullptr);
    if (!std::isfinite(v)) v = 1e300;
    return logScale_ ? std::log10(1.0 + std::max(0.0, v)) : v;
}

void MelodyCanvas::SetView(View view) {
    view_ = view;
    Invalidate();
}

double MelodyCanvas::Domain() const {
    if (view_ == View::Plot) return std::max<double>(1, melody_.Members.size());
    return std::max<double>(
        1, static_cast<double>(ensemble_ ? ensemble_->EndMs : melody_.Timeline.EndMs()));
}

void MelodyCanvas::SetWindow(double start, double span) {
    // At least about one member stays in view.
    const size_t count = ensemble_ ? ensemble_->Notes.size() : melody_.Members.size();
    const double minSpan = 1.0 / std::max<double>(1, count);
    span = std::clamp(span, minSpan, 1.0);
    start = std::clamp(start, 0.0, 1.0 - span);
    if (start == start_ && span == span_) return;
    start_ = start;
    span_ = span;
    Invalidate();
    emit windowChanged();
}

void MelodyCanvas::ZoomAt(double factor, int x) {
    const Frame f = FrameFor(size());
    const double at = std::clamp((x - f.plot.left()) / f.plot.width(), 0.0, 1.0);
    const double span = span_ / factor;
    SetWindow(start_ + at * (span_ - std::clamp(span, 0.0, 1.0)), span);
}

MelodyCanvas::Frame MelodyCanvas::FrameFor(QSize size) const {
    Frame f;
    f.plot = QRectF(kLeftMargin, kTopMargin, std::max(1, size.width() - kLeftMargin - kRightMargin),
                    std::max(1, size.height() - kTopMargin - kBottomMargin));
    f.x0 = start_ * Domain();
    f.x1 = (start_ + span_) * Domain();
    if (view_ == View::Roll) {
        f.y0 = lowKey_ - 0.5;
        f.y1 = highKey_ + 0.5;
    } else {
        const double pad = (highValue_ - lowValue_) * 0.04;
        f.y0 = lowValue_ - pad;
        f.y1 = highValue_ + pad;
    }
    return f;
}

double MelodyCanvas::XOf(const Frame& f, double x) const {
    return f.plot.left() + (x - f.x0) / (f.x1 - f.x0) * f.plot.width();
}

double MelodyCanvas::DomainOf(const Frame& f, double px) const {
    return f.x0 + (px - f.plot.left()) / f.plot.width() * (f.x1 - f.x0);
}

double MelodyCanvas::YOf(const Frame& f, double y) const {
    return f.plot.bottom() - (y - f.y0) / (f.y1 - f.y0) * f.plot.height();
}

size_t MelodyCanvas::FirstEndingAfter(double ms) const {
    const auto& events = melody_.Timeline.Events();
    return std::partition_point(events.begin(), events.end(),
                                [ms](const NoteEvent& e) { return e.EndMs() <= ms; }) -
           events.begin();
}

std::optional<size_t> MelodyCanvas::MemberAtX(const Frame& f, double px) const {
    const double x = DomainOf(f, px);
    if (view_ == View::Plot) {
        if (x < 0 || x >= static_cast<double>(melody_.Members.size())) return std::nullopt;
        return static_cast<size_t>(x);
    }
    const auto& events = melody_.Timeline.Events();
    const size_t i = FirstEndingAfter(x);
    if (i >= events.size() || events[i].StartMs > x) return std::nullopt;
    return i;
}

std::optional<size_t> MelodyCanvas::NoteAt(QPoint point) const {
    const Frame f = FrameFor(size());
    if (!f.plot.contains(point)) return std::nullopt;
    if (ensemble_) return EnsembleNoteAt(f, point);
    const std::optional<size_t> i = MemberAtX(f, point.x());
    if (!i || view_ == View::Plot) return i;
    const NoteEvent& e = melody_.Timeline.Events()[*i];
    // Rests are gaps: nothing stands there.
    if (e.Key <= 0) return std::nullopt;
    const double row = f.plot.height() / (f.y1 - f.y0);
    if (std::abs(YOf(f, e.Key) - point.y()) > std::max(row / 2, 3.0)) return std::nullopt;
    return i;
}

std::optional<size_t> MelodyCanvas::EnsembleNoteAt(const Frame& f, QPoint point) const {
    const double x = DomainOf(f, point.x());
    const double row = f.plot.height() / (f.y1 - f.y0);
    const std::vector<RollNote>& notes = ensemble_->Notes;
    // Notes start in order; none that starts before the longest note's length sounds at x.
    size_t i = std::partition_point(notes.begin(), notes.end(),
                                    [x](const RollNote& n) { return n.StartMs <= x; }) -
               notes.begin();
    // The latest start wins where voices overlap, as it is drawn on top.
    while (i-- > 0 && notes[i].StartMs >= x - ensemble_->LongestMs) {
        const RollNote& n = notes[i];
        if (n.EndMs() > x && std::abs(YOf(f, n.Key) - point.y()) <= std::max(row / 2, 3.0))
            return i;
    }
    return std::nullopt;
}

QRectF MelodyCanvas::RollRect(const Frame& f, double startMs, double endMs, int32_t key) const {
    const double row = f.plot.height() / (f.y1 - f.y0);
    const double left = XOf(f, startMs);
    const double width = std::max(2.0, XOf(f, endMs) - left);
    return QRectF(left, YOf(f, key) - row / 2, width, std::max(row, 1.0));
}

QRectF MelodyCanvas::NoteRect(size_t index) const {
    const Frame f = FrameFor(size());
    if (ensemble_) {
        if (index >= ensemble_->Notes.size()) return {};
        const RollNote& n = ensemble_->Notes[index];
        return RollRect(f, static_cast<double>(n.StartMs), static_cast<double>(n.EndMs()), n.Key);
    }
    if (index >= melody_.Members.size()) return {};
    if (view_ == View::Plot) {
        const QPointF c(XOf(f, index + 0.5), YOf(f, ValueAt(index)));
        return QRectF(c.x() - 3, c.y() - 3, 6, 6);
    }
    const NoteEvent& e = melody_.Timeline.Events()[index];
    if (e.Key <= 0) return {};
    return RollRect(f, static_cast<double>(e.StartMs), static_cast<double>(e.EndMs()), e.Key);
}

void MelodyCanvas::SetCurrent(std::optional<size_t> index) {
    if (index && *index >= melody_.Members.size()) index.reset();
    if (index == current_) return;
    current_ = index;
    update();
}

void MelodyCanvas::ClearRange() {
    range_.reset();
    update();
}

void MelodyCanvas::Invalidate() {
    backgroundValid_ = false;
    update();
}

void MelodyCanvas::paintEvent(QPaintEvent*) {
    if (!backgroundValid_ || background_.size() != size() * devicePixelRatioF())
        RebuildBackground();
    QPainter p(this);
    p.drawPixmap(0, 0, background_);
    const Frame f = FrameFor(size());
    p.setClipRect(f.plot);
    auto xOfMember = [&](size_t i, bool end) {
        if (view_ == View::Plot) return XOf(f, i + (end ? 1.0 : 0.0));
        const NoteEvent& e = melody_.Timeline.Events()[i];
        return XOf(f, static_cast<double>(end ? e.EndMs() : e.StartMs));
    };
    if (range_) {
        const double left = xOfMember(range_->first, false);
        p.fillRect(
            QRectF(left, f.plot.top(), xOfMember(range_->second, true) - left, f.plot.height()),
            kRangeColour);
    }
    if (dragFrom_ && std::abs(dragTo_ - *dragFrom_) >= kDragSlop)
        p.fillRect(QRectF(std::min(*dragFrom_, dragTo_), f.plot.top(),
                          std::abs(dragTo_ - *dragFrom_), f.plot.height()),
                   kRangeColour);
    if (current_) {
        const double head = xOfMember(*current_, false);
        const QRectF note = NoteRect(*current_);
        if (!note.isEmpty()) {
            p.fillRect(note.adjusted(-1, -1, 1, 1), kCurrentColour);
        }
        p.setPen(QPen(kHeadColour, 2));
        p.drawLine(QPointF(head, f.plot.top()), QPointF(head, f.plot.bottom()));
    }
    if (ensemble_ && playTime_) {
        // The notes sounding now get a frame; their colour says their voice.
        const double at = static_cast<double>(*playTime_);
        p.setPen(QPen(Qt::black, 2));
        const std::vector<RollNote>& notes = ensemble_->Notes;
        for (size_t i = std::partition_point(notes.begin(), notes.end(),
                                             [at](const RollNote& n) { return n.StartMs <= at; }) -
                        notes.begin();
             i-- > 0 && notes[i].StartMs >= at - ensemble_->LongestMs;)
            if (notes[i].EndMs() > at) p.drawRect(NoteRect(i).adjusted(-1, -1, 1, 1));
        p.setPen(QPen(kHeadColour, 2));
        p.drawLine(QPointF(XOf(f, at), f.plot.top()), QPointF(XOf(f, at), f.plot.bottom()));
    }
    if (hover_) {
        const QRectF note = NoteRect(*hover_);
        if (!note.isEmpty()) {
            p.setPen(QPen(Qt::black, 1));
            p.drawRect(note.adjusted(-2, -2, 2, 2));
        }
    }
    if (hasFocus()) {
        p.setClipping(false);
        p.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void MelodyCanvas::resizeEvent(QResizeEvent*) { Invalidate(); }

void MelodyCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (dragFrom_) {
        dragTo_ = at.x();
        update();
        return;
    }
    const std::optional<size_t> hit = NoteAt(at);
    if (hit == hover_) return;
    hover_ = hit;
    const QString line = !hit        ? QString()
                         : ensemble_ ? QString::fromStdString(RollNoteLine(*ensemble_, *hit))
                                     : QString::fromStdString(NoteLine(melody_, *hit));
    if (hit)
        QToolTip::showText(event->globalPosition().toPoint(), line, this);
    else
        QToolTip::hideText();
    emit hovered(line);
    update();
}

void MelodyCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragFrom_ = dragTo_ = event->position().toPoint().x();
}

void MelodyCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragFrom_) return;
    const int from = std::min(*dragFrom_, dragTo_), to = std::max(*dragFrom_, dragTo_);
    dragFrom_.reset();
    if (to - from < kDragSlop) {
        const std::optional<size_t> hit =
            ensemble_ ? std::nullopt : NoteAt(event->position().toPoint());
        if (hit) {
            SetCurrent(hit);
            emit currentChosen(*hit);
        }
        update();
        return;
    }
    // The members the drag went over, from the first it touched to the last.
    const Frame f = FrameFor(size());
    const size_t count = melody_.Members.size();
    std::optional<size_t> first, last;
    for (int x = std::max(from, static_cast<int>(f.plot.left())); x <= to && !first; ++x)
        first = MemberAtX(f, x);
    for (int x = std::min(to, static_cast<int>(f.plot.right())); x >= from && !last; --x)
        last = MemberAtX(f, x);
    if (first && last && *first <= *last && *last < count) range_ = std::pair(*first, *last);
    update();
}

void MelodyCanvas::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (event->modifiers() & Qt::ControlModifier)
        ZoomAt(std::pow(1.25, steps), static_cast<int>(event->position().x()));
    else
        SetWindow(start_ - steps * span_ * 0.1, span_);
    event->accept();
}

void MelodyCanvas::leaveEvent(QEvent*) {
    if (!hover_) return;
    hover_.reset();
    emit hovered(QString());
    update();
}
