#include "common/quote.h"

#include <gtest/gtest.h>

TEST(QuotedText, NamesWhatCannotBeSeenAndCutsLongTexts) {
    const struct {
        std::string text, shown;
    } cases[] = {
        {"x^2+1", "x^2+1"},
        {"Größe äöüß", "Größe äöüß"},
        {"x+\u00A01", "x+<U+00A0>1"},
        {"\uFEFFx", "<U+FEFF>x"},
        {"a\u200Fb\u202Ec", "a<U+200F>b<U+202E>c"},
        {"\x1B[31mrot", "<U+001B>[31mrot"},
        {"a\tb\r\n", "a<U+0009>b<U+000D><U+000A>"},
        {"\u22125", "<U+2212>5"},
        {"\xC3", "<0xC3>"},
        {"a\xFF\xC0\xAF", "a<0xFF><0xC0><0xAF>"},
        {std::string(80, '1'), std::string(80, '1')},
        {std::string(81, '1'), std::string(80, '1') + "…"},
        {std::string(79, '1') + "äöü", std::string(79, '1') + "ä…"},
    };
    for (const auto& c : cases) EXPECT_EQ(QuotedText(c.text), c.shown) << c.text;
}

TEST(CharacterShown, QuotesVisibleCharactersAndNamesTheRestByCode) {
    const struct {
        std::string text, shown;
    } cases[] = {
        {"#", "'#'"},
        {" ", "' '"},
        {"\u00A0", "U+00A0"},
        {"\x1B", "U+001B"},
        {"\u0430", "'\u0430' (U+0430)"},
        {"\u200E", "U+200E"},
        {"\U0001F600", "'\U0001F600' (U+1F600)"},
    };
    for (const auto& c : cases) EXPECT_EQ(CharacterShown(c.text), c.shown) << c.text;
}
