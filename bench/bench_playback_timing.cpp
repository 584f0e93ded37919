// Plays 1000 notes of 12 ms (length exponent 7 at tempo 150) through the real
// playback run into the recording MIDI device on the real clock, and reports
// how far the rhythm drifts and how much the note onsets jitter. Then plays an
// ensemble of 16 voices of eighths at tempo 220 through the ensemble
// scheduler, on the virtual clock and for 60 s (or the seconds given as the
// argument) on the real clock, and reports the onset error against each
// note's deadline and the drift at the last note's end. The ensemble runs once
// more with a controller 10 (a pan change) before every note.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "midi/clock.h"
#include "midi/midi.h"
#include "midi/midi_out.h"
#include "midi/recording_service.h"
#include "playback/ensemble.h"
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
// About what a repaint of the voices' keys and an idle event queue cost.
class BenchObserver : public IEnsembleObserver {
public:
    void NoteStarted(const EnsembleEvent& e) override { sounding_[e.Voice] = e.Key; }
    void NoteEnded(const EnsembleEvent& e) override { sounding_[e.Voice] = 0; }
    bool KeepPlaying() override {
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(150);
        while (std::chrono::steady_clock::now() < until) {
        }
        return true;
    }

private:
    int32_t sounding_[kMaxEnsembleVoices] = {};
};

constexpr int kEnsembleTempo = 220;
constexpr int kEighth = 3;

int BenchEnsemble(const char* clockName, IClock& clock, int seconds, bool panned = false) {
    const int32_t eighthMs = NoteDurationMs(kEighth, kEnsembleTempo);
    const int notesPerVoice = seconds * 1000 / eighthMs;
    std::vector<EnsembleVoice> voices;
    for (int v = 0; v < kMaxEnsembleVoices; ++v) {
        EnsembleVoice voice;
        voice.Channel = v + 1;
        voice.Program = v * 8;
        // Four groups a 32nd apart, so that notes start alone and in bursts.
        voice.OffsetUs = VoiceOffsetUs((v % 4) / 32.0, kEnsembleTempo);
        for (int i = 0; i < notesPerVoice; ++i)
            voice.Melody.Append({0, eighthMs, 20 + (v * 3 + i) % 60, std::nullopt, std::nullopt,
                                 panned ? std::optional<int8_t>(i % 2 ? -64 : 63) : std::nullopt});
        voices.push_back(std::move(voice));
    }
    const EnsembleTimeline timeline = BuildEnsembleTimeline(voices);
    auto service =
        std::make_shared<RecordingMidiService>(std::vector<std::string>{"Messung"}, &clock);
    size_t controllers = 0;
    for (const EnsembleEvent& e : timeline.Events) controllers += e.PanController ? 1 : 0;
    service->ReserveMessages(timeline.Events.size() + timeline.Programs.size() + controllers);
    std::shared_ptr<IMidiOutput> output = TMidiOut::Create(service, 0);
    BenchObserver observer;
    {
        // As the program plays an ensemble.
        const RealTimeScope realTime;
        if (&clock == &SystemClock() && !realTime.Granted())
            std::printf("ensemble clock=%s without real-time priority\n", clockName);
        PlayEnsemble(timeline, *output, clock, observer);
    }

    const auto& sent = service->Messages();
    const size_t programs = timeline.Programs.size();
    if (sent.size() != programs + timeline.Events.size() + controllers) {
        std::printf("error: %zu messages sent, expected %zu\n", sent.size(),
                    programs + timeline.Events.size() + controllers);
        return 1;
    }
    // The programs go out at the start, the moment every deadline counts from.
    const int64_t startUs = sent.front().timeUs;
    std::vector<double> errorMs;
    size_t at = programs;  // the message of each event, a controller before its note
    for (const EnsembleEvent& e : timeline.Events) {
        if (e.PanController) ++at;
        if (e.On) errorMs.push_back(std::abs(sent[at].timeUs - startUs - e.TimeUs) / 1000.0);
        ++at;
    }
    std::sort(errorMs.begin(), errorMs.end());
    const double idealMs = timeline.Events.back().TimeUs / 1000.0;
    const double actualMs = (sent.back().timeUs - startUs) / 1000.0;
    std::printf(
        "ensemble clock=%s%s voices=%d notes=%zu note_ms=%d ideal_ms=%.0f actual_ms=%.1f "
        "drift_pct=%.4f p50_onset_error_ms=%.3f p99_onset_error_ms=%.3f max_onset_error_ms=%.3f\n",
        clockName, panned ? " pan_before_every_note" : "", kMaxEnsembleVoices, errorMs.size(),
        eighthMs, idealMs, actualMs, (actualMs - idealMs) / idealMs * 100.0,
        errorMs[errorMs.size() / 2], errorMs[errorMs.size() * 99 / 100], errorMs.back());
    return 0;
}
}  // namespace

int BenchSingleVoice() {
    auto service = std::make_shared<RecordingMidiService>(std::vector<std::string>{"Messung"});
    service->ReserveMessages(size_t{3} * kNotes);
    MidiUnit midi(service);
    midi.InitMidiOut();
    const int32_t noteMs = NoteDurationMs(kLengthExponent, kTempo);

    BenchHost host;
    PlaybackRun run(host, midi);
    {
        const RealTimeScope realTime;  // as the program plays a melody
        if (!realTime.Granted()) std::printf("melody without real-time priority\n");
        run.Press();
    }

    std::vector<int64_t> onsets, offsets;
    for (const auto& m : service->Messages()) {
        if (m.bytes.size() == 3 && m.bytes[0] == 0x90) onsets.push_back(m.timeUs);
        if (m.bytes.size() == 3 && m.bytes[0] == 0x80) offsets.push_back(m.timeUs);
    }
    midi.ReleaseMidiOut();
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

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (seconds < 1) {
        std::printf("usage: bench_playback_timing [seconds of the ensemble on the real clock]\n");
        return 2;
    }
    if (int status = BenchSingleVoice()) return status;
    VirtualClock virtualClock;
    if (int status = BenchEnsemble("virtual", virtualClock, seconds)) return status;
    if (int status = BenchEnsemble("real", SystemClock(), seconds)) return status;
    return BenchEnsemble("real", SystemClock(), seconds, /*panned=*/true);
}
