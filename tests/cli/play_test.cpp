// --play through real MIDI: a JACK server with the dummy driver, the tool's
// melody played into jack_midi_dump, and the dumped bytes read back.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/run_program.h"
#include "support/jack_dump.h"

namespace {
using namespace std::chrono_literals;

// A JACK server of its own name with jack_midi_dump listening on it.
class JackDump : public ::testing::Test {
protected:
    void SetUp() override {
        jackd = FindOnPath("jackd");
        dumpTool = FindOnPath("jack_midi_dump");
        lsp = FindOnPath("jack_lsp");
        if (!jackd || !dumpTool || !lsp)
            GTEST_SKIP() << "jackd, jack_midi_dump or jack_lsp missing (package jackd2)";
        tag = "sonavix-cli-" + std::to_string(getpid());
        env = {"JACK_DEFAULT_SERVER=" + tag, "SONAVIX_MIDI_OUT=" + tag + "-dump:input"};
        server.emplace(
            *jackd,
            std::vector<std::string>{"-n", tag, "-r", "-d", "dummy", "-r", "48000", "-p", "256"},
            env);
        const auto giveUp = std::chrono::steady_clock::now() + 15s;
        while (std::chrono::steady_clock::now() < giveUp) {
            ASSERT_TRUE(server->Running()) << "jackd ended: " << server->Wait().err;
            const TProgramResult ports = RunProgram(*lsp, {}, env);
            if (ports.status == 0 && !dump)
                dump.emplace(*dumpTool, std::vector<std::string>{tag + "-dump"}, env);
            if (ports.out.find(tag + "-dump:input") != std::string::npos) return;
            std::this_thread::sleep_for(100ms);
        }
        FAIL() << "no port of jack_midi_dump within 15 s";
    }
    void TearDown() override {
        dump.reset();
        server.reset();
    }
    std::vector<Bytes> Dumped() {
        std::this_thread::sleep_for(300ms);  // the last messages on their way
        dump->Stop();
        return ParseDump(dump->Wait().out);
    }

    std::optional<std::string> jackd, dumpTool, lsp;
    std::string tag;
    std::vector<std::string> env;
    std::optional<TProgram> server, dump;
};

}  // namespace

TEST_F(JackDump, PlaySoundsTheMelodyOnDeviceZero) {
    // Keys 0 and 120 are rests; 40 and 44 sound as notes 48 and 52.
    const TProgramResult r =
        RunProgram(SONAVIX_CLI,
                   {"melody", "--list", "0, 1, 2, 3", "--note-map", "0,40,120,44", "--tempo", "220",
                    "--tempo-map", "4", "--instrument", "40", "--play"},
                   env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "0 68\n40 68\n120 68\n44 68\n");
    const std::vector<Bytes> expected = {{0xC0, 0x28},
                                         {0x90, 0x30, 0x6E},
                                         {0x80, 0x30, 0x6E},
                                         {0x90, 0x34, 0x6E},
                                         {0x80, 0x34, 0x6E}};
    EXPECT_EQ(Dumped(), expected);
}

TEST_F(JackDump, CtrlCStopsTheMelodyAndSilencesIt) {
    // Ten notes of 545 ms; Ctrl+C once the melody is printed.
    TProgram play(
        SONAVIX_CLI,
        {"melody", "--list", "0,1,2,3,4,5,6,7,8,9", "--tempo", "220", "--tempo-map", "1", "--play"},
        env);
    const auto giveUp = std::chrono::steady_clock::now() + 10s;
    while (play.OutputSoFar().empty() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(20ms);
    play.Signal(SIGINT);
    const auto started = std::chrono::steady_clock::now();
    const TProgramResult r = play.Wait();
    EXPECT_EQ(r.status, 130) << r.err;
    // The note sounding and at most the next one end the melody, not all ten.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    int sounding = 0, started_notes = 0;
    for (const Bytes& m : Dumped()) {
        if (m.size() == 3 && m[0] == 0x90) ++sounding, ++started_notes;
        if (m.size() == 3 && m[0] == 0x80) --sounding;
    }
    EXPECT_LE(started_notes, 2);
    EXPECT_EQ(sounding, 0) << "a note left sounding";
}

TEST(CliPlay, WithoutAnyMidiPortTheMelodyIsNotPlayed) {
    struct stat info;
    if (stat("/dev/snd/seq", &info) == 0) GTEST_SKIP() << "this machine has an ALSA sequencer";
    // Under the leak checker the JACK client's known leak is reported as suppressed; keep that
    // quiet.
    const char* lsan = std::getenv("LSAN_OPTIONS");
    const TProgramResult r =
        RunProgram(SONAVIX_CLI, {"melody", "--list", "1", "--play"},
                   {"JACK_DEFAULT_SERVER=sonavix-nowhere-" + std::to_string(getpid()),
                    "LSAN_OPTIONS=" + std::string(lsan ? lsan : "") + ":print_suppressions=0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "41 667\n");
    EXPECT_EQ(r.err,
              "MIDI-Gerät 0 lässt sich nicht öffnen: Listenindex überschreitet das Maximum (0)\n");
}
