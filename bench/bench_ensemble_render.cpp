// Renders 16 voices of 2000 notes of 125 ms each (250 s of music) mixed into
// one WAV file through the built-in synthesizer, each voice on its own channel
// and instrument, a 16th apart, and reports how much faster than real time
// and the process's peak memory.
//
// --dense instead renders 16 voices of 1500 notes over all 88 piano keys with
// length exponents -1 to 5 at tempo 220 (about 15 minutes): nearly every note
// differs, so the kept notes fill their bound and the peak memory shows it.
//   bench_ensemble_render [--dense] [folder]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "melodyfile/wavfile.h"
#include "playback/ensemble.h"
#include "playback/maps.h"

namespace {

constexpr int kTempo = 120, kDenseTempo = 220;

std::vector<EnsembleVoice> Regular() {
    constexpr int kNotes = 2000, kNoteMs = 125;
    std::vector<EnsembleVoice> voices;
    for (int v = 0; v < kMaxEnsembleVoices; ++v) {
        EnsembleVoice voice;
        voice.Channel = v + 1;
        voice.Program = v * 8;
        voice.OffsetUs = VoiceOffsetUs(v / 16.0, kTempo);
        // Keys up and down over four octaves, every eleventh a rest.
        for (int i = 0; i < kNotes; ++i)
            voice.Melody.Append(i % 11 == 10 ? 0 : 28 + (i * 7 + v * 5) % 48, kNoteMs);
        voices.push_back(std::move(voice));
    }
    return voices;
}

std::vector<EnsembleVoice> Dense() {
    constexpr int kNotes = 1500;
    std::vector<EnsembleVoice> voices;
    for (int v = 0; v < kMaxEnsembleVoices; ++v) {
        EnsembleVoice voice;
        voice.Channel = v + 1;
        voice.Program = v * 8;
        // A fixed pseudo-random walk, the same on every run.
        uint32_t state = 2654435761u * static_cast<uint32_t>(v + 1);
        for (int i = 0; i < kNotes; ++i) {
            state = state * 1664525u + 1013904223u;
            const int key = 13 + static_cast<int>((state >> 8) % 88);  // MIDI 21..108
            const int length = -1 + static_cast<int>((state >> 20) % 7);
            voice.Melody.Append(key, NoteDurationMs(length, kDenseTempo), length);
        }
        voices.push_back(std::move(voice));
    }
    return voices;
}

double Seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
    const bool dense = argc > 1 && std::strcmp(argv[1], "--dense") == 0;
    const int folderArg = dense ? 2 : 1;
    const std::vector<EnsembleVoice> voices = dense ? Dense() : Regular();
    const std::filesystem::path dir =
        argc > folderArg ? std::filesystem::path(argv[folderArg])
                         : std::filesystem::temp_directory_path() /
                               ("sonavix-bench-ensemble-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    size_t notes = 0;
    double musicSeconds = 0;
    for (const EnsembleVoice& voice : voices) {
        notes += voice.Melody.Events().size();
        // Without the offsets, as the figures of earlier runs were counted.
        musicSeconds = std::max(musicSeconds, voice.Melody.EndMs() / 1000.0);
    }

    const auto start = std::chrono::steady_clock::now();
    WriteEnsembleWavFile((dir / "ensemble.wav").string(), voices);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);  // ru_maxrss in KiB on Linux
    std::printf("file %s\n", (dir / "ensemble.wav").string().c_str());
    std::printf(
        "case=%s voices=%zu notes=%zu music_s=%.0f render_s=%.3f x_realtime=%.0f "
        "cpu_s=%.3f peak_rss_mb=%.0f\n",
        dense ? "dense" : "regular", voices.size(), notes, musicSeconds, seconds,
        musicSeconds / seconds, Seconds(usage.ru_utime) + Seconds(usage.ru_stime),
        usage.ru_maxrss / 1024.0);
    return 0;
}
