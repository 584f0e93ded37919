// The built-in synthesizer as a MIDI device, and the port list that puts the
// chosen port first.
#include "midi/synth.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/errors.h"
#include "midi/clock.h"
#include "midi/fluid.h"
#include "midi/midi.h"
#include "midi/midi_out.h"
#include "midi/port_list.h"
#include "midi/recording_service.h"

namespace {
using Bytes = std::vector<uint8_t>;

const char* const kSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// The synthesizer calls as text, one a call.
class RecordedCalls : public ISynthCalls {
public:
    std::vector<std::string> calls;
    void NoteOn(int c, int k, int v) override { Add("on", {c, k, v}); }
    void NoteOff(int c, int k) override { Add("off", {c, k}); }
    void ProgramChange(int c, int p) override { Add("program", {c, p}); }
    void ControlChange(int c, int n, int v) override { Add("cc", {c, n, v}); }
    void KeyPressure(int c, int k, int v) override { Add("keypressure", {c, k, v}); }
    void ChannelPressure(int c, int v) override { Add("pressure", {c, v}); }
    void PitchBend(int c, int v) override { Add("bend", {c, v}); }
    void SystemReset() override { Add("reset", {}); }

private:
    void Add(std::string text, std::initializer_list<int> args) {
        for (int arg : args) text += " " + std::to_string(arg);
        calls.push_back(text);
    }
};

std::vector<std::string> DeviceNames(IMidiOutService& service) {
    std::vector<std::string> names;
    const uint32_t count = service.GetNumDevs();
    for (uint32_t id = 0; id < count; ++id) {
        MIDIOUTCAPSA caps{};
        EXPECT_EQ(service.GetDevCaps(id, caps, sizeof caps), kMidiNoError);
        names.emplace_back(caps.szPname);
    }
    return names;
}

TEST(SynthCalls, ByteMessagesBecomeTheSynthesizersCalls) {
    const struct {
        Bytes bytes;
        const char* call;  // nullptr: refused
    } rows[] = {
        {{0x90, 57, 110}, "on 0 57 110"},
        {{0x9F, 60, 1}, "on 15 60 1"},
        {{0x90, 57, 0}, "off 0 57"},
        {{0x80, 57, 110}, "off 0 57"},
        {{0xC3, 40}, "program 3 40"},
        {{0xB0, 7, 100}, "cc 0 7 100"},
        {{0xA1, 60, 5}, "keypressure 1 60 5"},
        {{0xD2, 9}, "pressure 2 9"},
        {{0xE0, 0x7F, 0x40}, "bend 0 8319"},
        {{0xFF}, "reset"},
        {{0x90, 128, 110}, nullptr},
        {{0x90, 57}, nullptr},
        {{0xF8}, nullptr},
        {{0xF0, 1, 0xF7}, nullptr},
    };
    for (const auto& row : rows) {
        RecordedCalls synth;
        const bool taken = SendToSynth(synth, row.bytes.data(), row.bytes.size());
        EXPECT_EQ(taken, row.call != nullptr) << testing::PrintToString(row.bytes);
        EXPECT_EQ(synth.calls,
                  row.call ? std::vector<std::string>{row.call} : std::vector<std::string>{});
    }
}

TEST(SynthCalls, TheMidiUnitPlaysThroughTheSynthesizerAsThroughAPort) {
    auto calls = std::make_shared<RecordedCalls>();
    VirtualClock clock;
    MidiUnit midi(CreateSynthMidiOutService(calls), &clock);
    midi.InitMidiOut();
    EXPECT_EQ(midi.Devices().Names(), std::vector<std::string>{"Sonavix Synthesizer"});
    midi.SelectInstrument(40);
    midi.PlayNote(49, 500);
    midi.PlayNote(0, 500);
    midi.PlayNote(50, 500);
    midi.ReleaseMidiOut();
    EXPECT_EQ(calls->calls, (std::vector<std::string>{"program 0 40", "on 0 57 110", "off 0 57",
                                                      "on 0 58 110", "off 0 58"}));
}

// The device list with the synthesizer on FluidSynth's file driver (no sound
// card) in front of one fake port.
TEST(SynthDevice, ListedOnlyWithASoundFontAndAnAudioOutput) {
    if (access(kSoundFont, R_OK) != 0)
        GTEST_SKIP() << kSoundFont << " missing (timgm6mb-soundfont)";
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("sonavix-synth-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string garbage = (dir / "garbage.sf2").string();
    const std::string truncated = (dir / "truncated.sf2").string();
    std::ofstream(garbage) << "no SoundFont at all";
    {
        std::ifstream in(kSoundFont, std::ios::binary);
        std::vector<char> head(4096);
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        std::ofstream(truncated, std::ios::binary).write(head.data(), in.gcount());
    }
    const struct {
        std::string soundFont;
        std::vector<std::string> drivers;
        bool listed;
        const char* playError;  // when listed: the error of the first note, or nullptr
    } rows[] = {
        {kSoundFont, {"file"}, true, nullptr},
        {kSoundFont, {"no-such-driver", "file"}, true, nullptr},
        {kSoundFont, {}, false, nullptr},
        {(dir / "missing.sf2").string(), {"file"}, false, nullptr},
        {garbage, {"file"}, false, nullptr},
        // The header passes the quick check, the samples do not load: the next
        // device plays, and the notice says why.
        {truncated, {"file"}, false, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.soundFont + " / " + std::to_string(row.drivers.size()) + " drivers");
        const auto started = std::chrono::steady_clock::now();
        testing::internal::CaptureStderr();
        {
            auto ports = std::make_shared<MidiOutPorts>(
                std::vector<std::shared_ptr<IMidiOutService>>{
                    CreateSynthMidiOutService(SynthSetup{row.soundFont, row.drivers}),
                    std::make_shared<RecordingMidiService>(std::vector<std::string>{"Port A"})},
                "");
            const std::vector<std::string> expected =
                row.listed ? std::vector<std::string>{"Sonavix Synthesizer", "Port A"}
                           : std::vector<std::string>{"Port A"};
            EXPECT_EQ(DeviceNames(*ports), expected);
            {
                MidiUnit unit(ports);
                EXPECT_EQ(MidiOutRequestNotice(unit),
                          row.soundFont == truncated
                              ? "Die SoundFont \"" + truncated +
                                    "\" lässt sich nicht laden; es spielt \"Port A\""
                              : "");
            }
            if (row.listed) {
                MidiUnit midi(ports);
                midi.InitMidiOut();
                try {
                    midi.PlayNote(49, 10);
                    EXPECT_EQ(row.playError, nullptr);
                } catch (const EJclMIDIError& error) {
                    ASSERT_NE(row.playError, nullptr) << error.Message();
                    EXPECT_NE(error.Message().find(row.playError), std::string::npos)
                        << error.Message();
                }
            }
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    }
    std::filesystem::remove_all(dir);
}

TEST(SynthDevice, AnAudioSystemThatNeverAnswersIsGivenUpWhenAsked) {
    if (access(kSoundFont, R_OK) != 0)
        GTEST_SKIP() << kSoundFont << " missing (timgm6mb-soundfont)";
    // A PulseAudio socket that takes the connection and says nothing.
    const std::string path = std::filesystem::temp_directory_path() /
                             ("sonavix-silent-" + std::to_string(getpid()) + ".sock");
    const int server = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    unlink(path.c_str());
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(server, 8), 0);
    setenv("PULSE_SERVER", ("unix:" + path).c_str(), 1);

    auto ports = std::make_shared<MidiOutPorts>(
        std::vector<std::shared_ptr<IMidiOutService>>{
            CreateSynthMidiOutService(SynthSetup{kSoundFont, {"pulseaudio"}}),
            std::make_shared<RecordingMidiService>(std::vector<std::string>{"Port A"})},
        "");
    EXPECT_FALSE(ports->DevicesDecided());
    std::thread awaiting([&] { ports->AwaitDevices(); });
    // Long enough for the SoundFont to load, well short of the service's own limit.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const auto stopped = std::chrono::steady_clock::now();
    ports->StopAwaiting();
    awaiting.join();
    EXPECT_TRUE(ports->DevicesDecided());
    MidiUnit unit(ports);
    EXPECT_EQ(MidiOutRequestNotice(unit),
              "Der Synthesizer ist nicht verfügbar: das Audiosystem antwortet nicht; es spielt "
              "\"Port A\"");
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::milliseconds(500));
    unsetenv("PULSE_SERVER");
    close(server);
    unlink(path.c_str());
}

// An error text fits its buffer whole and readable: a long path gives way, from
// its front, and no character is cut.
TEST(SynthErrors, LoadFailureFitsTheErrorTextBuffer) {
    const std::string suffix = "\" lässt sich nicht laden";
    const struct {
        std::string path, shown;
    } rows[] = {
        {"/a/b.sf2", "/a/b.sf2"},
        {"/" + std::string(100, 'x') + "/klänge.sf2", "…" + std::string(72, 'x') + "/klänge.sf2"},
        {"/n\n\u202Eä" + std::string(200, 'x'), "…" + std::string(84, 'x')},
    };
    for (const auto& row : rows) {
        const std::string text = SoundFontLoadFailure(row.path);
        EXPECT_EQ(text, "Die SoundFont \"" + row.shown + suffix);
        EXPECT_LE(text.size(), MAXERRORLENGTH - 1);
    }
    // A text longer than the buffer is cut before a character, not inside it.
    char buffer[MAXERRORLENGTH];
    std::string umlauts;
    for (int i = 0; i < 100; ++i) umlauts += "ä";
    ASSERT_EQ(CopyErrorText("x" + umlauts, buffer, sizeof buffer), kMidiNoError);
    EXPECT_EQ(std::string(buffer), "x" + umlauts.substr(0, 126));
}

TEST(MidiOutPorts, TheRequestedOrChosenPortBecomesDeviceZero) {
    const struct {
        const char* requested;
        const char* remembered;
        std::vector<std::string> order;
        const char* unmatched;
    } rows[] = {
        {"", "", {"Synth", "Midi Through", "USB Keys"}, ""},
        {"usb", "", {"USB Keys", "Synth", "Midi Through"}, ""},
        {"THROUGH", "USB Keys", {"Midi Through", "Synth", "USB Keys"}, ""},
        // A remembered port must match whole.
        {"", "USB", {"Synth", "Midi Through", "USB Keys"}, ""},
        {"nowhere", "USB Keys", {"USB Keys", "Synth", "Midi Through"}, "nowhere"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.requested) + " / " + row.remembered);
        MidiOutPorts ports(
            {std::make_shared<RecordingMidiService>(std::vector<std::string>{"Synth"}),
             std::make_shared<RecordingMidiService>(
                 std::vector<std::string>{"Midi Through", "USB Keys"})},
            row.requested);
        ports.Remember(row.remembered);
        EXPECT_EQ(DeviceNames(ports), row.order);
        EXPECT_EQ(ports.UnmatchedRequest(), row.unmatched);
    }
}

TEST(MidiOutPorts, MessagesReachTheBackEndOfTheDevice) {
    auto first = std::make_shared<RecordingMidiService>(std::vector<std::string>{"A0", "A1"});
    auto second = std::make_shared<RecordingMidiService>(std::vector<std::string>{"B0", "B1"});
    MidiOutPorts ports({first, second}, "b1");
    ASSERT_EQ(DeviceNames(ports), (std::vector<std::string>{"B1", "A0", "A1", "B0"}));
    MidiOutHandle b1 = 0, a1 = 0;
    uint32_t id = 99;
    ASSERT_EQ(ports.Open(b1, 0) | ports.Open(a1, 2) | ports.GetID(a1, id), kMidiNoError);
    EXPECT_EQ(id, 2u);
    EXPECT_EQ(ports.ShortMsg(b1, 0x6E3990) | ports.ShortMsg(a1, 0x28C0), kMidiNoError);
    ASSERT_EQ(second->Messages().size() + first->Messages().size(), 2u);
    EXPECT_EQ(second->Messages()[0].device, 1u);
    EXPECT_EQ(first->Messages()[0].device, 1u);
    // A failure is explained by the back end that failed.
    first->FailShortMsg(kMidiErrGeneral);
    first->SetErrorText(kMidiErrGeneral, "A is broken");
    EXPECT_EQ(MidiOutErrorText(ports, ports.ShortMsg(a1, 0x28C0)), "A is broken");
    EXPECT_EQ(ports.Close(b1) | ports.Close(a1), kMidiNoError);
    EXPECT_EQ(first->OpenHandleCount() + second->OpenHandleCount(), 0);
}

}  // namespace
