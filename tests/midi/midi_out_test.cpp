// The outputs, their shared opening through the registry, and the error texts.
#include "midi/midi_out.h"

#include <string>

#include "common/errors.h"
#include "support/expect_error.h"
#include "support/midi_fixture.h"

namespace {

class MidiOutTest : public IdleMidiDevices {};

TEST_F(MidiOutTest, OneDeviceIsSharedAndClosedWithItsLastReference) {
    auto first = midi.GetMidiOutput(0);
    auto second = midi.GetMidiOutput(0);
    EXPECT_EQ(first, second);
    EXPECT_EQ(service->OpenCount(), 1);

    auto other = midi.GetMidiOutput(1);
    EXPECT_NE(other, first);
    EXPECT_EQ(other->DeviceName(), "Second Port");
    EXPECT_EQ(service->OpenCount(), 2);

    first.reset();
    EXPECT_EQ(service->CloseCount(), 0);
    second.reset();
    EXPECT_EQ(service->CloseCount(), 1);

    // The slot was emptied: asking again opens the device afresh.
    auto again = midi.GetMidiOutput(0);
    EXPECT_EQ(service->OpenCount(), 3);
    EXPECT_EQ(again->DeviceName(), "Fake Synth");
}

TEST_F(MidiOutTest, MapperIsRememberedAndSharedWithItsDevice) {
    auto mapper = midi.GetMidiOutput(-1);
    EXPECT_EQ(midi.GetMidiOutput(-1), mapper);
    EXPECT_EQ(midi.GetMidiOutput(0), mapper);
    EXPECT_EQ(service->OpenCount(), 1);
}

TEST_F(MidiOutTest, IdentifiersOutsideTheRegistryGiveTheListError) {
    const struct {
        int32_t id;
        const char* message;
    } rows[] = {{2, "Listenindex überschreitet das Maximum (2)"},
                {-2, "Listenindex überschreitet das Maximum (-2)"},
                {INT32_MAX, "Listenindex überschreitet das Maximum (2147483647)"}};
    for (const auto& row : rows)
        EXPECT_EQ(MessageOf<EListError>([&] { midi.GetMidiOutput(row.id); }), row.message);
    EXPECT_EQ(service->OpenCount(), 0);
}

TEST_F(MidiOutTest, RegistryListsNamesAndSkipsDevicesWithoutCapabilities) {
    Install({"A", std::string(40, 'n'), "C"});
    service->FailDevCaps(0, kMidiErrNoDevice);
    // The name field holds 31 characters and its terminator.
    EXPECT_EQ(midi.Devices().Names(), (std::vector<std::string>{std::string(31, 'n'), "C"}));
}

TEST_F(MidiOutTest, CreationFailuresCloseTheHalfBuiltOutput) {
    struct Row {
        const char* step;
        MidiResult code;
        std::string message;
        int opens, closes;
    };
    const Row rows[] = {
        {"open", kMidiErrAllocated, "The device is already in use", 0, 0},
        {"open", 4711, "Unknown MIDI-Out error No. 4711", 0, 0},
        {"id", kMidiErrInvalidHandle, "Invalid device handle", 1, 1},
        {"caps", kMidiErrNoDevice, "The port is gone", 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.step) + " " + std::to_string(row.code));
        Install({"Fake Synth"});
        midi.Devices();  // built before the failure, so the device is listed
        const std::string step = row.step;
        if (step == "open") service->FailOpen(row.code);
        if (step == "id") service->FailGetID(row.code);
        if (step == "caps") service->FailDevCaps(0, row.code);
        EXPECT_EQ(MessageOf<EJclMIDIError>([&] { midi.GetMidiOutput(0); }), row.message);
        EXPECT_EQ(service->OpenCount(), row.opens);
        EXPECT_EQ(service->CloseCount(), row.closes);
        EXPECT_EQ(service->OpenHandleCount(), 0);
    }
}

TEST_F(MidiOutTest, ErrorTextIsCutToItsBuffer) {
    service->SetErrorText(77, std::string(300, 'x'));
    EXPECT_EQ(MidiOutErrorText(*service, 77), std::string(127, 'x'));
    service->SetErrorText(kMidiErrAllocated, "");
    EXPECT_EQ(MidiOutErrorText(*service, kMidiErrAllocated), "Unknown MIDI-Out error No. 4");
    EXPECT_NO_THROW(CheckMidiResult(*service, kMidiNoError));
    EXPECT_EQ(MessageOf<EJclMIDIError>([&] { CheckMidiResult(*service, 77); }),
              std::string(127, 'x'));
}

TEST_F(MidiOutTest, DestroyingReleasesSoundingNotesAt127BeforeClosing) {
    struct Row {
        const char* what;
        std::vector<Bytes> played;     // sent through SendMidiMessage
        std::vector<Bytes> onRelease;  // what goes out when the output goes away
    };
    const Row rows[] = {
        {"nothing sounding", {}, {}},
        {"everything already off", {{0x90, 60, 1}, {0x80, 60, 1}}, {}},
        {"channels and notes ascending",
         {{0x92, 70, 9}, {0x90, 64, 9}, {0x90, 10, 9}, {0x9F, 127, 9}},
         {{0x80, 10, 127}, {0x80, 64, 127}, {0x82, 70, 127}, {0x8F, 127, 127}}},
        {"a note sounding twice is released once",
         {{0x90, 60, 1}, {0x90, 60, 2}},
         {{0x80, 60, 127}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Install({"Fake Synth"});
        auto output = midi.GetMidiOutput(0);
        for (const Bytes& message : row.played) {
            const uint8_t channel = (message[0] & 0x0F) + 1;
            if ((message[0] & 0xF0) == 0x90)
                output->NoteOn(channel, message[1], message[2]);
            else
                output->NoteOff(channel, message[1], message[2]);
        }
        EXPECT_EQ(Sent(), row.played);
        service->ClearMessages();
        output.reset();
        // Anything sent after the close would have been refused and lost.
        EXPECT_EQ(Sent(), row.onRelease);
        EXPECT_EQ(service->CloseCount(), 1);
    }
}

// A signal's ending: the unit's output and one that another window holds.
TEST_F(MidiOutTest, ClosingAllSilencesAndClosesEveryOpenOutputOnce) {
    midi.InitMidiOut();
    const auto held = midi.GetMidiOutput(1);
    midi.GetMidiOutput(0)->NoteOn(1, 60, 100);
    held->NoteOn(2, 64, 100);
    service->ClearMessages();
    midi.CloseAllMidiOuts();
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x80, 60, 127}, {0x81, 64, 127}}));
    EXPECT_EQ(service->CloseCount(), 2);
    EXPECT_FALSE(midi.HasMidiOut());
    EXPECT_NE(MessageOf<EJclMIDIError>([&] { held->NoteOn(2, 64, 100); }), "<no error>");
    midi.CloseAllMidiOuts();
    EXPECT_EQ(service->CloseCount(), 2);
}

TEST_F(MidiOutTest, ActiveNotesFollowNoteOnAndOff) {
    auto output = midi.GetMidiOutput(0);
    output->NoteOn(16, 0, 1);
    output->NoteOn(16, 127, 1);
    output->NoteOn(16, 200, 1);  // sent, but no such note to remember
    EXPECT_TRUE(output->NoteIsOn(16, 0));
    EXPECT_TRUE(output->NoteIsOn(16, 127));
    EXPECT_FALSE(output->NoteIsOn(16, 200));
    EXPECT_FALSE(output->NoteIsOn(1, 0));
    EXPECT_EQ(output->ActiveNotes(16).count(), 2u);
    EXPECT_EQ(Sent().back(), (Bytes{0x9F, 200, 1}));

    output->ReleaseActiveNotes(16);
    EXPECT_TRUE(output->ActiveNotes(16).none());
    EXPECT_EQ(Sent().back(), (Bytes{0x8F, 127, 127}));
}

TEST_F(MidiOutTest, NotesOnChannelsOutsideTheRangeAreSentButNotTracked) {
    auto output = midi.GetMidiOutput(0);
    output->NoteOn(0, 5, 1);
    output->NoteOn(17, 6, 1);
    EXPECT_EQ(Sent().size(), 2u);
    for (int channel = 1; channel <= 16; ++channel)
        EXPECT_TRUE(output->ActiveNotes(channel).none()) << channel;
    service->ClearMessages();
    output.reset();
    EXPECT_TRUE(service->Messages().empty());
}

TEST_F(MidiOutTest, ChannelIsValidatedWhereTheNoteSetsAreRead) {
    auto output = midi.GetMidiOutput(0);
    const struct {
        int channel;
        bool valid;
    } rows[] = {{0, false}, {1, true}, {16, true}, {17, false}, {-1, false}, {256, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.channel);
        const std::string expected =
            row.valid ? "<no error>"
                      : "Invalid MIDI channel number (" + std::to_string(row.channel) + ")";
        EXPECT_EQ(MessageOf<EJclMIDIError>([&] { output->ActiveNotes(row.channel); }), expected);
        EXPECT_EQ(MessageOf<EJclMIDIError>([&] { output->NoteIsOn(row.channel, 1); }), expected);
        EXPECT_EQ(MessageOf<EJclMIDIError>([&] { output->ReleaseActiveNotes(row.channel); }),
                  expected);
    }
}

TEST_F(MidiOutTest, MessagesArePackedOrSentLong) {
    auto output = midi.GetMidiOutput(0);
    const uint8_t program[] = {0xC5, 0x11};
    const uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    output->SendMidiMessage(program, 1);
    output->SendMidiMessage(sysex, 5);
    output->ProgramChange(1, 40);
    ASSERT_EQ(service->Messages().size(), 3u);
    EXPECT_EQ(service->Messages()[0].packed, 0x11C5u);
    EXPECT_EQ(Sent()[1], Bytes(std::begin(sysex), std::end(sysex)));
    EXPECT_EQ(service->Messages()[2].packed, 0x0028C0u);
}

TEST_F(MidiOutTest, AFailingDeviceRaisesAndStillClosesOnRelease) {
    auto output = midi.GetMidiOutput(0);
    output->NoteOn(1, 60, 100);
    output->NoteOn(2, 61, 100);
    service->FailShortMsg(kMidiErrInvalidHandle);
    EXPECT_EQ(MessageOf<EJclMIDIError>([&] { output->NoteOn(1, 62, 100); }),
              "Invalid device handle");
    output.reset();
    EXPECT_EQ(service->CloseCount(), 1);
    service->FailShortMsg(kMidiNoError);
    EXPECT_NO_THROW(midi.GetMidiOutput(0));
}

TEST(ShortMessageLength, ByStatus) {
    const struct {
        uint8_t status;
        int length;
    } rows[] = {{0x00, 0}, {0x7F, 0}, {0x80, 3}, {0x9F, 3}, {0xA3, 3}, {0xB0, 3}, {0xC0, 2},
                {0xCF, 2}, {0xD0, 2}, {0xDF, 2}, {0xE0, 3}, {0xEF, 3}, {0xF0, 0}, {0xF1, 2},
                {0xF2, 3}, {0xF3, 2}, {0xF6, 1}, {0xF7, 0}, {0xF8, 1}, {0xFF, 1}};
    for (const auto& row : rows)
        EXPECT_EQ(ShortMessageLength(row.status), row.length) << int(row.status);
}

}  // namespace
