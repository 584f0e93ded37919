// Heard as a desktop hears it: a private PulseAudio server whose null sink
// stands in for the speakers, parec recording the sink's monitor, and
// `sonavix-cli --play` with no port configured. The recording must carry the
// played note's pitch.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/jack_server.h"
#include "support/pitch.h"
#include "support/program.h"

namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

class PulseAudioEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        pulseaudio = FindOnPath("pulseaudio");
        parec = FindOnPath("parec");
        pactl = FindOnPath("pactl");
        if (!pulseaudio || !parec || !pactl)
            GTEST_SKIP()
                << "pulseaudio, parec or pactl missing (packages pulseaudio, pulseaudio-utils)";
        if (access("/usr/share/sounds/sf2/TimGM6mb.sf2", R_OK) != 0)
            GTEST_SKIP() << "no SoundFont (timgm6mb-soundfont)";

        const std::string tag = "sonavix-pulse-" + std::to_string(getpid());
        dir = fs::temp_directory_path() / tag;
        fs::create_directories(dir / "run");
        fs::create_directories(dir / "home");
        fs::permissions(dir / "run", fs::perms::owner_all, fs::perm_options::replace);
        const std::string socket = (dir / "run" / "pulse" / "native").string();
        // Everything private to this test: its server, its cookie, no JACK, no chosen port;
        // and under the leak checker, no report of the JACK client's known leak.
        const char* lsan = std::getenv("LSAN_OPTIONS");
        env = {"LSAN_OPTIONS=" + std::string(lsan ? lsan : "") + ":print_suppressions=0",
               "XDG_RUNTIME_DIR=" + (dir / "run").string(),
               "HOME=" + (dir / "home").string(),
               "PULSE_SERVER=unix:" + socket,
               "JACK_DEFAULT_SERVER=" + tag,
               "SONAVIX_MIDI_OUT=",
               "SONAVIX_SOUNDFONT="};

        server.emplace(
            *pulseaudio,
            std::vector<std::string>{"-n", "--daemonize=no", "--exit-idle-time=-1",
                                     "--use-pid-file=no", "-L", "module-native-protocol-unix", "-L",
                                     "module-null-sink sink_name=speakers rate=44100"},
            env);
        const auto giveUp = std::chrono::steady_clock::now() + 15s;
        while (RunProgram(*pactl, {"info"}, env).status != 0) {
            ASSERT_TRUE(server->Running()) << "pulseaudio ended: " << server->Wait().err;
            ASSERT_LT(std::chrono::steady_clock::now(), giveUp)
                << "no PulseAudio server within 15 s";
            std::this_thread::sleep_for(100ms);
        }
    }
    void TearDown() override {
        server.reset();
        std::error_code ignored;
        if (!dir.empty()) fs::remove_all(dir, ignored);
    }

    std::optional<std::string> pulseaudio, parec, pactl;
    fs::path dir;
    std::vector<std::string> env;
    std::optional<ChildProgram> server;
};

TEST_F(PulseAudioEndToEnd, PlayWithoutAPortIsHeardThroughTheSynthesizer) {
    ChildProgram recorder(*parec,
                          {"-d", "speakers.monitor", "--raw", "--format=s16le", "--rate=44100",
                           "--channels=1", "--latency-msec=20"},
                          env);
    const auto giveUp = std::chrono::steady_clock::now() + 10s;
    while (RunProgram(*pactl, {"list", "short", "source-outputs"}, env).out.empty()) {
        ASSERT_TRUE(recorder.Running()) << "parec ended: " << recorder.Wait().err;
        ASSERT_LT(std::chrono::steady_clock::now(), giveUp) << "parec did not start recording";
        std::this_thread::sleep_for(50ms);
    }

    // Key 49 (MIDI note 57, 220 Hz), one note of 3 s.
    const ProgramResult play =
        RunProgram(SONAVIX_CLI,
                   {"melody", "--list", "1", "--note-map", "0,49", "--tempo", "20", "--play"}, env);
    EXPECT_EQ(play.status, 0) << play.err;
    EXPECT_EQ(play.err, "");
    EXPECT_EQ(play.out, "49 3000\n");
    std::this_thread::sleep_for(300ms);
    recorder.Signal(SIGINT);  // parec writes out what it has and ends
    const std::string raw = recorder.Wait().out;

    std::vector<int16_t> samples(raw.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(uint8_t(raw[2 * i]) | uint8_t(raw[2 * i + 1]) << 8);
    // Half a second of the note, from just after its attack (the loudest sample).
    const int64_t window = 44100 / 2;
    int64_t attack = 0;
    for (int64_t i = 0; i < static_cast<int64_t>(samples.size()); ++i)
        if (std::abs(int{samples[i]}) > std::abs(int{samples[attack]})) attack = i;
    const int64_t from = attack + 44100 / 20;
    ASSERT_GE(static_cast<int64_t>(samples.size()), from + window)
        << "hardly anything recorded: " << samples.size() << " samples";
    double energy = 0;
    for (int64_t i = from; i < from + window; ++i) energy += double(samples[i]) * samples[i];
    const double rms = std::sqrt(energy / window);
    ASSERT_GT(rms, 100) << "the sink heard silence";
    // The median of quarter seconds: on a loaded machine the server may drop a
    // moment of the stream, which smears the spectrum of the quarter it falls in.
    std::vector<int> heard;
    for (int64_t at = from;
         at + window / 2 <= static_cast<int64_t>(samples.size()) && heard.size() < 5;
         at += window / 2)
        heard.push_back(DominantFrequency(samples, at, at + window / 2));
    std::sort(heard.begin(), heard.end());
    const int hz = heard[heard.size() / 2];
    std::cout << "[ MEASURED ] heard " << hz << " Hz (median of " << heard.size()
              << " quarter seconds) at RMS " << rms << " in " << samples.size() / 44.1
              << " ms recorded\n";
    EXPECT_NEAR(hz, 220, 4);
}

TEST_F(PulseAudioEndToEnd, AServerKilledMidMelodyEndsThePlayWithAMessage) {
    ChildProgram play(
        SONAVIX_CLI,
        {"melody", "--list", "1,2,3,4,5,6,7,8,9", "--tempo", "220", "--tempo-map", "1", "--play"},
        env);
    // Playing once the synthesizer's stream is on the server (bounded).
    const auto giveUp = std::chrono::steady_clock::now() + 10s;
    while (play.Running() &&
           RunProgram(*pactl, {"list", "short", "sink-inputs"}, env).out.empty()) {
        ASSERT_LT(std::chrono::steady_clock::now(), giveUp) << "no stream on the server";
        std::this_thread::sleep_for(50ms);
    }
    std::this_thread::sleep_for(500ms);
    server->Signal(SIGKILL);
    const auto killed = std::chrono::steady_clock::now();
    const ProgramResult r = play.Wait();
    EXPECT_LT(std::chrono::steady_clock::now() - killed, 2s);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Die Klangausgabe ist verloren gegangen: die Verbindung zu PulseAudio ist "
              "abgebrochen.\n");
}

}  // namespace
