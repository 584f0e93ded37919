#include "playback/melody_view.h"

#include <gtest/gtest.h>

#include <set>

#include "playback/startup.h"
#include "support/list_host.h"

TEST(MelodyView, LinesNameMemberRemainderKeyAndLength) {
    ListHost host;
    host.notes = "1597, 0, 13";
    host.NoteMap.SetValue(0, "0");  // remainder 0 rests
    host.TempoMap = ValueListTable({"2", "9", "1", "-2", "9"});
    const DescribedMelody melody = DescribeMelody(host, host.NoteMap.RowCount());
    ASSERT_EQ(melody.Members, (std::vector<std::string>{"1597", "0", "13"}));
    EXPECT_EQ(MelodyText(melody),
              "Glied 1: 1597 → Rest 1 (mod 12) → Taste 41 (cis') · Halbe\n"
              "Glied 2: 0 → Rest 0 (mod 12) → Pause · Viertel\n"
              "Glied 3: 13 → Rest 1 (mod 12) → Taste 41 (cis') · 4 Ganze\n");
    EXPECT_EQ(MelodyCsv(melody),
              "Glied,Wert,Rest,Taste,Länge (ms)\n1,1597,1,41,1333\n2,0,0,0,667\n3,13,1,41,10667\n");
    EXPECT_EQ(NoteLine(16, "1597", 12, 41, 2, 667),
              "Glied 17: 1597 → Rest 1 (mod 12) → Taste 41 (cis') · Viertel");
    // The picture's line names what the expression maps give a note.
    DescribedMelody expressive{{}, {"5"}, 12};
    expressive.Timeline.Append({.StartMs = 0,
                                .DurationMs = 667,
                                .Key = 45,
                                .LengthExponent = {},
                                .Velocity = 90,
                                .Pan = -64});
    EXPECT_EQ(NoteLine(expressive, 0),
              "Glied 1: 5 → Rest 5 (mod 12) → Taste 45 (f') · 667 ms · Anschlag 90 · Panorama -64 "
              "(links)");
}

TEST(MelodyView, KeyAndLengthNames) {
    const struct {
        int32_t key;
        const char* name;
    } keys[] = {{1, "Subkontra A"}, {2, "Subkontra B"},
                {14, "Kontra Ais"}, {40, "c'"},
                {77, "cis''''"},    {78, "d''''"},
                {88, "c'''''"},     {0, "Pause"},
                {-3, "Pause"},      {89, "jenseits der Klaviatur"}};
    for (const auto& k : keys) EXPECT_EQ(KeyName(k.key), k.name) << k.key;
    EXPECT_EQ(LengthName(4, 167), "Sechzehntel");
    EXPECT_EQ(LengthName(7, 21), "1/128");
    EXPECT_EQ(LengthName(-1, 5333), "2 Ganze");
    EXPECT_EQ(LengthName(std::nullopt, 250), "250 ms");
    EXPECT_EQ(LengthName(INT32_MIN, 0), "0 ms");
}

namespace {
EnsembleVoice Voice(std::string name, std::vector<int32_t> keys, int32_t ms, int transpose = 0,
                    int64_t offsetUs = 0) {
    EnsembleVoice v;
    v.Name = std::move(name);
    for (int32_t key : keys) v.Melody.Append(key, ms, ms == 500 ? 2 : 0);
    v.Transpose = transpose;
    v.OffsetUs = offsetUs;
    return v;
}
}  // namespace

TEST(MelodyView, RollHoldsTheAudibleVoicesNotesInTimeOrderTransposed) {
    std::vector<EnsembleVoice> voices = {
        Voice("Melodie", {40, 0, 45}, 500),           // the rest is a gap
        Voice("Bass", {28, 30}, 1000, -12, 250'400),  // offset rounded to ms
        Voice("Stumm", {50}, 1000),                   // muted below
        Voice("Hoch", {40, 10}, 1000, 100)};          // 40 + 100 leaves MIDI's range
    voices[2].Mute = true;
    const struct {
        int solo;  // -1: none
        std::vector<RollNote> notes;
        int64_t endMs;
    } cases[] = {
        {-1,
         {{0, 500, 40, 0, 0, 2},
          {250, 1000, 16, 1, 0, 0},
          {1000, 500, 45, 0, 2, 2},
          {1000, 1000, 110, 3, 1, 0},
          {1250, 1000, 18, 1, 1, 0}},
         2250},
        {1, {{250, 1000, 16, 1, 0, 0}, {1250, 1000, 18, 1, 1, 0}}, 2250},
        {0, {{0, 500, 40, 0, 0, 2}, {1000, 500, 45, 0, 2, 2}}, 1500},
    };
    for (const auto& c : cases) {
        for (size_t v = 0; v < voices.size(); ++v) voices[v].Solo = static_cast<int>(v) == c.solo;
        const EnsembleRoll roll = RollOf(voices);
        EXPECT_EQ(roll.Notes, c.notes) << c.solo;
        EXPECT_EQ(roll.EndMs, c.endMs) << c.solo;
        EXPECT_EQ(roll.Names.size(), 4u);  // voice indices stay those of the window
    }
    voices[0].Solo = false;
    const EnsembleRoll roll = RollOf(voices);
    EXPECT_EQ(RollNoteLine(roll, 2), "Stimme 1 (Melodie): Glied 3 → Taste 45 (f') · Viertel");
    EXPECT_EQ(RollNoteLine(roll, 3), "Stimme 4 (Hoch): Glied 2 → Taste 110 · Ganze");
}

TEST(MelodyView, EachVoiceItsOwnColourTheFirstRed) {
    EXPECT_EQ(VoiceColour(0), 0xFF0000u);
    std::set<uint32_t> colours;
    for (int v = 0; v < kMaxEnsembleVoices; ++v) colours.insert(VoiceColour(v));
    EXPECT_EQ(colours.size(), static_cast<size_t>(kMaxEnsembleVoices));
    // A key marked in white or black would look unmarked.
    EXPECT_EQ(colours.count(0xFFFFFF) + colours.count(0x000000), 0u);
}

TEST(MelodyView, ColumnsHoldTheLowestAndHighestOfWhatFallsIntoThem) {
    // Any range over several blocks of the tree, rests (NaN) skipped.
    std::vector<double> values;
    for (int i = 0; i < 70; ++i) values.push_back(i % 7 == 3 ? NAN : (i * 37) % 101);
    const RangeSpans spans(values);
    for (size_t from = 0; from <= values.size(); ++from)
        for (size_t to = from; to <= values.size() + 2; ++to) {
            ColumnSpan expected;
            for (size_t i = from; i < std::min(to, values.size()); ++i) expected.Add(values[i]);
            ASSERT_EQ(spans.Of(from, to), expected) << from << ".." << to;
        }

    const auto span = [](double low, double high, int64_t latest = INT64_MIN) {
        return ColumnSpan{low, high, latest};
    };
    const ColumnSpan none;
    // Member i stands at i + 0.5: two to a column, or gaps where columns outnumber them.
    const RangeSpans plot({5, 1, 9, 3, 7});
    EXPECT_EQ(PlotColumns(plot, 0, 2, 4),
              (std::vector<ColumnSpan>{span(1, 5), span(3, 9), span(7, 7), none}));
    EXPECT_EQ(PlotColumns(plot, 1.5, 0.5, 3),
              (std::vector<ColumnSpan>{span(1, 1), none, span(9, 9)}));

    // c' held over two columns, a rest, two short notes in one column, one of
    // no length (it sounds nowhere), then a long one.
    MelodyTimeline melody;
    for (auto [key, ms] :
         {std::pair{40, 1500}, {0, 1000}, {52, 250}, {45, 250}, {47, 0}, {50, 2000}})
        melody.Append(key, ms);
    const KeyTrack track(melody.Events());
    EXPECT_EQ(track.Columns(0, 1000, 6),
              (std::vector<ColumnSpan>{span(40, 40, 0), span(40, 40, 1500), span(45, 52, 2750),
                                       span(50, 50, 3000), span(50, 50, 3000), none}));
    EXPECT_EQ(track.Columns(1250, 500, 3),
              (std::vector<ColumnSpan>{span(40, 40, 1500), none, span(52, 52, 2500)}));

    // Each voice's notes on their own track, transposed.
    const EnsembleRoll roll =
        RollOf({Voice("Melodie", {40, 45}, 500), Voice("Bass", {28}, 1000, -12)});
    const std::vector<KeyTrack> tracks = TracksOf(roll);
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0].Columns(0, 500, 2),
              (std::vector<ColumnSpan>{span(40, 40, 0), span(45, 45, 500)}));
    EXPECT_EQ(tracks[1].Columns(0, 1000, 1), (std::vector<ColumnSpan>{span(16, 16, 0)}));
}
