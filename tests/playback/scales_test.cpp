#include "playback/scales.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "playback/maps.h"
#include "playback/meter.h"
#include "support/expect_error.h"

namespace {
// The values a scale on root gives: the root, then each interval added in turn
// up to (not including) the octave.
std::vector<std::string> Walk(int root, const std::vector<int>& intervals) {
    std::vector<std::string> values{std::to_string(root)};
    int key = root;
    for (size_t i = 0; i + 1 < intervals.size(); ++i)
        values.push_back(std::to_string(key += intervals[i]));
    return values;
}

std::vector<std::string> Values(const ValueListTable& t) {
    std::vector<std::string> v;
    for (int i = 0; i < t.RowCount(); ++i) v.push_back(t.Value(i));
    return v;
}
}  // namespace

TEST(MoreScales, FollowTheirIntervalsOnEveryRoot) {
    // Intervals from note to note, the last one back to the octave.
    const struct {
        int index;
        const char* entry;
        std::vector<int> intervals;
    } cases[] = {
        {8, "Lokrisch", {1, 2, 2, 1, 2, 2, 2}},
        {9, "Harmonisch Moll", {2, 1, 2, 2, 1, 3, 1}},
        {10, "Melodisch Moll", {2, 1, 2, 2, 2, 2, 1}},
        {11, "Dur-Pentatonik", {2, 2, 3, 2, 3}},
        {12, "Moll-Pentatonik", {3, 2, 2, 3, 2}},
        {13, "Blues", {3, 2, 1, 1, 3, 2}},
        {14, "Ganzton", {2, 2, 2, 2, 2, 2}},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(kTonartEntries[c.index], c.entry);
        for (int root : {1, 40, 77}) {
            ValueListTable t({"9"});
            EXPECT_TRUE(ApplyScalePreset(t, c.index, root));
            EXPECT_EQ(Values(t), Walk(root, c.intervals)) << c.entry << " on " << root;
        }
    }
    EXPECT_STREQ(kTonartEntries[kOwnScaleIndex], "Eigene...");
    EXPECT_EQ(kTonartEntries.size(), kOwnScaleIndex + 1u);
}

TEST(OwnScale, StepsFromNoteToNoteTheOctaveClosing) {
    const struct {
        const char* text;
        std::vector<std::string> values;  // on root 40
    } cases[] = {
        {"2 2 1 2 2 2 1", {"40", "42", "44", "45", "47", "49", "51"}},
        {"2 2 1 2 2 2", {"40", "42", "44", "45", "47", "49", "51"}},
        {" 3,4\t5 ", {"40", "43", "47"}},
        {"12", {"40"}},
        {"1 1 1 1 1 1 1 1 1 1 1 1", Walk(40, std::vector<int>(12, 1))},
    };
    for (const auto& c : cases) {
        const std::vector<int> steps = ParseScaleSteps(c.text);
        ValueListTable t({"9"});
        EXPECT_TRUE(ApplyScalePreset(t, kOwnScaleIndex, 40, steps));
        EXPECT_EQ(Values(t), c.values) << c.text;
        EXPECT_EQ(ParseScaleSteps(ScaleStepsText(steps)), steps);
    }
}

TEST(OwnScale, BadStepsAreRefusedByName) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "Die eigene Tonleiter braucht Schritte in Halbtönen, z. B. 2 2 1 2 2 2 1 für Dur"},
        {" , ", "Die eigene Tonleiter braucht Schritte in Halbtönen, z. B. 2 2 1 2 2 2 1 für Dur"},
        {"2 0 3",
         "'0' ist kein gültiger Schritt: erlaubt sind ganze Zahlen von 1 bis 12 "
         "Halbtönen, z. B. 2 2 1 2 2 2 1 für Dur"},
        {"2 -1", "'-1' ist kein gültiger Schritt"},
        {"13", "'13' ist kein gültiger Schritt"},
        {"2.5", "'2.5' ist kein gültiger Schritt"},
        {"zwei", "'zwei' ist kein gültiger Schritt"},
        {"7 6", "Die Schritte ergeben zusammen 13 Halbtöne, mehr als eine Oktave (12)"},
    };
    for (const auto& c : cases) {
        const std::string message = MessageOf<EInvalidInput>([&] { ParseScaleSteps(c.text); });
        EXPECT_TRUE(message.starts_with(c.message)) << c.text << ": " << message;
    }
    // "Eigene..." without steps leaves the map as it is.
    ValueListTable t({"9"});
    EXPECT_FALSE(ApplyScalePreset(t, kOwnScaleIndex, 40));
    EXPECT_EQ(Values(t), std::vector<std::string>{"9"});
}

TEST(Scales, PresetOfNoteMapWhateverFilledIt) {
    ValueListTable map;
    const struct { int scale, root; } presets[] = {{1, 40}, {6, 49}, {9, 1}, {14, 77}, {13, 20}};
    for (const auto& p : presets) {
        ASSERT_TRUE(ApplyScalePreset(map, p.scale, p.root));
        const ScalePreset found = PresetOfNoteMap(Values(map));
        EXPECT_EQ(found.ScaleIndex, p.scale) << p.root;
        EXPECT_EQ(found.RootIndex, p.root) << p.scale;
    }
    // Own steps of the major scale are the major preset; anything else none.
    EXPECT_EQ(PresetOfNoteMap({"40", "42", "44", "45", "47", "49", "51"}).ScaleIndex, 1);
    for (const std::vector<std::string>& values :
         std::vector<std::vector<std::string>>{{},
                                               {"40", "42"},
                                               {"0", "2", "4", "5", "7", "9", "11"},
                                               {"x"},
                                               {"40", "42", "44", "45", "47", "49", "51", "52"},
                                               {"040", "042", "044", "045", "047", "049", "051"}})
        EXPECT_EQ(PresetOfNoteMap(values).ScaleIndex, 0) << values.size();
}

TEST(Meter, ReadsCommonMetersAndRefusesOthers) {
    const struct {
        const char* text;
        int beats, type;
        bool compound;
    } meters[] = {{"3/4", 3, 4, false},  {" 6 / 8 ", 6, 8, true}, {"2/2", 2, 2, false},
                  {"12/8", 12, 8, true}, {"3/8", 3, 8, false},    {"9/16", 9, 16, true},
                  {"6/4", 6, 4, false},  {"16/16", 16, 16, false}};
    for (const auto& m : meters) {
        const TimeSignature meter = ParseTimeSignature(m.text);
        EXPECT_EQ(meter, (TimeSignature{m.beats, m.type})) << m.text;
        EXPECT_EQ(meter.Compound(), m.compound) << m.text;
    }
    EXPECT_EQ(TimeSignatureText({6, 8}), "6/8");
    for (const char* bad : {"", "4", "0/4", "17/4", "3/3", "3/32", "3/4/4", "x/4", "3/"})
        EXPECT_EQ(MessageOf<EInvalidInput>([&] { ParseTimeSignature(bad); }),
                  "'" + std::string(bad) +
                      "' ist keine gültige Taktart: erlaubt sind 1 bis 16 Schläge auf Halbe, "
                      "Viertel, Achtel oder Sechzehntel (2, 4, 8, 16), z. B. 3/4 oder 6/8")
            << bad;
}
