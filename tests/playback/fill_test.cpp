#include "playback/fill.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "common/messages.h"
#include "playback/scales.h"
#include "support/expect_error.h"

namespace {
std::vector<std::string> Texts(std::initializer_list<int> values) {
    std::vector<std::string> texts;
    for (int v : values) texts.push_back(std::to_string(v));
    return texts;
}

NoteFill Even(int rows, int64_t first, int64_t step, KeyClip clip = KeyClip::Limit) {
    NoteFill f;
    f.Rows = rows;
    f.First = first;
    f.Step = step;
    f.Clip = clip;
    return f;
}

NoteFill OnScale(int rows, int scale, int root, int64_t step, KeyClip clip = KeyClip::Limit) {
    NoteFill f = Even(rows, 0, step, clip);
    f.Scale = scale;
    f.Root = root;
    return f;
}
}  // namespace

TEST(NoteFill, RowsOfEvenStepsOrOfAScaleOnTheKeyboard) {
    const KeyClip oct = KeyClip::Octave;
    NoteFill own = OnScale(4, kOwnScaleIndex, 40, 1);
    own.OwnSteps = {3, 4, 5};
    const struct {
        const char* what;
        NoteFill fill;
        std::vector<std::string> values;
    } cases[] = {
        {"top end limited", Even(5, 86, 1), Texts({86, 87, 88, 88, 88})},
        {"top end by octaves", Even(5, 86, 1, oct), Texts({86, 87, 88, 77, 78})},
        {"rests below limited", Even(3, 0, -1), Texts({1, 1, 1})},
        {"below by octaves", Even(3, 0, -1, oct), Texts({12, 11, 10})},
        {"far off by octaves", Even(2, 1000, -2000, oct), Texts({88, 8})},
        {"major over the octave", OnScale(9, 1, 40, 1),
         Texts({40, 42, 44, 45, 47, 49, 51, 52, 54})},
        {"major in thirds", OnScale(4, 1, 40, 2), Texts({40, 44, 47, 51})},
        {"major downwards", OnScale(3, 1, 40, -1), Texts({40, 39, 37})},
        {"pentatonic limited", OnScale(7, 11, 80, 1), Texts({80, 82, 84, 87, 88, 88, 88})},
        {"pentatonic by octaves", OnScale(7, 11, 80, 1, oct), Texts({80, 82, 84, 87, 77, 80, 82})},
        {"own steps", own, Texts({40, 43, 47, 52})},
    };
    for (const auto& c : cases) EXPECT_EQ(NoteFillValues(c.fill), c.values) << c.what;
    // The direct mapping onto all 88 keys.
    const std::vector<std::string> all = NoteFillValues(Even(88, 1, 1));
    ASSERT_EQ(all.size(), 88u);
    EXPECT_EQ(all.front(), "1");
    EXPECT_EQ(all.back(), "88");
    EXPECT_EQ(NoteFillValues(Even(kFillRowsMax, 40, 0)).size(), size_t{kFillRowsMax});
}

TEST(NoteFill, RefusesWhatGivesNoTable) {
    NoteFill ownWithout = OnScale(3, kOwnScaleIndex, 40, 1);
    const struct {
        NoteFill fill;
        const char* message;
    } cases[] = {
        {Even(0, 1, 1), "Eine Tabelle hat 1 bis 10000 Zeilen, nicht 0"},
        {Even(kFillRowsMax + 1, 1, 1), "Eine Tabelle hat 1 bis 10000 Zeilen, nicht 10001"},
        {Even(3, 1, kFillValueMax + 1),
         "Erster Wert und Schritt liegen zwischen -1000000 und 1000000"},
        {ownWithout, "Der eigenen Tonleiter fehlen ihre Schritte"},
        {OnScale(3, 16, 40, 1), "Der eigenen Tonleiter fehlen ihre Schritte"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageOf<EInvalidInput>([&] { NoteFillValues(c.fill); }), c.message);
}

TEST(TempoFill, CycleOfLengthsOverTheRows) {
    EXPECT_EQ(TempoFillValues(5, ParseLengthCycle("2, 3 3")), Texts({2, 3, 3, 2, 3}));
    EXPECT_EQ(TempoFillValues(2, ParseLengthCycle("-17 4 31")), Texts({-17, 4}));
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"", msg::NoNoteLength},
        {"2 -18",
         "'-18' ist keine gültige Notenlänge: erlaubt sind ganze Zahlen von -17 bis 31 "
         "(2 = Viertel, 3 = Achtel)"},
        {"32", "'32' ist keine gültige Notenlänge"},
        {"Viertel", "'Viertel' ist keine gültige Notenlänge"},
    };
    for (const auto& c : cases) {
        const std::string message = MessageOf<EInvalidInput>([&] { ParseLengthCycle(c.text); });
        EXPECT_TRUE(message.starts_with(c.message)) << c.text << ": " << message;
    }
    EXPECT_EQ(MessageOf<EInvalidInput>([] { TempoFillValues(10001, {2}); }),
              "Eine Tabelle hat 1 bis 10000 Zeilen, nicht 10001");
}

TEST(TempoFill, TheTableGivesBackTheShortestCycleThatFillsIt) {
    const struct {
        std::vector<std::string> rows;
        const char* cycle;
    } cases[] = {
        {Texts({2, 3, 3, 2, 3, 3}), "2 3 3"},
        {Texts({2, 3, 2}), "2 3"},  // two rows of "2 3" and one more give them again
        {Texts({2, 2, 2, 3}), "2 2 2 3"},
        {Texts({4}), "4"},
        {{}, ""},
        {{"2", "32"}, ""},  // beyond what a cycle may hold
        {{"2", "x"}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LengthCycleText(c.rows), c.cycle);
        if (*c.cycle) {
            EXPECT_EQ(TempoFillValues(static_cast<int>(c.rows.size()), ParseLengthCycle(c.cycle)),
                      c.rows);
        }
    }
}
