// Renders 2000 notes of 125 ms (250 s of music) to a WAV file through the
// built-in synthesizer, and writes the same melody as a MIDI file for a
// comparison with FluidSynth's own file renderer:
//   fluidsynth -ni -F out.wav -r 44100 /usr/share/sounds/sf2/TimGM6mb.sf2 <the .mid>
// Then renders it once more with velocity and pan changing on every note, as
// maps of four and three rows give them (expressive.wav, expressive.mid).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
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

    const double musicSeconds = kNotes * kNoteMs / 1000.0;
    const auto render = [&](const std::vector<MelodyNote>& notes, const std::string& name) {
        const auto start = std::chrono::steady_clock::now();
        WriteWavFile((dir / (name + ".wav")).string(), notes, 0);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%s notes=%d music_s=%.0f render_s=%.3f x_realtime=%.0f\n", name.c_str(),
                    kNotes, musicSeconds, seconds, musicSeconds / seconds);
    };
    std::printf("files in %s (melody.mid, melody.wav, expressive.mid, expressive.wav)\n",
                dir.string().c_str());
    render(melody, "melody");

    std::vector<MelodyNote> expressive = melody;
    constexpr uint8_t kVelocities[] = {40, 70, 100, 127};
    constexpr int8_t kPans[] = {-64, 0, 63};
    for (size_t i = 0; i < expressive.size(); ++i) {
        expressive[i].Velocity = kVelocities[i % 4];
        expressive[i].Pan = kPans[i % 3];
    }
    const std::vector<uint8_t> expressiveMidi = MidiFileBytes(expressive, kTempo, 0);
    std::ofstream((dir / "expressive.mid").string(), std::ios::binary)
        .write(reinterpret_cast<const char*>(expressiveMidi.data()),
               static_cast<std::streamsize>(expressiveMidi.size()));
    render(expressive, "expressive");
    return 0;
}
