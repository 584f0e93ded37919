#include "playback/run.h"

#include <gtest/gtest.h>

#include <functional>

#include "common/errors.h"
#include "playback/maps.h"
#include "playback/startup.h"
#include "support/expect_error.h"
#include "support/midi_fixture.h"

namespace {
constexpr const char* kDefaultList = "234, 382, 2349, 1, -34, 234, 49, 23, 91, 4, 34";

// A window stand-in that records what the run does to it.
class FakeHost : public QuietPlaybackHost {
public:
    std::string ReadNoteSource() override { return noteSource; }
    bool TempoSequenceUsed() override { return tempoUsed; }
    std::string ReadTempoSource() override { return tempoSource; }
    bool KeyboardWanted() override { return keyboard; }
    void ShowKeyboard() override { ++keyboardShown; }
    void MarkKey(int32_t key) override { marked.push_back(key); }
    void UnmarkKey(int32_t key) override { unmarked.push_back(key); }
    void SetSourceControlsEnabled(bool enabled) override { enabledLog.push_back(enabled); }
    void SetPlayCaption(const std::string& c) override { caption = c; }
    void ProcessPendingMessages() override {
        ++pending;
        if (onPending) onPending(pending);
    }

    std::string noteSource = kDefaultList;
    bool tempoUsed = false;
    std::string tempoSource;
    bool keyboard = true;
    int keyboardShown = 0;
    std::vector<int32_t> marked, unmarked;
    std::vector<bool> enabledLog;
    std::string caption = kCaptionPlay;
    int pending = 0;
    std::function<void(int)> onPending;
};

class PlaybackRunTest : public RecordedMidi {
protected:
    std::vector<int> Keys() const {
        std::vector<int> keys;
        for (const auto& n : Notes()) keys.push_back(n.note - 8);
        return keys;
    }
    std::vector<int64_t> DurationsMs() const {
        std::vector<int64_t> d;
        for (const auto& n : Notes()) d.push_back((n.offUs - n.onUs) / 1000);
        return d;
    }
    void ExpectIdle() {
        EXPECT_FALSE(run.Playing());
        EXPECT_EQ(host.caption, kCaptionPlay);
        ASSERT_FALSE(host.enabledLog.empty());
        EXPECT_TRUE(host.enabledLog.back());
    }

    FakeHost host;
    PlaybackRun run{host, midi};
};
}  // namespace

TEST_F(PlaybackRunTest, DefaultListPlaysItsKeysAtAndanteQuarters) {
    host.Program = 40;
    run.Press();
    const std::vector<int> expected{46, 50, 49, 41, 50, 46, 41, 51, 47, 44, 50};
    EXPECT_EQ(Keys(), expected);
    EXPECT_EQ(DurationsMs(), std::vector<int64_t>(11, 667));
    // The instrument goes first, as a two-byte program change.
    ASSERT_FALSE(service->Messages().empty());
    EXPECT_EQ(service->Messages().front().bytes, (std::vector<uint8_t>{0xC0, 40}));
    EXPECT_EQ(host.marked, expected);
    EXPECT_EQ(host.unmarked, expected);
    EXPECT_EQ(host.keyboardShown, 1);
    EXPECT_EQ(host.pending, 11);
    EXPECT_EQ(host.enabledLog, (std::vector<bool>{false, true}));
    ExpectIdle();
}

TEST_F(PlaybackRunTest, NotesFollowOneAnotherWithoutGaps) {
    run.Press();
    const auto notes = Notes();
    for (size_t i = 1; i < notes.size(); ++i) EXPECT_EQ(notes[i].onUs, notes[i - 1].offUs);
}

TEST_F(PlaybackRunTest, StopPressDuringANoteEndsAfterTheNextElement) {
    // The press arrives while note 2 sounds; it is handled when element 3 lets
    // messages through, and element 3 still sounds in full.
    host.onPending = [this](int element) {
        if (element == 3) {
            run.Press();
            EXPECT_EQ(host.caption, kCaptionPlay);
        }
    };
    run.Press();
    EXPECT_EQ(Keys(), (std::vector<int>{46, 50, 49}));
    EXPECT_EQ(DurationsMs().back(), 667);
    ExpectIdle();
}

TEST_F(PlaybackRunTest, EditsDuringTheRunApplyFromTheNextLookup) {
    host.onPending = [this](int element) {
        if (element == 2) {
            host.NoteMap.SetValue(382 % 12, "1");
            host.Tempo = 120;
        }
    };
    run.Press();
    const auto keys = Keys();
    ASSERT_GE(keys.size(), 3u);
    EXPECT_EQ(keys[1], 1);
    EXPECT_EQ(DurationsMs()[0], 667);
    EXPECT_EQ(DurationsMs()[1], 500);
    EXPECT_EQ(host.marked[1], 50);    // marked before the edit
    EXPECT_EQ(host.unmarked[1], 50);  // and that key is the one restored
}

TEST_F(PlaybackRunTest, MembersAsTheRunReadsThem) {
    const struct {
        const char* source;
        std::vector<int> keys;
    } cases[] = {
        {"3.5", {43, 45}},
        {"-7", {47}},
        {"keine Ziffern", {}},
        {"", {}},
        {"12\n24\r\n\t36", {40, 40, 40}},
    };
    for (const auto& c : cases) {
        service->ClearMessages();
        host.noteSource = c.source;
        run.Press();
        EXPECT_EQ(Keys(), c.keys) << c.source;
        ExpectIdle();
    }
}

TEST_F(PlaybackRunTest, SeparateTempoSequenceIsLinedUpByRepetition) {
    host.TempoMap.Assign({"0", "1", "2", "3"});
    host.noteSource = "1, 2, 3, 4, 5";
    host.tempoUsed = true;
    const struct {
        const char* tempo;
        std::vector<int64_t> ms;
    } cases[] = {
        {"2, 3", {667, 333, 667, 333, 667}},
        {"0,1,2,3,0,1,2,3,1", {2667, 1333, 667, 333, 2667}},
        {"", {1333, 667, 333, 2667, 1333}},  // no tempo members: the notes give the lengths
        {"nichts", {1333, 667, 333, 2667, 1333}},
    };
    for (const auto& c : cases) {
        service->ClearMessages();
        host.tempoSource = c.tempo;
        run.Press();
        EXPECT_EQ(DurationsMs(), c.ms) << c.tempo;
    }
}

TEST_F(PlaybackRunTest, RestsAndKeysOffTheKeyboardMarkNothing) {
    host.NoteMap.Assign({"0", "-3", "89", "120", "88"});
    host.noteSource = "0, 1, 2, 3, 4";
    run.Press();
    // 89 sounds as note 97; 120 would need note 128 and is a rest instead.
    EXPECT_EQ(Keys(), (std::vector<int>{89, 88}));
    EXPECT_EQ(host.marked, (std::vector<int32_t>{88}));
    EXPECT_EQ(clock.NowUs(), 5 * 667000);
}

TEST_F(PlaybackRunTest, WithoutTheKeyboardNothingIsShownOrMarked) {
    host.keyboard = false;
    run.Press();
    EXPECT_EQ(Keys().size(), 11u);
    EXPECT_EQ(host.keyboardShown, 0);
    EXPECT_TRUE(host.marked.empty());
}

TEST_F(PlaybackRunTest, FailureLeavesTheRunIdleAndTheListUsable) {
    const struct {
        const char* name;
        std::function<void()> arrange;
        size_t soundedBefore;
    } cases[] = {
        {"note map cell",
         [this] {
             host.noteSource = "1, 2, 3, 4";
             host.NoteMap.SetValue(3, "drei");
         },
         2},
        {"map cell edited mid-note",
         [this] {
             host.noteSource = "1, 2, 3";
             host.onPending = [this](int e) {
                 if (e == 2) host.TempoMap.SetValue(0, "Viertel");
             };
         },
         1},
    };
    for (const auto& c : cases) {
        host = FakeHost();
        service->ClearMessages();
        c.arrange();
        EXPECT_THROW(run.Press(), EConvertError) << c.name;
        EXPECT_EQ(Notes().size(), c.soundedBefore) << c.name;
        ExpectIdle();
        EXPECT_EQ(host.marked.size(), host.unmarked.size()) << c.name;
        // The next press starts a new run at once.
        host.onPending = nullptr;
        host.TempoMap.SetValue(0, "2");
        host.noteSource = "5";
        run.Press();
        EXPECT_EQ(Keys().back(), 45) << c.name;
    }
}

TEST_F(PlaybackRunTest, AnOutputThatStartsFailingEndsTheRunAndIsReleased) {
    const std::string lost = "Die Klangausgabe ist verloren gegangen: Test";
    service->SetErrorText(kMidiErrGeneral, lost);
    const auto fail = [this] { service->FailShortMsg(kMidiErrGeneral); };
    int64_t start = 0;
    const struct {
        const char* name;
        std::function<void()> arrange;
        size_t soundedBefore;  // Note On and Note Off both reached the device
    } cases[] = {
        {"at a note's start", [&] { host.onPending = [&](int e) { e == 3 ? fail() : void(); }; },
         2},
        // Mid-note: its Note Off and the release's second try both fail.
        {"while a note sounds",
         [&] {
             midi.SetWaitHook([&] {
                 if (clock.NowUs() - start > 667000 + 300000) fail();
             });
         },
         1},
    };
    for (const auto& c : cases) {
        host = FakeHost();
        service->FailShortMsg(kMidiNoError);
        midi.InitMidiOut();
        service->ClearMessages();
        start = clock.NowUs();
        c.arrange();
        EXPECT_EQ(MessageOf<EJclMIDIError>([&] { run.Press(); }), lost) << c.name;
        midi.SetWaitHook(nullptr);
        size_t complete = 0;
        for (const SoundedNote& n : Notes()) complete += n.offUs >= 0;
        EXPECT_EQ(complete, c.soundedBefore) << c.name;
        ExpectIdle();
        EXPECT_FALSE(midi.HasMidiOut()) << c.name;
        EXPECT_EQ(service->OpenHandleCount(), 0) << c.name;
    }
}

TEST_F(PlaybackRunTest, DoubleClickOnStoppEndsTheRunWithoutANestedOne) {
    // Both presses of a double click are handled in the same pass of element 2:
    // the first stops, the second finds the run winding down and is ignored.
    host.onPending = [this](int element) {
        if (element == 2) {
            run.Press();
            run.Press();
            EXPECT_EQ(host.caption, kCaptionPlay);
        }
    };
    run.Press();
    EXPECT_EQ(Keys(), (std::vector<int>{46, 50}));
    EXPECT_EQ(clock.NowUs(), 2 * 667000);
    ExpectIdle();
    // Once the run has ended, a press starts the next one.
    host.onPending = nullptr;
    run.Press();
    EXPECT_EQ(Keys().size(), 2u + 11u);
}

TEST_F(PlaybackRunTest, WithoutTheKeyboardTheDurationIsLookedUpFirst) {
    // Bad cells in both maps: the element's first lookup names the failing cell.
    host.NoteMap.Assign({"Note?"});
    host.TempoMap.Assign({"Tempo?"});
    for (const bool keyboard : {false, true}) {
        host.keyboard = keyboard;
        const std::string message = MessageOf<EConvertError>([&] { run.Press(); });
        EXPECT_NE(message.find(keyboard ? "Note?" : "Tempo?"), std::string::npos) << message;
        ExpectIdle();
    }
}

TEST_F(PlaybackRunTest, StopClearsTheFlagForTheRunningLoop) {
    host.onPending = [this](int element) {
        if (element == 1) run.Stop();
    };
    run.Press();
    EXPECT_EQ(Keys().size(), 1u);
    ExpectIdle();
}

TEST_F(PlaybackRunTest, BuildMelodyGivesWhatARunWouldSoundWithoutSoundingIt) {
    host.TempoMap.Assign({"2", "3"});
    host.tempoUsed = true;
    host.tempoSource = "0, 1";
    host.noteSource = "234, 382, 2349";
    const std::vector<MelodyNote> melody = BuildMelody(host);
    EXPECT_EQ(melody, (std::vector<MelodyNote>{{46, 667}, {50, 333}, {49, 667}}));
    EXPECT_TRUE(service->Messages().empty());
    EXPECT_FALSE(run.Playing());
}

TEST_F(PlaybackRunTest, RangeSoundsItsMembersAndLoopsUntilStopped) {
    host.noteSource = "0, 1, 2, 3, 4";
    host.tempoUsed = true;
    host.tempoSource = "0, 1";
    host.TempoMap = ValueListTable({"2", "3"});
    const struct {
        PlayRange range;
        std::vector<int> keys;
    } cases[] = {
        {{2, SIZE_MAX, false}, {42, 43, 44}},
        {{1, 2, false}, {41, 42}},
        {{4, 9, false}, {44}},
        {{5, 9, false}, {}},
        {{3, 1, true}, {}},
    };
    for (const auto& c : cases) {
        service->ClearMessages();
        run.Press(c.range);
        EXPECT_EQ(Keys(), c.keys) << c.range.First << ".." << c.range.Last;
    }
    // Looping over 3..4 repeats them, tempo members in step, until stopped.
    service->ClearMessages();
    host.onPending = [&](int n) {
        if (n == 7) run.Stop();
    };
    host.pending = 0;
    run.Press({3, 4, true});
    EXPECT_EQ(Keys(), (std::vector<int>{43, 44, 43, 44, 43, 44, 43}));
    EXPECT_EQ(DurationsMs(), (std::vector<int64_t>{333, 667, 333, 667, 333, 667, 333}));
    ExpectIdle();
}
