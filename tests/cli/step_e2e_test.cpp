// --step-input through real MIDI: the test's own JACK output plays the
// keyboard, the tool steps through the melody into jack_midi_dump.
#include <RtMidi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <memory>
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
            const ProgramResult r = RunProgramWithin(2, *FindOnPath("jack_lsp"), {"-c"}, env);
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
    // Starts the tool stepping on the test's own keyboard port; ready for keys
    // once the input is connected and the run has chosen its instrument.
    std::unique_ptr<ChildProgram> StartStepping(RtMidiOut& keyboard,
                                                std::vector<std::string> args) {
        keyboard.openVirtualPort("keys");
        args.insert(args.begin(), "melody");
        for (const char* arg : {"--instrument", "5", "--step-input", "steptest:keys"})
            args.emplace_back(arg);
        auto step = std::make_unique<ChildProgram>(SONAVIX_CLI, args, env);
        const bool ready = Connected("Sonavix Input") && Received(0xC0);
        if (!ready) step->Stop();  // it waits for keys: its message comes only once it ended
        EXPECT_TRUE(ready) << step->Wait().err;
        std::this_thread::sleep_for(300ms);
        return step;
    }
    static void Send(RtMidiOut& keyboard, std::vector<unsigned char> message) {
        keyboard.sendMessage(&message);
    }
};

}  // namespace

TEST_F(StepDump, ThreeKeysPressedStepThroughTheMelodyAndEndIt) {
    const ScopedEnv server("JACK_DEFAULT_SERVER", tag);
    RtMidiOut keyboard(RtMidi::UNIX_JACK, "steptest");
    const auto step = StartStepping(keyboard, {"--list", "1, 2, 3", "--note-map", "0,40,44,47"});
    for (const uint8_t velocity : {100, 90, 80}) {
        Send(keyboard, {0x90, 60, velocity});
        std::this_thread::sleep_for(100ms);
        Send(keyboard, {0x80, 60, 0});
        std::this_thread::sleep_for(100ms);
    }
    const ProgramResult r = step->Wait();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 3), "40 ");
    const std::vector<Bytes> expected = {{0xC0, 5},      {0x90, 48, 100}, {0x80, 48, 110},
                                         {0x90, 52, 90}, {0x80, 52, 110}, {0x90, 55, 80},
                                         {0x80, 55, 110}};
    EXPECT_EQ(Dumped(), expected);
}

TEST_F(StepDump, CtrlCDuringAHeldKeyEndsTheRunAndSilencesIt) {
    const ScopedEnv server("JACK_DEFAULT_SERVER", tag);
    RtMidiOut keyboard(RtMidi::UNIX_JACK, "steptest");
    // A whole note at tempo 20: 12 s, far longer than the test waits.
    const auto step =
        StartStepping(keyboard, {"--list", "1, 2", "--tempo", "20", "--tempo-map", "0"});
    Send(keyboard, {0x90, 60, 100});
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (CountNotes(ParseDump(dump->OutputSoFar())).started == 0 &&
           std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(20ms);
    step->Signal(SIGINT);
    const ProgramResult r = step->Wait();
    EXPECT_EQ(r.status, 130) << r.err;
    const SoundingNotes notes = CountNotes(Dumped());
    EXPECT_EQ(notes.started, 1);
    EXPECT_EQ(notes.sounding, 0);
}
