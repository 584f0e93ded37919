#include "common/convert.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "support/expect_error.h"

TEST(StrToInt, AcceptsDecimalWithOptionalSign) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"0", 0},
        {"42", 42},
        {"+7", 7},
        {"-34", -34},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"007", 7},
    };
    for (const auto& c : cases) EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
}

TEST(StrToInt, RefusesWithTheRunTimeLibraryText) {
    const char* bad[] = {"",    "-",   "+",          " 1",          "1 ",
                         "1.5", "abc", "2147483648", "-2147483649", "99999999999999999999",
                         "12a", "0x10"};
    for (const char* text : bad)
        EXPECT_EQ(MessageOf<EConvertError>([&] { StrToInt(text); }),
                  std::string("'") + text + "' ist kein gültiger Integerwert");
}

TEST(StrToInt64, TakesTheWholeSignedRangeAndRefusesBeyond) {
    EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(StrToInt64("+0012"), 12);
    for (const char* text : {"9223372036854775808", "-9223372036854775809", "18446744073709551616",
                             "", "-", "1 ", "3.0"})
        EXPECT_EQ(MessageOf<EConvertError>([&] { StrToInt64(text); }),
                  std::string("'") + text + "' ist kein gültiger Integerwert");
}

TEST(StrToInt, QuotesALongTextCut) {
    // A member of a mebibyte once filled the screen and took seconds to show.
    const std::string member(1 << 20, '7');
    EXPECT_EQ(MessageOf<EConvertError>([&] { StrToInt(member); }),
              "'" + member.substr(0, 80) + "…' ist kein gültiger Integerwert");
}

TEST(ErrorBoxText, AppendsPointOnlyAfterCharactersSortingAfterIt) {
    EXPECT_EQ(ErrorBoxText("Division durch Null"), "Division durch Null.");
    EXPECT_EQ(ErrorBoxText("Listenindex überschreitet das Maximum (0)"),
              "Listenindex überschreitet das Maximum (0)");
    EXPECT_EQ(ErrorBoxText("'x' ist kein gültiger Integerwert"),
              "'x' ist kein gültiger Integerwert.");
    EXPECT_EQ(ErrorBoxText("Schon da."), "Schon da.");
    EXPECT_EQ(ErrorBoxText(""), "");
}
