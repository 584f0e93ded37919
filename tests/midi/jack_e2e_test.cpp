// End to end through a real JACK server: the RtMidi service plays a short
// melody into jack_midi_dump, and the dumped bytes must be ours.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "midi/clock.h"
#include "midi/midi.h"
#include "midi/midi_out.h"
#include "midi/rtmidi_service.h"
#include "support/jack_server.h"

namespace {

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

using JackEndToEnd = JackDumpTest;

TEST_F(JackEndToEnd, MelodyArrivesAtJackMidiDump) {
    ScopedEnv server("JACK_DEFAULT_SERVER", tag);
    ScopedEnv output("SONAVIX_MIDI_OUT", port);
    ASSERT_TRUE(ServiceSeesPort(port));

    MidiUnit midi(CreateDefaultMidiOutService());
    midi.InitMidiOut();
    EXPECT_EQ(midi.Devices().Names().front(), port);
    midi.SelectInstrument(40);
    midi.BeginRhythm();
    midi.PlayNote(40, 40);
    midi.PlayNote(0, 20);
    midi.PlayNote(120, 20);
    midi.PlayNote(44, 40);
    midi.PlayNote(47, 40);
    midi.EndRhythm();
    midi.ReleaseMidiOut();  // lets the queued messages out and closes the port

    const std::vector<Bytes> expected = {{0xC0, 0x28},       {0x90, 0x30, 0x6E}, {0x80, 0x30, 0x6E},
                                         {0x90, 0x34, 0x6E}, {0x80, 0x34, 0x6E}, {0x90, 0x37, 0x6E},
                                         {0x80, 0x37, 0x6E}};
    EXPECT_EQ(Dumped(), expected);
}

}  // namespace
