// End to end through a real JACK server: the RtMidi service plays a short
// melody into jack_midi_dump, and the dumped bytes must be ours.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "midi/clock.h"
#include "midi/midi.h"
#include "midi/midi_out.h"
#include "midi/rtmidi_service.h"
#include "support/jack_dump.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

// A child process with its output in a file; stopped (TERM, then KILL) when
// it goes out of scope, whatever the test's outcome.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& outputFile) {
        std::vector<char*> args;
        for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() { Stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return pid_ > 0; }
    bool Running() {
        if (pid_ <= 0) return false;
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
        return pid_ > 0;
    }
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 60 && Running(); ++i) std::this_thread::sleep_for(50ms);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
};

// Sets an environment variable for this process and its children, restoring it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Gives the MIDI unit back its defaults before the server goes away.
struct MidiUnitReset {
    ~MidiUnitReset() {
        EndRhythm();
        SetMidiOutService(nullptr);
        SetMidiClock(nullptr);
    }
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool ServiceSeesPort(const std::string& port) {
    auto service = CreateRtMidiOutService(port);
    const uint32_t count = service->GetNumDevs();
    for (uint32_t id = 0; id < count; ++id) {
        MIDIOUTCAPSA caps{};
        if (service->GetDevCaps(id, caps, sizeof caps) == kMidiNoError &&
            std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname)).find(port) !=
                std::string::npos)
            return true;
    }
    return false;
}

TEST(RtMidiService, MissingSoundSystemsAreQuiet) {
    // No JACK server of this name, and here usually no ALSA sequencer either.
    ScopedEnv server("JACK_DEFAULT_SERVER", "sonavix-nowhere-" + std::to_string(getpid()));
    testing::internal::CaptureStderr();
    auto service = CreateRtMidiOutService("");
    const uint32_t count = service->GetNumDevs();
    MidiOutHandle handle = 0;
    const MidiResult result = service->Open(handle, count);
    if (result == kMidiNoError) service->Close(handle);
    const std::string noise = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, kMidiErrBadDeviceId);
    EXPECT_EQ(noise, "");
    char text[128];
    ASSERT_EQ(service->GetErrorText(result, text, sizeof text), kMidiNoError);
    EXPECT_STREQ(text, "Diesen MIDI-Ausgang gibt es nicht");
}

TEST(JackEndToEnd, MelodyArrivesAtJackMidiDump) {
    const auto jackd = FindOnPath("jackd");
    if (!jackd)
        GTEST_SKIP() << "jackd is not installed (package jackd2); no JACK server to play into";
    if (!FindOnPath("jack_midi_dump"))
        GTEST_SKIP() << "jack_midi_dump is not installed (package jackd2)";

    const std::string tag = "sonavix-e2e-" + std::to_string(getpid());
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / tag;
    std::filesystem::create_directories(dir);
    struct RemoveDir {
        std::filesystem::path dir;
        ~RemoveDir() {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    } removeDir{dir};
    const std::string jackLog = (dir / "jackd.log").string();
    const std::string dumpFile = (dir / "dump.txt").string();

    ScopedEnv server("JACK_DEFAULT_SERVER", tag);
    ScopedEnv port("SONAVIX_MIDI_OUT", tag + "-dump:input");
    Child jack({*jackd, "-n", tag, "-r", "-d", "dummy", "-r", "48000", "-p", "256"}, jackLog);
    ASSERT_TRUE(jack.Started());
    std::optional<Child> dump;
    MidiUnitReset reset;

    // Up when the dump's input port is listed; bounded, and watching jackd.
    const auto giveUp = std::chrono::steady_clock::now() + 15s;
    bool ready = false;
    while (!ready && std::chrono::steady_clock::now() < giveUp) {
        ASSERT_TRUE(jack.Running()) << "jackd ended:\n" << ReadFile(jackLog);
        if (!dump) {
            if (system(("jack_lsp -s " + tag + " >/dev/null 2>&1").c_str()) == 0)
                dump.emplace(std::vector<std::string>{"jack_midi_dump", tag + "-dump"}, dumpFile);
        } else {
            ready = ServiceSeesPort(tag + "-dump:input");
        }
        if (!ready) std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(ready) << "no JACK MIDI port of jack_midi_dump within 15 s\n" << ReadFile(jackLog);

    SetMidiOutService(CreateDefaultMidiOutService());
    SetMidiClock(nullptr);
    InitMidiOut();
    EXPECT_EQ(MidiOutputDevices().Names().front(), tag + "-dump:input");
    SelectInstrument(40);
    BeginRhythm();
    PlayNote(40, 40);
    PlayNote(0, 20);
    PlayNote(120, 20);
    PlayNote(44, 40);
    PlayNote(47, 40);
    EndRhythm();
    ReleaseMidiOut();  // lets the queued messages out and closes the port

    std::this_thread::sleep_for(300ms);
    dump->Stop();
    const std::vector<Bytes> expected = {{0xC0, 0x28},       {0x90, 0x30, 0x6E}, {0x80, 0x30, 0x6E},
                                         {0x90, 0x34, 0x6E}, {0x80, 0x34, 0x6E}, {0x90, 0x37, 0x6E},
                                         {0x80, 0x37, 0x6E}};
    const std::string dumped = ReadFile(dumpFile);
    EXPECT_EQ(ParseDump(dumped), expected) << dumped;
}

}  // namespace
