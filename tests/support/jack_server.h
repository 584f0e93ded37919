#pragma once
// The end-to-end tests' MIDI destination: a JACK server of its own name on the
// dummy driver, with jack_midi_dump listening on it. A test derives from
// JackDumpTest; it is skipped where jackd2 is not installed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/program.h"

using Bytes = std::vector<uint8_t>;

// The full path of a program on PATH, if it is installed.
inline std::optional<std::string> FindOnPath(const std::string& program) {
    std::stringstream dirs(std::getenv("PATH") ? std::getenv("PATH") : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

// jack_midi_dump writes "   <time>: 90 30 6e note on (...)": the hex pairs
// after the colon are the message.
inline std::vector<Bytes> ParseDump(const std::string& text) {
    std::vector<Bytes> messages;
    std::stringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::stringstream tokens(line.substr(colon + 1));
        std::string token;
        Bytes bytes;
        while (tokens >> token && token.size() == 2 && std::isxdigit(uint8_t(token[0])) &&
               std::isxdigit(uint8_t(token[1])))
            bytes.push_back(static_cast<uint8_t>(std::stoul(token, nullptr, 16)));
        if (!bytes.empty()) messages.push_back(bytes);
    }
    return messages;
}

// Notes started and notes still sounding at the end of a dump; Control Change
// 123 (All Notes Off) silences its channel.
struct SoundingNotes {
    int started = 0;
    int sounding = 0;
};
inline SoundingNotes CountNotes(const std::vector<Bytes>& messages) {
    SoundingNotes count;
    std::vector<int> on(size_t{16} * 128, 0);
    for (const Bytes& m : messages) {
        if (m.size() != 3) continue;
        const int channel = m[0] & 0x0F, kind = m[0] & 0xF0;
        if (kind == 0x90 && m[2] > 0) ++count.started, ++on[channel * 128 + m[1]];
        if ((kind == 0x80 || (kind == 0x90 && m[2] == 0)) && on[channel * 128 + m[1]] > 0)
            --on[channel * 128 + m[1]];
        if (kind == 0xB0 && m[1] == 123)
            for (int note = 0; note < 128; ++note) on[channel * 128 + note] = 0;
    }
    for (const int n : on) count.sounding += n;
    return count;
}

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
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// JACK's registry holds at most eight servers, and a server that ends without
// cleaning up (killed, or crashed on its way out) keeps its entry until a
// server of the same name starts. So the tests' servers take their names from
// eight slots, each locked for a test's life: a stale entry is then always one
// of these names, and the next server of its slot reclaims it.
class JackServerSlot {
public:
    static constexpr int kSlots = 8;
    JackServerSlot() {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < giveUp) {
            for (int slot = 0; slot < kSlots; ++slot) {
                const std::string lock = "/tmp/sonavix-e2e-jack-" + std::to_string(getuid()) + "-" +
                                         std::to_string(slot) + ".lock";
                const int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
                if (fd < 0) continue;
                if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
                    fd_ = fd;
                    name_ = "sonavix-e2e-" + std::to_string(slot);
                    return;
                }
                close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }
    ~JackServerSlot() {
        if (fd_ >= 0) close(fd_);
    }
    JackServerSlot(const JackServerSlot&) = delete;
    JackServerSlot& operator=(const JackServerSlot&) = delete;
    // Empty when every slot stayed taken.
    const std::string& Name() const { return name_; }

private:
    int fd_ = -1;  // holds the slot's lock
    std::string name_;
};

class JackDumpTest : public ::testing::Test {
protected:
    void SetUp() override {
        using namespace std::chrono_literals;
        const auto jackd = FindOnPath("jackd");
        const auto dumpTool = FindOnPath("jack_midi_dump");
        const auto lsp = FindOnPath("jack_lsp");
        if (!jackd || !dumpTool || !lsp)
            GTEST_SKIP() << "jackd, jack_midi_dump or jack_lsp missing (package jackd2)";
        slot.emplace();
        ASSERT_FALSE(slot->Name().empty()) << "every JACK server name in use for 60 s";
        tag = slot->Name();
        port = tag + "-dump:input";
        env = {"JACK_DEFAULT_SERVER=" + tag, "SONAVIX_MIDI_OUT=" + port};
        // Long periods and a generous client time-out: on a loaded machine a
        // client that misses a short cycle loses that cycle's events.
        server.emplace(*jackd,
                       std::vector<std::string>{"-n", tag, "-r", "-t", "5000", "-d", "dummy", "-r",
                                                "48000", "-p", "1024"},
                       env);
        // Up when the dump's input port is listed; bounded, and watching jackd.
        const auto giveUp = std::chrono::steady_clock::now() + 15s;
        while (std::chrono::steady_clock::now() < giveUp) {
            ASSERT_TRUE(server->Running()) << "jackd ended: " << server->Wait().err;
            const ProgramResult ports = RunProgramWithin(2, *lsp, {}, env);
            if (ports.status == 0 && !dump)
                dump.emplace(*dumpTool, std::vector<std::string>{tag + "-dump"}, env);
            if (ports.out.find(port) != std::string::npos) return;
            std::this_thread::sleep_for(100ms);
        }
        FAIL() << "no port of jack_midi_dump within 15 s";
    }
    void TearDown() override {
        dump.reset();
        // A server killed before it has cleaned up stays in JACK's registry,
        // and a few of those keep any new server from starting.
        if (server) server->Stop(15);
        server.reset();
        slot.reset();
    }
    // What reached the dump; stops it.
    std::vector<Bytes> Dumped() {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the last messages
        dump->Stop();
        return ParseDump(dump->Wait().out);
    }

    std::string tag, port;
    std::vector<std::string> env;        // JACK_DEFAULT_SERVER and SONAVIX_MIDI_OUT for a child
    std::optional<JackServerSlot> slot;  // declared first: released after the server
    std::optional<ChildProgram> server, dump;
};
