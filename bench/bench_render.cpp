// Renders 2000 notes of 125 ms (250 s of music) to a WAV file through the
// built-in synthesizer, and writes the same melody as a MIDI file for a
// comparison with FluidSynth's own file renderer:
//   fluidsynth -ni -F out.wav -r 44100 /usr/share/sounds/sf2/TimGM6mb.sf2 <the .mid>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "melodyfile/midifile.h"
#include "melodyfile/wavfile.h"

int main(int argc, char** argv) {
    constexpr int kNotes = 2000, kNoteMs = 125, kTempo = 120;
    // Keys up and down over four octaves, every eleventh a rest.
    std::vector<MelodyNote> melody;
    melody.reserve(kNotes);
    for (int i = 0; i < kNotes; ++i)
        melody.push_back({i % 11 == 10 ? 0 : 28 + (i * 7) % 48, kNoteMs});

    const std::filesystem::path dir =
        argc > 1 ? std::filesystem::path(argv[1])
                 : std::filesystem::temp_directory_path() /
                       ("sonavix-bench-render-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::vector<uint8_t> midi = MidiFileBytes(melody, kTempo, 0);
    std::ofstream((dir / "melody.mid").string(), std::ios::binary)
        .write(reinterpret_cast<const char*>(midi.data()),
               static_cast<std::streamsize>(midi.size()));

    const auto start = std::chrono::steady_clock::now();
    WriteWavFile((dir / "melody.wav").string(), melody, 0);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double musicSeconds = kNotes * kNoteMs / 1000.0;
    std::printf("files in %s (melody.mid, melody.wav)\n", dir.string().c_str());
    std::printf("notes=%d music_s=%.0f render_s=%.3f x_realtime=%.0f\n", kNotes, musicSeconds,
                seconds, musicSeconds / seconds);
    return 0;
}
