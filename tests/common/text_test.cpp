#include "common/text.h"

#include <gtest/gtest.h>

#include <string>

TEST(Text, TrimmedTakesEachEndsOwnCharacters) {
    const struct {
        std::string text, front, back, trimmed;
    } cases[] = {
        {"  a b \t", " \t", " \t", "a b"},
        {" \t ", " \t", " \t", ""},
        {"", " \t", " \t", ""},
        {"\tx\r\n", " \t", " \t\r\n", "x"},
        // Nothing is left after the front.
        {"\r\n", " \t", " \t\r\n", ""},
        {"\tx ", " ", " ", "\tx"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Trimmed(c.text, c.front, c.back), c.trimmed) << '"' << c.text << '"';
}

TEST(Text, CaseIsIgnoredForAsciiOnly) {
    EXPECT_TRUE(EndsWithIgnoringCase("Lied.WAV", ".wav"));
    EXPECT_TRUE(EndsWithIgnoringCase(".wav", ".wav"));
    EXPECT_FALSE(EndsWithIgnoringCase("wav", ".wav"));
    EXPECT_TRUE(ContainsIgnoringCase("Sonavix Synthesizer", "synth"));
    EXPECT_FALSE(ContainsIgnoringCase("Ü", "ü"));
    EXPECT_EQ(ToLower("ÄB"),
              "\xC3\x84"
              "b");
}

TEST(Text, DigitsAloneAndNotEmpty) {
    EXPECT_TRUE(IsAllDigits("0123"));
    EXPECT_FALSE(IsAllDigits(""));
    EXPECT_FALSE(IsAllDigits("12a"));
}
