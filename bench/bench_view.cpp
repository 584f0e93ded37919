// Repaint time of the picture window's melody view with 10^5 and 10^6 notes,
// offscreen: the full redraw of the cached background (what scrolling and
// zooming cost) at several windows, and the overlay repaint while playing.
// ms_per_frame is the worst full redraw in processor time of this program, so
// that other programs on a busy machine do not count; the wall time stands beside it.
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "ui/melody_canvas.h"

namespace {
// Full redraws while scrolling over several spans; prints each, returns the
// worst processor time per frame in ms.
double RedrawSpans(MelodyCanvas& canvas, const char* name, int notes) {
    double worst = 0;
    for (double span : {1.0, 0.1, 0.01, 0.001}) {
        constexpr int kFrames = 20;
        QElapsedTimer timer;
        timer.start();
        const std::clock_t cpuStart = std::clock();
        for (int frame = 0; frame < kFrames; ++frame) {
            // Each frame scrolls, so the background is drawn anew.
            canvas.SetWindow((1 - span) * frame / kFrames, span);
            canvas.RebuildBackground();
        }
        const double wallMs = timer.nsecsElapsed() / 1e6 / kFrames;
        const double cpuMs = (std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC / kFrames;
        worst = std::max(worst, cpuMs);
        std::printf("notes=%d %s span=%g full_redraw_cpu_ms=%.3f wall_ms=%.3f\n", notes, name, span,
                    cpuMs, wallMs);
    }
    return worst;
}

DescribedMelody RandomMelody(int notes) {
    DescribedMelody melody;
    melody.Modulus = 88;
    uint32_t x = 12345;
    for (int i = 0; i < notes; ++i) {
        x = x * 1103515245u + 12345u;
        const int32_t member = static_cast<int32_t>((x >> 8) % 1000000);
        melody.Members.push_back(std::to_string(member));
        melody.Timeline.Append(member % 11 == 0 ? 0 : 1 + member % 88,
                               static_cast<int32_t>(100 + (x >> 4) % 400), 3);
    }
    return melody;
}

// The worst full redraw of the plot, the roll and four voices for a melody of so many notes.
double Case(int notes) {
    MelodyCanvas canvas;
    canvas.resize(1600, 800);
    canvas.SetMelody(RandomMelody(notes));
    double worst = 0;
    for (MelodyCanvas::View view : {MelodyCanvas::View::Roll, MelodyCanvas::View::Plot}) {
        canvas.SetView(view);
        worst = std::max(
            worst, RedrawSpans(canvas, view == MelodyCanvas::View::Roll ? "roll" : "plot", notes));
    }
    // The same notes as four voices a second apart, each in its colour.
    std::vector<EnsembleVoice> voices(4);
    for (int v = 0; v < 4; ++v) {
        voices[v].OffsetUs = int64_t{v} * 1000000;
        const auto& events = canvas.Melody().Timeline.Events();
        for (size_t i = static_cast<size_t>(v); i < events.size(); i += 4)
            voices[v].Melody.Append(events[i].Key, events[i].DurationMs * 4, 3);
    }
    MelodyCanvas ensemble;
    ensemble.resize(canvas.size());
    ensemble.SetEnsemble(RollOf(voices));
    worst = std::max(worst, RedrawSpans(ensemble, "voices", notes));
    if (notes == 100000) {
        // While playing only the play head moves: the cached background is copied.
        canvas.SetView(MelodyCanvas::View::Roll);
        canvas.SetWindow(0, 1);
        QImage target(canvas.size(), QImage::Format_RGB32);
        QElapsedTimer timer;
        timer.start();
        constexpr int kHeadFrames = 200;
        for (int frame = 0; frame < kHeadFrames; ++frame) {
            canvas.SetCurrent(static_cast<size_t>(frame) * 400);
            canvas.render(&target);
        }
        std::printf("play_head_repaint_ms=%.3f\n", timer.nsecsElapsed() / 1e6 / kHeadFrames);
    }
    return worst;
}
}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    double worst = 0;
    for (int notes : {100000, 1000000}) worst = std::max(worst, Case(notes));
    std::printf("ms_per_frame=%.3f\n", worst);
    return 0;
}
