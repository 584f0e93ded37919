// --play through real MIDI: a JACK server with the dummy driver, the tool's
// melody played into jack_midi_dump, and the dumped bytes read back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/jack_server.h"
#include "support/program.h"

namespace {
using namespace std::chrono_literals;

class JackDump : public JackDumpTest {
protected:
    // Starts the tool on a melody and waits until its first note sounds.
    std::unique_ptr<ChildProgram> StartPlaying(std::vector<std::string> args) {
        args.insert(args.begin(), "melody");
        args.push_back("--play");
        auto play = std::make_unique<ChildProgram>(SONAVIX_CLI, args, env);
        // Playing once the first note reached the dump (bounded).
        const auto giveUp = std::chrono::steady_clock::now() + 10s;
        while (play->Running() && CountNotes(ParseDump(dump->OutputSoFar())).started == 0 &&
               std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(20ms);
        return play;
    }
    // After the Ctrl+C: the tool ends with 130 within 2 s; what it sounded.
    SoundingNotes EndedByCtrlC(ChildProgram& play) {
        const auto started = std::chrono::steady_clock::now();
        const ProgramResult r = play.Wait();
        EXPECT_EQ(r.status, 130) << r.err;
        EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
        return CountNotes(Dumped());
    }
};

}  // namespace

TEST_F(JackDump, PlaySoundsTheMelodyOnDeviceZero) {
    // Keys 0 and 120 are rests; 40 and 44 sound as notes 48 and 52.
    const ProgramResult r =
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
    // Ten notes of 545 ms: the note sounding and at most the next one end it.
    const auto play =
        StartPlaying({"--list", "0,1,2,3,4,5,6,7,8,9", "--tempo", "220", "--tempo-map", "1"});
    play->Signal(SIGINT);
    const SoundingNotes notes = EndedByCtrlC(*play);
    EXPECT_LE(notes.started, 2);
    EXPECT_EQ(notes.sounding, 0) << "a note left sounding";
}

TEST_F(JackDump, ASecondCtrlCEndsALongNoteAtOnceButSilencesItFirst) {
    // A whole note of 12 s, which the first press lets play to its end.
    const auto play = StartPlaying({"--list", "1,2", "--tempo", "20", "--tempo-map", "0"});
    std::this_thread::sleep_for(300ms);
    play->Signal(SIGINT);
    std::this_thread::sleep_for(200ms);
    play->Signal(SIGINT);
    const SoundingNotes notes = EndedByCtrlC(*play);
    EXPECT_EQ(notes.started, 1);
    EXPECT_EQ(notes.sounding, 0) << "the note left sounding";
}

TEST_F(JackDump, TermHupAndPipeSilenceTheNoteAndEndWith128PlusTheSignal) {
    int runs = 0;
    for (const int signal : {SIGTERM, SIGHUP, SIGPIPE}) {
        SCOPED_TRACE(signal);
        // A whole note of 12 s each time, ended at once; the dump goes on across the runs.
        ChildProgram play(
            SONAVIX_CLI, {"melody", "--list", "1,2", "--tempo", "20", "--tempo-map", "0", "--play"},
            env);
        ++runs;
        const auto giveUp = std::chrono::steady_clock::now() + 10s;
        while (play.Running() && CountNotes(ParseDump(dump->OutputSoFar())).started < runs &&
               std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(20ms);
        play.Signal(signal);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(play.Wait().status, 128 + signal);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
        std::this_thread::sleep_for(300ms);  // the last messages
        const SoundingNotes notes = CountNotes(ParseDump(dump->OutputSoFar()));
        EXPECT_EQ(notes.started, runs);
        EXPECT_EQ(notes.sounding, 0) << "the note left sounding";
    }
}

TEST_F(JackDump, AServerThatStopsMidMelodyEndsThePlayWithAMessage) {
    const auto play =
        StartPlaying({"--list", "0,1,2,3,4,5,6,7,8,9", "--tempo", "220", "--tempo-map", "1"});
    server->Stop();
    const auto stopped = std::chrono::steady_clock::now();
    const ProgramResult r = play->Wait();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 3s);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Die Klangausgabe ist verloren gegangen: die Verbindung zum JACK-Server ist "
              "abgebrochen.\n");
}

TEST(CliPlay, WithoutAnyMidiPortTheMelodyIsNotPlayed) {
    struct stat info;
    if (stat("/dev/snd/seq", &info) == 0) GTEST_SKIP() << "this machine has an ALSA sequencer";
    // Under the leak checker the JACK client's known leak is reported as suppressed; keep that
    // quiet.
    const char* lsan = std::getenv("LSAN_OPTIONS");
    const ProgramResult r =
        RunProgram(SONAVIX_CLI, {"melody", "--list", "1", "--play"},
                   {"JACK_DEFAULT_SERVER=sonavix-nowhere-" + std::to_string(getpid()),
                    // and no built-in synthesizer, which a sound server would let open
                    "SONAVIX_SOUNDFONT=/nonexistent/sonavix.sf2",
                    "LSAN_OPTIONS=" + std::string(lsan ? lsan : "") + ":print_suppressions=0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "41 667\n");
    EXPECT_EQ(r.err,
              "MIDI-Gerät 0 lässt sich nicht öffnen: Listenindex überschreitet das Maximum (0)\n");
}

TEST_F(JackDump, TwoVoicesSoundOnTheirOwnChannels) {
    const std::string dir = ::testing::TempDir(), pid = std::to_string(getpid());
    const std::string first = dir + "sonavix-e2e-a-" + pid + ".sonavix",
                      second = dir + "sonavix-e2e-b-" + pid + ".sonavix";
    // Eighths of keys 41 and 42 on a violin; key 43 a quarter long, an eighth later.
    ASSERT_EQ(RunProgram(SONAVIX_CLI, {"save", first, "--list", "1, 2", "--tempo", "220",
                                       "--tempo-map", "3", "--instrument", "40"})
                  .status,
              0);
    ASSERT_EQ(RunProgram(SONAVIX_CLI,
                         {"save", second, "--list", "3", "--tempo", "220", "--tempo-map", "2"})
                  .status,
              0);
    const ProgramResult r = RunProgram(
        SONAVIX_CLI, {"melody", "--setup", first, "--setup", second, "--offset", "0,125", "--play"},
        env);
    std::remove(first.c_str());
    std::remove(second.c_str());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<Bytes> expected = {{0xC0, 0x28},       {0xC1, 0x00},       {0x90, 0x31, 0x6E},
                                         {0x80, 0x31, 0x6E}, {0x90, 0x32, 0x6E}, {0x91, 0x33, 0x6E},
                                         {0x80, 0x32, 0x6E}, {0x81, 0x33, 0x6E}};
    EXPECT_EQ(Dumped(), expected);
}
