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
