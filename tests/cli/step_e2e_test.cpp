// --step-input through real MIDI: the test's own JACK output plays the
// keyboard, the tool steps through the melody into jack_midi_dump.
#include <RtMidi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "support/jack_server.h"
#include "support/program.h"

namespace {
using namespace std::chrono_literals;

class StepDump : public JackDumpTest {
protected:
    // Waits (bounded) until lsp -c shows a connection whose text holds part.
    bool Connected(const std::string& part) {
        const auto giveUp = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < giveUp) {
            const ProgramResult r = RunProgram(*FindOnPath("jack_lsp"), {"-c"}, env);
            if (r.out.find(part) != std::string::npos) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    // Waits (bounded) until the dump received a message starting with status.
    bool Received(uint8_t status) {
        const auto giveUp = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < giveUp) {
            for (const Bytes& m : ParseDump(dump->OutputSoFar()))
                if (!m.empty() && m[0] == status) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
};

}  // namespace

TEST_F(StepDump, ThreeKeysPressedStepThroughTheMelodyAndEndIt) {
    const ScopedEnv server("JACK_DEFAULT_SERVER", tag);
    RtMidiOut keyboard(RtMidi::UNIX_JACK, "steptest");
    keyboard.openVirtualPort("keys");
    ChildProgram step(SONAVIX_CLI,
                      {"melody", "--list", "1, 2, 3", "--note-map", "0,40,44,47", "--instrument",
                       "5", "--step-input", "steptest:keys"},
                      env);
    // Stepping once the input is connected and the run has chosen its instrument.
    ASSERT_TRUE(Connected("Sonavix Input")) << step.Wait().err;
    ASSERT_TRUE(Received(0xC0)) << step.Wait().err;
    std::this_thread::sleep_for(300ms);
    const uint8_t velocities[] = {100, 90, 80};
    for (const uint8_t velocity : velocities) {
        const std::vector<unsigned char> on = {0x90, 60, velocity}, off = {0x80, 60, 0};
        keyboard.sendMessage(&on);
        std::this_thread::sleep_for(100ms);
        keyboard.sendMessage(&off);
        std::this_thread::sleep_for(100ms);
    }
    const ProgramResult r = step.Wait();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 3), "40 ");
    const std::vector<Bytes> expected = {{0xC0, 5},      {0x90, 48, 100}, {0x80, 48, 110},
                                         {0x90, 52, 90}, {0x80, 52, 110}, {0x90, 55, 80},
                                         {0x80, 55, 110}};
    EXPECT_EQ(Dumped(), expected);
}
