// Renders 16 voices of 2000 notes of 125 ms each (250 s of music) mixed into
// one WAV file through the built-in synthesizer, each voice on its own channel
// and instrument, a 16th apart, and reports how much faster than real time.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "melodyfile/wavfile.h"
#include "playback/ensemble.h"

int main(int argc, char** argv) {
    constexpr int kNotes = 2000, kNoteMs = 125, kTempo = 120;
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
    const std::filesystem::path dir =
        argc > 1 ? std::filesystem::path(argv[1])
                 : std::filesystem::temp_directory_path() /
                       ("sonavix-bench-ensemble-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);

    const auto start = std::chrono::steady_clock::now();
    WriteEnsembleWavFile((dir / "ensemble.wav").string(), voices);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double musicSeconds = kNotes * kNoteMs / 1000.0;
    std::printf("file %s\n", (dir / "ensemble.wav").string().c_str());
    std::printf("voices=%d notes_per_voice=%d music_s=%.0f render_s=%.3f x_realtime=%.0f\n",
                kMaxEnsembleVoices, kNotes, musicSeconds, seconds, musicSeconds / seconds);
    return 0;
}
