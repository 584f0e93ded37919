#include "playback/seqtext.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "support/expect_error.h"

TEST(SequenceText, NormalisesAnyTextIntoMembers) {
    const struct {
        const char *raw, *text;
    } cases[] = {
        {"234, 382, 2349, 1, -34, 234", "234,382,2349,1,34,234,"},
        {"3.5", "3,5,"},
        {"-7", "7,"},
        {",,,1,,,2,,,", "1,2,"},
        {"1\r\n2\n\n3", "1,2,3,"},
        {"keine Ziffern", ""},
        {"", ""},
        {",", ""},
        {"x_1=0012", "1,0012,"},
    };
    for (const auto& c : cases) EXPECT_EQ(NormalizeSequenceText(c.raw), c.text) << c.raw;
    EXPECT_EQ(MemberCount("1,2,3,"), 3u);
}

TEST(SequenceCursor, TakesMembersOfAnyLength) {
    SequenceCursor c("5,6227020800,100000000000000000000,9,");
    EXPECT_EQ(c.Take(), "5");
    EXPECT_EQ(c.Take(), "6227020800");
    EXPECT_EQ(c.Take(), "100000000000000000000");
    EXPECT_EQ(c.Take(), "9");
    EXPECT_TRUE(c.AtEnd());
}

TEST(SequenceCursor, CyclicCursorLinesTempoUpLikeDoubling) {
    // Two tempo members under five notes are used 1, 2, 1, 2, 1; nine under five use the first
    // five.
    const struct {
        const char* tempo;
        std::vector<std::string_view> used;
    } cases[] = {
        {"1,2,", {"1", "2", "1", "2", "1"}},
        {"1,2,3,4,5,6,7,8,9,", {"1", "2", "3", "4", "5"}},
        {"7,", {"7", "7", "7", "7", "7"}},
    };
    for (const auto& c : cases) {
        SequenceCursor t(c.tempo, true);
        std::vector<std::string_view> used;
        for (int i = 0; i < 5; ++i) used.push_back(t.Take());
        EXPECT_EQ(used, c.used) << c.tempo;
        EXPECT_FALSE(t.AtEnd());
    }
    EXPECT_TRUE(SequenceCursor("", true).AtEnd());
}
