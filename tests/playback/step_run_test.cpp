#include "playback/step_run.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "midi/midi_out.h"
#include "playback/run.h"
#include "playback/startup.h"
#include "support/midi_fixture.h"

namespace {
MidiInEvent On(uint8_t note, uint8_t velocity, uint8_t channel = 0) {
    return {static_cast<uint8_t>(0x90 | channel), note, velocity};
}
MidiInEvent Off(uint8_t note) { return {0x80, note, 64}; }

// One thing that happens to a step run: an input message, or only time passing.
struct Step {
    int64_t atMs;
    std::optional<MidiInEvent> event;  // none: a tick
};

struct StepCase {
    const char* name;
    std::vector<Step> steps;
    std::vector<Bytes> sent;
};

class StepRunTest : public RecordedMidi {};

// Keys 40 (note 48, 500 ms), a rest (300 ms), 44 (note 52, 100 ms).
const std::vector<MelodyNote> kMelody = {{40, 500}, {0, 300}, {44, 100}};

TEST_F(StepRunTest, InputMessagesSoundTheMembersInTurn) {
    const StepCase cases[] = {
        {"a release ends the member, with the pressed velocity",
         {{0, On(60, 90)}, {200, Off(60)}},
         {{0x90, 48, 90}, {0x80, 48, 110}}},
        {"its length ends it before the release, which then does nothing",
         {{0, On(60, 90)}, {499, std::nullopt}, {500, std::nullopt}, {900, Off(60)}},
         {{0x90, 48, 90}, {0x80, 48, 110}}},
        {"a press ends the one still held; a rest sounds nothing; then the first again, "
         "silenced when the run goes",
         {{0, On(60, 1)}, {10, On(61, 127)}, {20, On(62, 5)}, {30, On(63, 70)}},
         {{0x90, 48, 1},
          {0x80, 48, 110},
          {0x90, 52, 5},
          {0x80, 52, 110},
          {0x90, 48, 70},
          {0x80, 48, 110}}},
        {"a Note On of velocity 0 releases; only the key that pressed ends it",
         {{0, On(60, 50, 3)}, {5, Off(61)}, {6, {{0xB0, 7, 100}}}, {10, On(60, 0)}},
         {{0x90, 48, 50}, {0x80, 48, 110}}},
    };
    for (const StepCase& c : cases) {
        SCOPED_TRACE(c.name);
        service->ClearMessages();
        {
            StepRun run(kMelody, midi.Output());
            for (const Step& step : c.steps) {
                if (step.event)
                    run.Feed(*step.event, step.atMs);
                else
                    run.Tick(step.atMs);
            }
        }
        EXPECT_EQ(Sent(), c.sent);
    }
}

// The window's run on a queue that a fake keyboard fills between the checks.
class SteppedHost : public QuietPlaybackHost {
public:
    std::string ReadNoteSource() override { return "1, 2, 3"; }
    bool TempoSequenceUsed() override { return false; }
    std::string ReadTempoSource() override { return {}; }
    bool KeyboardWanted() override { return true; }
    void MarkKey(int32_t key) override { marked.push_back(key); }
    void UnmarkKey(int32_t key) override { unmarked.push_back(key); }
    void ProcessPendingMessages() override {
        if (auto it = script.find(++pending); it != script.end()) it->second();
    }
    void NoteStarting(size_t index, std::string_view member, std::string_view) override {
        started.emplace_back(index, std::string(member));
    }
    int pending = 0;
    std::map<int, std::function<void()>> script;
    std::vector<int32_t> marked, unmarked;
    std::vector<std::pair<size_t, std::string>> started;
};

TEST_F(StepRunTest, APressedRunFollowsTheInputAndEndsAfterOnePassWhenAskedTo) {
    SteppedHost host;
    MidiInQueue queue;
    PlaybackRun run(host, midi);
    run.SetStepInput({&queue, true});
    host.script = {{2, [&] { queue.Push(On(60, 80)); }},
                   {4, [&] { queue.Push(Off(60)); }},
                   {6, [&] { queue.Push(On(61, 100)), queue.Push(On(62, 30)); }},
                   {9, [&] { queue.Push(Off(62)); }}};
    std::vector<int32_t> keys;
    for (const MelodyNote& note : BuildMelody(host)) keys.push_back(note.Key);
    ASSERT_EQ(keys.size(), 3U);
    service->ClearMessages();
    run.Press();
    EXPECT_FALSE(run.Playing());
    const std::vector<std::pair<size_t, std::string>> started = {{0, "1"}, {1, "2"}, {2, "3"}};
    EXPECT_EQ(host.started, started);
    std::vector<Bytes> ons;
    for (const Bytes& m : Sent())
        if (m.size() == 3 && m[0] == 0x90) ons.push_back(m);
    const std::vector<Bytes> expected = {{0x90, uint8_t(keys[0] + 8), 80},
                                         {0x90, uint8_t(keys[1] + 8), 100},
                                         {0x90, uint8_t(keys[2] + 8), 30}};
    EXPECT_EQ(ons, expected);
    EXPECT_EQ(host.marked, keys);
    EXPECT_EQ(host.unmarked, keys);
    EXPECT_TRUE(midi.Output()->ActiveNotes(1).none());
}

TEST_F(StepRunTest, StopSilencesTheHeldMember) {
    SteppedHost host;
    MidiInQueue queue;
    PlaybackRun run(host, midi);
    run.SetStepInput({&queue, false});
    // A press made before the run does not count.
    queue.Push(On(59, 100));
    host.script = {{2, [&] { queue.Push(On(60, 80)); }}, {5, [&] { run.Stop(); }}};
    run.Press();
    ASSERT_EQ(host.started.size(), 1U);
    EXPECT_EQ(host.started.front().first, 0U);
    ASSERT_FALSE(Sent().empty());
    EXPECT_EQ(Sent().back()[0], 0x80);
    EXPECT_TRUE(midi.Output()->ActiveNotes(1).none());
    EXPECT_EQ(host.unmarked, host.marked);
}
}  // namespace
