// PlayNote, SelectInstrument and the rhythm of the program's MIDI unit.
#include <pthread.h>
#include <sched.h>

#include <climits>

#include "common/errors.h"
#include "common/messages.h"
#include "midi/midinote.h"
#include "support/expect_error.h"
#include "support/midi_fixture.h"

namespace {

class MidiUnitTest : public IdleMidiDevices {};

TEST_F(MidiUnitTest, PlayNoteSendsKeyPlusEightOrRests) {
    struct Row {
        int32_t key;
        int note;  // -1: a rest, nothing sent
    };
    const Row rows[] = {
        {1, 9},    {40, 48},  {88, 96}, {89, 97}, {119, 127},      {120, -1},
        {248, -1}, {300, -1}, {0, -1},  {-3, -1}, {INT32_MAX, -1}, {INT32_MIN, -1},
    };
    midi.InitMidiOut();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        service->ClearMessages();
        clock.AdvanceUs(1234);  // the note runs from its call, wherever the clock stands
        const int64_t startMs = clock.NowUs() / 1000;
        midi.PlayNote(row.key, 500);
        EXPECT_EQ(clock.NowUs() / 1000, startMs + 500);
        if (row.note < 0) {
            EXPECT_TRUE(service->Messages().empty());
        } else {
            const auto note = static_cast<uint8_t>(row.note);
            EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x90, note, 0x6E}, {0x80, note, 0x6E}}));
            EXPECT_EQ(SentAtMs(), (std::vector<int64_t>{startMs, startMs + 500}));
        }
    }
}

// The keyboard's rows and the score's key signature name the key by its pitch
// class; keys below the keyboard and at the ends of the range wrap as well.
TEST(KeyPitchClass, CountsFromTheCOfTheKeysNote) {
    const std::pair<int32_t, int> rows[] = {{40, 0},  {41, 1},        {51, 11},      {52, 0},
                                            {4, 0},   {3, 11},        {0, 8},        {-4, 4},
                                            {-16, 4}, {INT32_MIN, 0}, {INT32_MAX, 3}};
    for (const auto& [key, pitchClass] : rows) EXPECT_EQ(KeyPitchClass(key), pitchClass) << key;
}

TEST_F(MidiUnitTest, ZeroDurationSendsOnAndOffBackToBack) {
    midi.InitMidiOut();
    clock.AdvanceUs(7000);
    midi.PlayNote(40, 0);
    midi.PlayNote(41, 0);
    EXPECT_EQ(Sent(), (std::vector<Bytes>{
                          {0x90, 48, 0x6E}, {0x80, 48, 0x6E}, {0x90, 49, 0x6E}, {0x80, 49, 0x6E}}));
    EXPECT_EQ(SentAtMs(), (std::vector<int64_t>{7, 7, 7, 7}));
    EXPECT_EQ(clock.NowUs(), 7000);
}

TEST_F(MidiUnitTest, NegativeDurationIsRefusedBeforeAnythingHappens) {
    midi.InitMidiOut();
    const struct {
        int32_t duration;
        std::string message;
    } rows[] = {{-5, msg::InvalidNoteDuration(-5)},
                {-1, msg::InvalidNoteDuration(-1)},
                {INT32_MIN, "Ungültige Notendauer: -2147483648 ms"}};
    for (const auto& row : rows)
        EXPECT_EQ(MessageOf<EInvalidInput>([&] { midi.PlayNote(40, row.duration); }), row.message);
    EXPECT_TRUE(service->Messages().empty());
    EXPECT_EQ(clock.NowUs(), 0);
}

TEST_F(MidiUnitTest, SelectInstrumentSendsLowByteOrNothingAboveTheRange) {
    struct Row {
        int32_t program;
        int expected;  // -1: nothing sent
    };
    const Row rows[] = {{0, 0},   {127, 127},   {40, 40}, {128, -1}, {255, -1},
                        {256, 0}, {0x17F, 127}, {-1, -1}, {-256, 0}, {INT32_MIN, 0}};
    midi.InitMidiOut();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.program);
        service->ClearMessages();
        midi.SelectInstrument(row.program);
        if (row.expected < 0) {
            EXPECT_TRUE(service->Messages().empty());
        } else {
            ASSERT_EQ(service->Messages().size(), 1u);
            // Three bytes are packed; the device uses two.
            EXPECT_EQ(service->Messages()[0].packed, 0xC0u | (uint32_t(row.expected) << 8));
            EXPECT_EQ(Sent()[0], (Bytes{0xC0, static_cast<uint8_t>(row.expected)}));
        }
    }
}

TEST_F(MidiUnitTest, WithoutDevicesInitFailsAndNotesStillTakeTheirTime) {
    Install({});
    EXPECT_EQ(MessageOf<EListError>([&] { midi.InitMidiOut(); }),
              "Listenindex überschreitet das Maximum (0)");
    EXPECT_FALSE(midi.HasMidiOut());
    midi.SelectInstrument(5);
    midi.PlayNote(40, 500);
    EXPECT_EQ(clock.NowUs(), 500000);
    EXPECT_TRUE(service->Messages().empty());
}

TEST_F(MidiUnitTest, FailedOpenLeavesTheOutputEmpty) {
    service->FailOpen(kMidiErrAllocated);
    EXPECT_THROW(midi.InitMidiOut(), EJclMIDIError);
    EXPECT_FALSE(midi.HasMidiOut());
    midi.PlayNote(40, 20);
    EXPECT_EQ(clock.NowUs(), 20000);

    service->FailOpen(kMidiNoError);
    midi.InitMidiOut();
    EXPECT_TRUE(midi.HasMidiOut());
    EXPECT_EQ(service->OpenCount(), 1);
}

TEST_F(MidiUnitTest, ReleaseMidiOutClosesTheDevice) {
    midi.InitMidiOut();
    midi.SelectInstrument(3);
    midi.ReleaseMidiOut();
    EXPECT_FALSE(midi.HasMidiOut());
    EXPECT_EQ(service->CloseCount(), 1);
    EXPECT_EQ(service->OpenHandleCount(), 0);
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{0xC0, 3}}));
}

// Rhythm: each PlayNote call comes `overheadMs` after the previous one returned.
void PlayRhythm(MidiUnit& midi, VirtualClock& clock, const std::vector<int64_t>& overheadMs,
                int32_t durationMs) {
    midi.BeginRhythm();
    for (int64_t overhead : overheadMs) {
        clock.AdvanceUs(overhead * 1000);
        midi.PlayNote(40, durationMs);
    }
    midi.EndRhythm();
}

TEST_F(MidiUnitTest, RhythmChainsDeadlinesAndReanchorsWhenFarBehind) {
    struct Row {
        const char* what;
        std::vector<int64_t> overheadMs;  // before each of the notes of 100 ms
        std::vector<int64_t> offMs;       // when each Note Off goes out
    };
    const Row rows[] = {
        {"no overhead", {0, 0, 0}, {100, 200, 300}},
        {"overhead is absorbed", {0, 3, 3, 3}, {100, 200, 300, 400}},
        {"late by half a note still chains", {0, 50, 0}, {100, 200, 300}},
        {"late by more than half a note re-anchors", {0, 51, 0}, {100, 251, 351}},
        {"late by a whole note sounds it in full", {0, 100, 0}, {100, 300, 400}},
        {"a long stall re-anchors", {5, 1000, 2}, {105, 1205, 1305}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Install({"Fake Synth"});
        midi.InitMidiOut();
        PlayRhythm(midi, clock, row.overheadMs, 100);
        std::vector<int64_t> offs;
        for (const auto& message : service->Messages())
            if (message.bytes[0] == 0x80) offs.push_back(message.timeUs / 1000);
        EXPECT_EQ(offs, row.offMs);
        EXPECT_EQ(clock.NowUs() / 1000, row.offMs.back());
        midi.ReleaseMidiOut();
        clock = VirtualClock();
    }
}

TEST_F(MidiUnitTest, HitchNeverCutsANoteBelowHalfItsLength) {
    // Notes of 667 ms (Andante quarters); a hitch of the given length before the second.
    const struct {
        int64_t hitchMs, secondNoteMs;
    } rows[] = {{0, 667}, {100, 567}, {333, 334}, {334, 667}, {667, 667}, {2000, 667}};
    for (const auto& row : rows) {
        Install({"Fake Synth"});
        midi.InitMidiOut();
        PlayRhythm(midi, clock, {0, row.hitchMs, 0}, 667);
        std::vector<int64_t> times = SentAtMs();
        ASSERT_EQ(times.size(), 6u);
        EXPECT_EQ(times[3] - times[2], row.secondNoteMs) << row.hitchMs;
        EXPECT_EQ(times[5] - times[4], 667) << row.hitchMs;  // the chain holds afterwards
        midi.ReleaseMidiOut();
        clock = VirtualClock();
    }
}

TEST_F(MidiUnitTest, WaitHookRunsThroughoutALongNoteWithoutChangingIt) {
    midi.InitMidiOut();
    std::vector<int64_t> calls;
    midi.SetWaitHook([&] { calls.push_back(clock.NowUs()); });
    midi.PlayNote(40, 1000);
    midi.SetWaitHook(nullptr);
    EXPECT_EQ(SentAtMs(), (std::vector<int64_t>{0, 1000}));
    ASSERT_EQ(calls.size(), static_cast<size_t>(1000000 / kWaitSliceUs - 1));
    EXPECT_EQ(calls.front(), kWaitSliceUs);
    EXPECT_EQ(calls.back(), 1000000 - kWaitSliceUs);
}

TEST_F(MidiUnitTest, NoteOnGoesOutWhenCalledWithinTheChain) {
    midi.InitMidiOut();
    midi.BeginRhythm();
    midi.PlayNote(40, 100);
    clock.AdvanceUs(3000);
    midi.PlayNote(41, 100);
    midi.EndRhythm();
    EXPECT_EQ(SentAtMs(), (std::vector<int64_t>{0, 100, 103, 200}));
}

TEST_F(MidiUnitTest, OutsideARhythmEachNoteRunsFromItsCall) {
    midi.InitMidiOut();
    midi.BeginRhythm();
    midi.PlayNote(40, 100);
    midi.EndRhythm();
    clock.AdvanceUs(3000);
    midi.PlayNote(0, 500);
    EXPECT_EQ(clock.NowUs(), 603000);

    // A new rhythm does not continue an old chain.
    midi.BeginRhythm();
    clock.AdvanceUs(50000);
    midi.PlayNote(0, 100);
    midi.EndRhythm();
    EXPECT_EQ(clock.NowUs(), 753000);
}

TEST_F(MidiUnitTest, LonePlayNoteOnTheSystemClockTakesItsDuration) {
    midi.SetClock(nullptr);
    IClock& system = SystemClock();
    const int64_t start = system.NowUs();
    midi.PlayNote(0, 30);
    const int64_t elapsed = system.NowUs() - start;
    EXPECT_GE(elapsed, 30000);
    EXPECT_LT(elapsed, 30000 + 20000);
}

}  // namespace

TEST(RealTimeScope, RaisesTheThreadOnlyWhileItLasts) {
    int before = -1, during = -1, after = -1;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &before, &param);
    bool granted = false;
    {
        const RealTimeScope realTime;
        granted = realTime.Granted();
        pthread_getschedparam(pthread_self(), &during, &param);
    }
    pthread_getschedparam(pthread_self(), &after, &param);
    EXPECT_EQ(during, granted ? SCHED_FIFO : before);
    EXPECT_EQ(after, before);
}
