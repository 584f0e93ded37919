#include "playback/expression.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "midi/midi_out.h"
#include "playback/ensemble.h"
#include "playback/run.h"
#include "playback/timeline.h"
#include "support/expect_error.h"
#include "support/list_host.h"
#include "support/midi_fixture.h"

namespace {

// The notes from a typed list; each expression from the notes or its own list.
class ExpressionHost : public ListHost {
public:
    bool ExpressionSequenceUsed(Expression kind) override { return !Own(kind).empty(); }
    std::string ReadExpressionSource(Expression kind) override { return Own(kind); }
    std::string velocities, pans;

private:
    std::string& Own(Expression kind) { return kind == Expression::Dynamics ? velocities : pans; }
};

ValueListTable Map(std::vector<std::string> values) { return ValueListTable(values); }

}  // namespace

TEST(Expression, TheRemainderPicksTheRowAndABadRowIsNamed) {
    const ValueListTable velocities = Map({"20", "127", "1"});
    EXPECT_EQ(ExpressionLookup(Expression::Dynamics, velocities, "4"), 127);
    // A member of any length, as the note map takes it.
    EXPECT_EQ(ExpressionLookup(Expression::Dynamics, velocities, "100000000000000000000001"), 1);
    EXPECT_EQ(ExpressionLookup(Expression::Panorama, Map({"-64", "63"}), "0"), -64);
    const struct {
        Expression kind;
        std::vector<std::string> map;
        const char* member;
        const char* message;
    } refused[] = {
        {Expression::Dynamics,
         {"110", "0"},
         "3",
         "Anschlagtabelle, Zeile 1: 0 liegt nicht zwischen 1 und 127"},
        {Expression::Dynamics,
         {"128"},
         "0",
         "Anschlagtabelle, Zeile 0: 128 liegt nicht zwischen 1 und 127"},
        {Expression::Panorama,
         {"0", "1", "64"},
         "5",
         "Panoramatabelle, Zeile 2: 64 liegt nicht zwischen -64 und 63"},
        {Expression::Panorama,
         {"-65"},
         "7",
         "Panoramatabelle, Zeile 0: -65 liegt nicht zwischen -64 und 63"},
        {Expression::Panorama,
         {"links"},
         "1",
         "Panoramatabelle, Zeile 0: 'links' ist kein gültiger Integerwert"},
        {Expression::Dynamics, {}, "1", "Die Anschlagtabelle hat keine Zeile"},
    };
    for (const auto& r : refused)
        EXPECT_EQ(MessageOf<EInvalidInput>([&] { ExpressionLookup(r.kind, Map(r.map), r.member); }),
                  r.message);
    EXPECT_EQ(OffsetPan(50, 20), 63);
    EXPECT_EQ(OffsetPan(-60, -20), -64);
}

TEST(Expression, EachNoteTakesItsMembersFromTheNotesOrItsOwnSequence) {
    ExpressionHost host;
    host.notes = "1, 2, 0, 3";
    host.NoteMap.Assign({"0", "40", "41", "42"});  // member 0 a rest
    // Off: nothing on the notes, as before the maps existed.
    const MelodyTimeline off = BuildTimeline(host);
    for (const NoteEvent& e : off.Events()) {
        EXPECT_FALSE(e.Velocity) << e.Key;
        EXPECT_FALSE(e.Pan) << e.Key;
    }
    host.VelocityMap = Map({"10", "20", "30"});  // by the note members
    host.PanMap = Map({"-40", "0", "40"});
    host.pans = "2, 0";   // its own, repeated as the tempo sequence is
    host.PanOffset = 30;  // the sum clamped
    const struct { int velocity, pan; } expected[] = {{20, 63}, {30, -10}, {10, 63}, {10, -10}};
    const MelodyTimeline timeline = BuildTimeline(host);
    ASSERT_EQ(timeline.Events().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(timeline.Events()[i].Velocity, expected[i].velocity) << i;
        EXPECT_EQ(timeline.Events()[i].Pan, expected[i].pan) << i;
    }
    // A voice pan without a pan map places every note there.
    host.PanMap.reset();
    host.PanOffset = -20;
    EXPECT_EQ(BuildTimeline(host).Events()[1].Pan, -20);
    // An own sequence that fails is named.
    class Failing : public ExpressionHost {
        std::string ReadExpressionSource(Expression) override {
            throw EInvalidInput("Die Formel ist leer");
        }
    } failing;
    failing.notes = "1";
    failing.PanMap = Map({"0"});
    failing.pans = "x";
    EXPECT_EQ(MessageOf<EInvalidInput>([&] { BuildTimeline(failing); }),
              "Panoramafolge: Die Formel ist leer");
}

// Controller 10 per channel: before the first note with a pan and each whose
// pan differs from the last sent there; a rest sends none.
TEST(Expression, ThePanGoesOutPerChannelWhereItChanges) {
    MelodyTimeline panned;
    for (const auto& [key, pan] : {std::pair{40, 10}, {0, -5}, {41, 10}, {42, -5}, {43, -5}})
        panned.Append(
            {0, 100, key, std::nullopt, static_cast<uint8_t>(key + 50), static_cast<int8_t>(pan)});
    MelodyTimeline plain;
    plain.Append(45, 100);
    const EnsembleTimeline timeline =
        BuildEnsembleTimeline({{.Melody = panned}, {.Melody = plain, .Channel = 2}});
    std::vector<std::pair<int, int>> controllers;  // note, value
    for (const EnsembleEvent& e : timeline.Events) {
        if (!e.On) {
            EXPECT_FALSE(e.PanController);
            continue;
        }
        // The map's velocity, and only that, is the note's own.
        EXPECT_EQ(e.MapVelocity, e.Channel == 1);
        EXPECT_EQ(e.Velocity, e.Channel == 1 ? e.Key + 50 : kDefaultVoiceVelocity);
        if (e.PanController) controllers.emplace_back(e.Note, *e.PanController);
    }
    EXPECT_EQ(controllers, (std::vector<std::pair<int, int>>{{48, 74}, {50, 59}}));
}

class LiveExpression : public RecordedMidi {};

// What the run and the scheduler send: the controller right before its note,
// and a Note Off with its Note On's velocity.
TEST_F(LiveExpression, BothRunsSendThePanBeforeTheNoteAndTheVelocityOnBothEnds) {
    ExpressionHost host;
    host.notes = "1, 2, 2";
    host.VelocityMap = Map({"30", "60", "90"});
    host.PanMap = Map({"0", "-64", "63"});
    PlaybackRun run(host, midi);
    run.Press();
    const std::vector<Bytes> single = {{0xC0, 0},      {0xB0, 10, 0},   {0x90, 49, 60},
                                       {0x80, 49, 60}, {0xB0, 10, 127}, {0x90, 50, 90},
                                       {0x80, 50, 90}, {0x90, 50, 90},  {0x80, 50, 90}};
    EXPECT_EQ(Sent(), single);

    service->ClearMessages();
    const EnsembleTimeline timeline =
        BuildEnsembleTimeline({{.Melody = BuildTimeline(host), .Channel = 3}});
    IEnsembleObserver observer;
    PlayEnsemble(timeline, *midi.GetMidiOutput(0), clock, observer);
    std::vector<Bytes> ensemble = single;
    for (Bytes& message : ensemble) message[0] = static_cast<uint8_t>(message[0] | 2);
    EXPECT_EQ(Sent(), ensemble);
}
