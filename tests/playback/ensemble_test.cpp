#include "playback/ensemble.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>

#include "common/errors.h"
#include "midi/clock.h"
#include "midi/midi_out.h"
#include "midi/recording_service.h"
#include "support/expect_error.h"

namespace {
using Bytes = std::vector<uint8_t>;

struct Sent {
    int64_t ms;
    Bytes bytes;
    bool operator==(const Sent&) const = default;
};

void PrintTo(const Sent& s, std::ostream* os) {
    *os << s.ms << "ms:";
    for (uint8_t b : s.bytes) *os << ' ' << std::hex << int(b) << std::dec;
}

class StopAt : public IEnsembleObserver {
public:
    // stopUs after now.
    StopAt(IClock& clock, int64_t stopUs)
        : clock_(clock), stopUs_(stopUs == INT64_MAX ? stopUs : clock.NowUs() + stopUs) {}
    bool KeepPlaying() override { return clock_.NowUs() < stopUs_; }
    void NoteStarted(const EnsembleEvent& e) override {
        if (onStart) onStart(e);
    }
    std::function<void(const EnsembleEvent&)> onStart;

private:
    IClock& clock_;
    int64_t stopUs_;
};

class Ensemble : public ::testing::Test {
protected:
    void SetUp() override {
        clock.AdvanceUs(5'000'000);  // the run starts anywhere, not at 0
        output = TMidiOut::Create(service, 0);
    }
    std::vector<Sent> Stream() const {
        std::vector<Sent> result;
        for (const auto& m : service->Messages())
            result.push_back({(m.timeUs - 5'000'000) / 1000, m.bytes});
        return result;
    }
    bool Play(const std::vector<EnsembleVoice>& voices, int64_t stopUs = INT64_MAX) {
        StopAt observer(clock, stopUs);
        return PlayEnsemble(BuildEnsembleTimeline(voices), *output, clock, observer);
    }
    void ExpectSilent() const {
        for (int channel = 1; channel <= 16; ++channel)
            EXPECT_TRUE(output->ActiveNotes(channel).none()) << "channel " << channel;
    }

    VirtualClock clock;
    std::shared_ptr<RecordingMidiService> service =
        std::make_shared<RecordingMidiService>(std::vector<std::string>{"Test"}, &clock);
    std::shared_ptr<TMidiOut> output;
};

TEST_F(Ensemble, TwoVoicesWithAnOffsetInterleaveOnTheirChannels) {
    EnsembleVoice melody{
        .Melody = TimelineOf({{40, 500}, {0, 250}, {42, 500}}), .Channel = 1, .Program = 0};
    // A quarter at tempo 120 later, a fifth up, softer, with a rest by transposition out of range.
    EnsembleVoice bass{.Melody = TimelineOf({{33, 500}, {120, 500}, {35, 250}}),
                       .Channel = 10,
                       .Program = 25,
                       .Transpose = 7,
                       .Velocity = 64,
                       .OffsetUs = VoiceOffsetUs(0.25, 120)};
    EXPECT_TRUE(Play({melody, bass}));
    EXPECT_EQ(Stream(), (std::vector<Sent>{
                            {0, {0xC0, 0}},
                            {0, {0xC9, 25}},
                            {0, {0x90, 48, 110}},
                            {500, {0x80, 48, 110}},
                            {500, {0x99, 48, 64}},
                            {750, {0x90, 50, 110}},
                            {1000, {0x89, 48, 64}},
                            {1250, {0x80, 50, 110}},
                            {1500, {0x99, 50, 64}},
                            {1750, {0x89, 50, 64}},
                        }));
}

TEST_F(Ensemble, ACanonsSecondVoiceIsTheFirstShiftedExactly) {
    EnsembleVoice first{
        .Melody = TimelineOf({{40, 667}, {47, 333}, {0, 167}, {44, 1333}, {40, 0}, {51, 83}}),
        .Channel = 1};
    EnsembleVoice second = first;
    second.Channel = 2;
    second.OffsetUs = VoiceOffsetUs(0.25, 90);  // 666.67 ms: not on a millisecond
    const EnsembleTimeline timeline = BuildEnsembleTimeline({first, second});
    std::vector<EnsembleEvent> leader, follower;
    for (EnsembleEvent e : timeline.Events) {
        if (e.Voice == 0) leader.push_back(e);
        if (e.Voice == 1) {
            e.TimeUs -= 666667;
            e.Voice = 0;
            e.Channel = 1;
            follower.push_back(e);
        }
    }
    EXPECT_EQ(leader.size(), 10u);
    EXPECT_EQ(follower, leader);
    EXPECT_EQ(timeline.EndUs, 666667 + 2583000);
}

TEST_F(Ensemble, MuteAndSoloChooseTheVoicesThatSound) {
    struct Case {
        std::vector<std::pair<bool, bool>> muteSolo;
        std::vector<int> audible;
    };
    const Case cases[] = {
        {{{false, false}, {false, false}, {false, false}}, {0, 1, 2}},
        {{{true, false}, {false, false}, {false, false}}, {1, 2}},
        {{{false, false}, {false, true}, {false, false}}, {1}},
        {{{false, true}, {false, true}, {true, false}}, {0, 1}},
        // A muted solo silences itself and solos nothing.
        {{{false, false}, {true, true}, {false, false}}, {0, 2}},
    };
    for (const Case& c : cases) {
        std::vector<EnsembleVoice> voices;
        for (size_t i = 0; i < c.muteSolo.size(); ++i)
            voices.push_back({.Melody = TimelineOf({{40, 100}}),
                              .Channel = int(i) + 1,
                              .Mute = c.muteSolo[i].first,
                              .Solo = c.muteSolo[i].second});
        std::vector<int> audible;
        for (const EnsembleEvent& e : BuildEnsembleTimeline(voices).Events)
            if (e.On) audible.push_back(e.Voice);
        EXPECT_EQ(audible, c.audible);
    }
}

TEST_F(Ensemble, AKeyStruckAgainOnItsChannelEndsFirstAndKeepsSounding) {
    // The second voice strikes the first one's key while it sounds; the first
    // voice's own end must not cut the second note short.
    EnsembleVoice a{.Melody = TimelineOf({{40, 1000}}), .Channel = 3};
    EnsembleVoice b{.Melody = TimelineOf({{40, 1000}}), .Channel = 3, .OffsetUs = 500'000};
    EnsembleVoice otherChannel{
        .Melody = TimelineOf({{40, 1000}}), .Channel = 4, .OffsetUs = 250'000};
    EXPECT_TRUE(Play({a, b, otherChannel}));
    EXPECT_EQ(Stream(), (std::vector<Sent>{
                            {0, {0xC2, 0}},
                            {0, {0xC3, 0}},
                            {0, {0x92, 48, 110}},
                            {250, {0x93, 48, 110}},
                            {500, {0x82, 48, 110}},
                            {500, {0x92, 48, 110}},
                            {1250, {0x83, 48, 110}},
                            {1500, {0x82, 48, 110}},
                        }));
    ExpectSilent();
}

TEST_F(Ensemble, AStopInTheMiddleLeavesNoNoteOn) {
    std::vector<EnsembleVoice> voices;
    for (int i = 0; i < 3; ++i)
        voices.push_back({.Melody = TimelineOf({{40 + i, 400}, {50 + i, 400}, {60 + i, 400}}),
                          .Channel = i + 1,
                          .OffsetUs = int64_t{i} * 100'000});
    EXPECT_FALSE(Play(voices, /*stopUs=*/650'000));
    ExpectSilent();
    const std::vector<Sent> sent = Stream();
    // Every voice was sounding its second note; nothing started after the stop.
    ASSERT_GE(sent.size(), 3u);
    for (size_t i = sent.size() - 3; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].bytes[0] & 0xF0, 0x80);
        EXPECT_LT(sent[i].ms, 700);
    }
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                            [](const Sent& s) { return (s.bytes[0] & 0xF0) == 0x90; }),
              6);
}

TEST_F(Ensemble, AFailureDuringTheRunStillSilencesEveryNote) {
    EnsembleVoice a{.Melody = TimelineOf({{40, 1000}}), .Channel = 1};
    EnsembleVoice b{.Melody = TimelineOf({{44, 500}, {45, 500}}), .Channel = 2};
    StopAt observer(clock, INT64_MAX);
    observer.onStart = [](const EnsembleEvent& e) {
        if (e.Key == 45) throw EInvalidInput("Anzeige gestört");
    };
    EXPECT_EQ(MessageOf<EInvalidInput>([&] {
                  PlayEnsemble(BuildEnsembleTimeline({a, b}), *output, clock, observer);
              }),
              "Anzeige gestört");
    ExpectSilent();
}

TEST_F(Ensemble, AnEnsembleThatCannotPlayIsRefusedNamingTheVoice) {
    const std::vector<EnsembleVoice> valid(2, EnsembleVoice{.Name = "Bass"});
    struct Case {
        std::function<void(std::vector<EnsembleVoice>&)> change;
        const char* message;
    };
    const Case cases[] = {
        {[](auto& v) { v[1].Channel = 17; },
         "Stimme 2 (Bass): Der MIDI-Kanal 17 liegt nicht zwischen 1 und 16"},
        {[](auto& v) { v[0].Velocity = 0; },
         "Stimme 1 (Bass): Die Anschlagstärke 0 liegt nicht zwischen 1 und 127"},
        {[](auto& v) { v[0].Transpose = -128; },
         "Stimme 1 (Bass): Die Transposition -128 liegt nicht zwischen -127 und 127 Halbtönen"},
        {[](auto& v) { v[1].Name.clear(), v[1].Program = 128; },
         "Stimme 2: Das Instrument 128 liegt nicht zwischen 0 und 127"},
        {[](auto& v) { v.resize(17); }, "Höchstens 16 Stimmen können zusammen spielen"},
    };
    for (const Case& c : cases) {
        std::vector<EnsembleVoice> voices = valid;
        c.change(voices);
        EXPECT_EQ(MessageOf<EInvalidInput>([&] { BuildEnsembleTimeline(voices); }), c.message);
    }
    EXPECT_EQ(MessageOf<EInvalidInput>([] { VoiceOffsetUs(-0.5, 90); }),
              "Der Einsatz einer Stimme muss zwischen 0 und 10000 ganzen Noten liegen");
}

}  // namespace

TEST_F(Ensemble, MuteAndVelocityTakeEffectWhileTheVoicesPlay) {
    // From 500 ms on, voice 1 is muted and voice 2 plays softer.
    struct Mixer : StopAt {
        using StopAt::StopAt;
        std::optional<uint8_t> LiveVelocity(int voice, uint8_t velocity) override {
            if (clock->NowUs() - startUs < 500'000) return velocity;
            if (voice == 0) return std::nullopt;
            return uint8_t{50};
        }
        IClock* clock = nullptr;
        int64_t startUs = 0;
    } mixer(clock, INT64_MAX);
    mixer.clock = &clock;
    mixer.startUs = clock.NowUs();
    const std::vector<EnsembleVoice> voices{
        {.Melody = TimelineOf({{40, 400}, {41, 400}, {42, 400}}), .Channel = 1},
        {.Melody = TimelineOf({{50, 400}, {51, 400}, {52, 400}}), .Channel = 2}};
    EXPECT_TRUE(PlayEnsemble(BuildEnsembleTimeline(voices, true), *output, clock, mixer));
    ExpectSilent();
    std::vector<Sent> channel1, late2;
    for (const Sent& s : Stream()) {
        if ((s.bytes[0] & 0x0F) == 0 && (s.bytes[0] & 0xF0) != 0xC0) channel1.push_back(s);
        if ((s.bytes[0] & 0x0F) == 1 && s.ms >= 800 && (s.bytes[0] & 0xF0) != 0xC0)
            late2.push_back(s);
    }
    // The muted voice's sounding note ends at the next poll, and no other starts.
    ASSERT_EQ(channel1.size(), 4u);
    EXPECT_EQ(channel1[3].bytes[0] & 0xF0, 0x80);
    EXPECT_GE(channel1[3].ms, 500);
    EXPECT_LT(channel1[3].ms, 500 + kEnsemblePollUs / 1000 + 1);
    // The other voice's note sounding then ends as it began; the next one,
    // and its end, carry the new velocity.
    ASSERT_EQ(late2.size(), 3u);
    EXPECT_EQ(late2[0].bytes, (Bytes{0x81, late2[0].bytes[1], 110}));
    EXPECT_EQ(late2[1].bytes, (Bytes{0x91, late2[2].bytes[1], 50}));
    EXPECT_EQ(late2[2].bytes.back(), 50);
}
