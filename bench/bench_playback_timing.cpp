// Plays 1000 notes of 12 ms (length exponent 7 at tempo 150) through the real
// playback run into the recording MIDI device on the real clock, and reports
// how far the rhythm drifts and how much the note onsets jitter.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "midi/clock.h"
#include "midi/midi.h"
#include "midi/recording_service.h"
#include "playback/maps.h"
#include "playback/run.h"
#include "playback/startup.h"

namespace {
constexpr int kNotes = 1000;
constexpr int kLengthExponent = 7;
constexpr int kTempo = 150;

// Stands in for the window: real map look-ups, key marking through the
// keyboard interface, and some work where the window would handle its messages.
class BenchHost : public QuietPlaybackHost {
public:
    BenchHost() {
        Tempo = kTempo;
        TempoMap.Assign({std::to_string(kLengthExponent)});
        for (int i = 0; i < kNotes; ++i) notes_ += std::to_string(i) + ", ";
    }
    std::string ReadNoteSource() override { return notes_; }
    bool TempoSequenceUsed() override { return false; }
    std::string ReadTempoSource() override { return {}; }
    bool KeyboardWanted() override { return true; }
    void MarkKey(int32_t key) override { marked_[key] = true; }
    void UnmarkKey(int32_t key) override { marked_[key] = false; }
    void ProcessPendingMessages() override {
        // About what a repaint of two keys and an idle event queue cost.
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(150);
        while (std::chrono::steady_clock::now() < until) {
        }
    }

private:
    std::string notes_;
    bool marked_[89] = {};
};
}  // namespace

int main() {
    auto service = std::make_shared<TRecordingMidiService>(std::vector<std::string>{"Messung"});
    service->ReserveMessages(3 * kNotes);
    SetMidiOutService(service);
    InitMidiOut();
    const int32_t noteMs = NoteDurationMs(kLengthExponent, kTempo);

    BenchHost host;
    TPlaybackRun run(host);
    run.Press();

    std::vector<int64_t> onsets, offsets;
    for (const auto& m : service->Messages()) {
        if (m.bytes.size() == 3 && m.bytes[0] == 0x90) onsets.push_back(m.timeUs);
        if (m.bytes.size() == 3 && m.bytes[0] == 0x80) offsets.push_back(m.timeUs);
    }
    ReleaseMidiOut();
    if (onsets.size() != kNotes || offsets.size() != kNotes) {
        std::printf("error: %zu notes sounded, expected %d\n", onsets.size(), kNotes);
        return 1;
    }
    // The ideal grid is placed where most onsets put it (the median offset),
    // so one late first note does not count as every other note's jitter.
    const int64_t noteUs = int64_t{noteMs} * 1000;
    std::vector<int64_t> gridStarts;
    for (size_t i = 0; i < onsets.size(); ++i)
        gridStarts.push_back(onsets[i] - int64_t(i) * noteUs);
    std::nth_element(gridStarts.begin(), gridStarts.begin() + kNotes / 2, gridStarts.end());
    const int64_t gridStart = gridStarts[kNotes / 2];
    std::vector<double> jitterMs;
    for (size_t i = 0; i < onsets.size(); ++i)
        jitterMs.push_back(std::abs(onsets[i] - (gridStart + int64_t(i) * noteUs)) / 1000.0);
    std::sort(jitterMs.begin(), jitterMs.end());
    const double p99 = jitterMs[jitterMs.size() * 99 / 100];
    const double idealMs = double(kNotes) * noteMs;
    const double actualMs = (offsets.back() - gridStart) / 1000.0;
    std::printf("note_ms=%d max_jitter_ms=%.3f first_onset_late_ms=%.3f\n", noteMs, jitterMs.back(),
                (onsets.front() - gridStart) / 1000.0);
    std::printf("notes=%d ideal_ms=%.0f actual_ms=%.1f drift_pct=%.3f p99_jitter_ms=%.3f\n", kNotes,
                idealMs, actualMs, (actualMs - idealMs) / idealMs * 100.0, p99);
    return 0;
}
