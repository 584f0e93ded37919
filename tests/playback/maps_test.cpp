#include "playback/maps.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "support/expect_error.h"

namespace {
ValueListTable Chromatic() {
    ValueListTable t;
    EXPECT_TRUE(ApplyScalePreset(t, 7, 40));
    return t;
}

std::vector<std::string> Values(const ValueListTable& t) {
    std::vector<std::string> v;
    for (int i = 0; i < t.RowCount(); ++i) {
        EXPECT_EQ(t.Key(i), std::to_string(i));
        v.push_back(t.Value(i));
    }
    return v;
}
}  // namespace

TEST(MapLookup, MembersSelectTheRowOfTheirRemainder) {
    const ValueListTable notes = Chromatic();
    // Members beyond every integer type keep their remainder: 13! is a
    // multiple of 12, and 10^k leaves 4 for every k >= 2.
    const struct {
        const char* member;
        int32_t key;
    } cases[] = {
        {"0", 40},
        {"12", 40},
        {"13", 41},
        {"0013", 41},
        {"11", 51},
        {"2147483647", 40 + 7},
        {"6227020800", 40},
        {"18446744073709551617", 40 + 5},
        {"10000000000000000000000000000000000000000000000003", 40 + 7},
    };
    for (const auto& c : cases) EXPECT_EQ(MapLookup(notes, c.member), c.key) << c.member;
}

TEST(MapLookup, CellThatIsNoIntegerFailsWithItsText) {
    for (const char* cell : {"", "abc", "1.5", " 3", "2147483648", "4x"}) {
        ValueListTable t({"1", cell});
        EXPECT_EQ(MessageOf<EConvertError>([&] { MapLookup(t, "1"); }),
                  std::string("'") + cell + "' ist kein gültiger Integerwert");
        EXPECT_EQ(MapLookup(t, "0"), 1);  // the other row still reads
    }
}

TEST(NoteDuration, FollowsLengthAndTempoRoundingHalvesToEven) {
    const struct {
        int32_t length;
        int tempo;
        int32_t ms;
    } cases[] = {
        {2, 90, 667},          {0, 120, 2000},        {3, 220, 136},    {7, 150, 12},
        {-1, 60, 8000},        {1, 64, 1875},         {5, 20, 375},     {40, 20, 0},
        {-17, 220, 142987636}, {-17, 20, 1572864000}, {1000000, 90, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NoteDurationMs(c.length, c.tempo), c.ms) << c.length << " @ " << c.tempo;
}

TEST(NoteDuration, RefusesDurationsBeyondThe32BitWait) {
    for (int32_t length : {-18, -40, -1000000, INT32_MIN}) {
        EXPECT_THROW(NoteDurationMs(length, 20), EInvalidInput) << length;
    }
    EXPECT_EQ(NoteDurationMs(-17, 20),
              1572864000);  // the longest wait the slider allows still fits
}

TEST(GetKeyOrTempo, ReadsTheMapsAsTheyAreAtTheCall) {
    ValueListTable notes = Chromatic();
    ValueListTable tempi({"2"});
    EXPECT_EQ(GetKeyOrTempo(LookupKind::Key, "25", notes, tempi, 90), 41);
    EXPECT_EQ(GetKeyOrTempo(LookupKind::DurationMs, "25", notes, tempi, 90), 667);
    notes.SetValue(1, "0");
    tempi.AppendRow("3");
    EXPECT_EQ(GetKeyOrTempo(LookupKind::Key, "25", notes, tempi, 90), 0);
    EXPECT_EQ(GetKeyOrTempo(LookupKind::DurationMs, "25", notes, tempi, 120), 250);
    EXPECT_EQ(GetKeyOrTempo(LookupKind::DurationMs, "24", notes, tempi, 120), 500);
}

TEST(ScalePreset, ModesOnRoots) {
    const struct {
        int mode, root;
        std::vector<std::string> values;
    } cases[] = {
        {1, 40, {"40", "42", "44", "45", "47", "49", "51"}},
        {2, 40, {"40", "42", "43", "45", "47", "49", "50"}},
        {3, 1, {"1", "2", "4", "6", "8", "9", "11"}},
        {4, 40, {"40", "42", "44", "46", "47", "49", "51"}},
        {5, 40, {"40", "42", "44", "45", "47", "49", "50"}},
        {6, 40, {"40", "42", "43", "45", "47", "48", "50"}},
        {7, 77, {"77", "78", "79", "80", "81", "82", "83", "84", "85", "86", "87", "88"}},
    };
    for (const auto& c : cases) {
        ValueListTable t({"5", "6"});
        EXPECT_TRUE(ApplyScalePreset(t, c.mode, c.root));
        EXPECT_EQ(Values(t), c.values) << "mode " << c.mode;
    }
}

TEST(ScalePreset, ShrinksAndGrowsRewritingEveryValue) {
    ValueListTable t = Chromatic();
    t.SetValue(3, "99");
    ApplyScalePreset(t, 2, 40);
    EXPECT_EQ(t.RowCount(), 7);
    ApplyScalePreset(t, 7, 40);
    EXPECT_EQ(Values(t), Values(Chromatic()));
}

TEST(ScalePreset, NoPresetOrUnlistedIndexLeavesTheMap) {
    const struct {
        int mode, root;
    } cases[] = {{0, 40}, {7, 0}, {-1, 40}, {16, 40}, {15, 40}, {7, 78}, {3, -1}};
    for (const auto& c : cases) {
        ValueListTable t({"1", "2", "3"});
        EXPECT_FALSE(ApplyScalePreset(t, c.mode, c.root));
        EXPECT_EQ(Values(t), (std::vector<std::string>{"1", "2", "3"}));
    }
}

TEST(MapRows, PlusAppendsAndSelectsMinusKeepsOneRow) {
    ValueListTable t({"4", "5", "6"});
    t.SetCurrentRow(0);
    AddMapRow(t);
    EXPECT_EQ(Values(t), (std::vector<std::string>{"4", "5", "6", "0"}));
    EXPECT_EQ(t.CurrentRow(), 3);
    RemoveMapRow(t);
    EXPECT_EQ(t.CurrentRow(), 2);
    RemoveMapRow(t);
    RemoveMapRow(t);
    RemoveMapRow(t);
    EXPECT_EQ(Values(t), (std::vector<std::string>{"4"}));
}

TEST(TempoCaption, NamesAtTheBandBounds) {
    const struct {
        int position;
        const char* name;
    } cases[] = {
        {20, "Grave"},        {40, "Grave"},        {41, "Largo"},     {60, "Largo"},
        {61, "Larghetto"},    {66, "Larghetto"},    {67, "Adagio"},    {76, "Adagio"},
        {77, "Andante"},      {108, "Andante"},     {109, "Moderato"}, {120, "Moderato"},
        {121, "Allegro"},     {168, "Allegro"},     {169, "Presto"},   {208, "Presto"},
        {209, "Prestissimo"}, {220, "Prestissimo"}, {19, "?"},         {221, "?"},
    };
    for (const auto& c : cases) EXPECT_EQ(TempoName(c.position), c.name) << c.position;
    EXPECT_EQ(TempoCaption(90), "Tempo: 90 (Andante)");
}

TEST(PresetBoxes, EntriesNameTheirKeyNumbers) {
    EXPECT_STREQ(kGrundtonEntries[40], "c'");
    EXPECT_STREQ(kGrundtonEntries[4], "Kontra C");
    EXPECT_STREQ(kGrundtonEntries[77], "cis''''/des''''");
    EXPECT_STREQ(kTonartEntries[7], "Chromatisch (12-Ton)");
    EXPECT_STREQ(kInstrumentNames[40], "Violin");
    EXPECT_STREQ(kInstrumentNames[127], "Gunshot");
}
