// The tool's output devices and its WAV export, run as a program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/program.h"

namespace {
namespace fs = std::filesystem;

// No synthesizer (its SoundFont is missing) and no JACK server.
std::vector<std::string> WithoutOutputs(std::vector<std::string> env = {}) {
    const std::string tag = std::to_string(getpid());
    // Under the leak checker the JACK client's known leak is reported as suppressed; keep that
    // quiet.
    const char* lsan = std::getenv("LSAN_OPTIONS");
    env.push_back("LSAN_OPTIONS=" + std::string(lsan ? lsan : "") + ":print_suppressions=0");
    env.push_back("SONAVIX_SOUNDFONT=/nonexistent/sonavix-" + tag + ".sf2");
    env.push_back("JACK_DEFAULT_SERVER=sonavix-nowhere-" + tag);
    return env;
}

TEST(CliPorts, ListsNothingWithoutOutputsAndSaysWhenTheRequestMatchesNone) {
    struct stat info;
    if (stat("/dev/snd/seq", &info) == 0) GTEST_SKIP() << "this machine has an ALSA sequencer";
    const struct {
        std::vector<std::string> env;
        std::string err;
    } rows[] = {
        {{}, ""},
        {{"SONAVIX_MIDI_OUT=Nirgends"},
         "SONAVIX_MIDI_OUT=\"Nirgends\" passt zu keinem MIDI-Ausgang; es gibt keinen "
         "MIDI-Ausgang\n"},
        // Line breaks, escapes and direction marks are named, a long value is cut.
        {{"SONAVIX_MIDI_OUT=Nir\ngends\x1b[2J\u202E" + std::string(100000, 'x')},
         "SONAVIX_MIDI_OUT=\"Nir<U+000A>gends<U+001B>[2J<U+202E>" + std::string(66, 'x') +
             "…\" passt zu keinem MIDI-Ausgang; es gibt keinen MIDI-Ausgang\n"},
    };
    for (const auto& row : rows) {
        const ProgramResult r = RunProgram(SONAVIX_CLI, {"ports"}, WithoutOutputs(row.env));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, row.err);
    }
    EXPECT_EQ(RunProgram(SONAVIX_CLI, {"ports", "x"}).status, 2);
}

TEST(CliWav, OutWithWavEndingRendersTheMelody) {
    if (access("/usr/share/sounds/sf2/TimGM6mb.sf2", R_OK) != 0)
        GTEST_SKIP() << "no SoundFont (timgm6mb-soundfont)";
    const fs::path dir =
        fs::temp_directory_path() / ("sonavix-cli-wav-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "Melodie.WAV").string();
    // Two notes of 667 ms, then the 500 ms release tail: 1834 ms are 80879.4 frames.
    const ProgramResult r = RunProgram(SONAVIX_CLI, {"melody", "--list", "1, 2", "--out", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(fs::file_size(path), 44u + 4u * 80879u);
    fs::remove_all(dir);
}

TEST(CliAudio, QualityReachesTheEncoderForOneVoiceAndSeveral) {
    if (access("/usr/share/sounds/sf2/TimGM6mb.sf2", R_OK) != 0)
        GTEST_SKIP() << "no SoundFont (timgm6mb-soundfont)";
    const fs::path dir =
        fs::temp_directory_path() / ("sonavix-cli-audio-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string voice = (dir / "stimme.sonavix").string();
    ASSERT_EQ(RunProgram(SONAVIX_CLI, {"save", voice, "--list", "1, 2"}).status, 0);
    for (const std::vector<std::string>& source :
         {std::vector<std::string>{"--list", "1, 2"}, {"--setup", voice, "--setup", voice}}) {
        std::uintmax_t size[2] = {};
        for (int q = 0; q < 2; ++q) {
            const std::string path = (dir / ("q" + std::to_string(q) + ".mp3")).string();
            std::vector<std::string> args = {"melody", "--out", path, "--quality",
                                             std::to_string(q)};
            args.insert(args.begin() + 1, source.begin(), source.end());
            const ProgramResult r = RunProgram(SONAVIX_CLI, args);
            ASSERT_EQ(r.status, 0) << r.err;
            size[q] = fs::file_size(path);
        }
        // 32 and 320 kbit/s.
        EXPECT_GT(size[1], 8 * size[0]) << source[0];
    }
    fs::remove_all(dir);
}

}  // namespace
