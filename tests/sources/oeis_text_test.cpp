// Text routines, query encodings and the JSON reader: the pieces below the lookup.
#include <gtest/gtest.h>

#include <string>

#include "sources/oeis_json.h"
#include "sources/oeis_query.h"
#include "sources/text_routines.h"

TEST(TextRoutines, ReplaceAtCountsFromOneAndStaysInsideTheText) {
    const struct {
        const char* s;
        std::size_t pos, count;
        const char *with, *result;
    } cases[] = {
        {"1,2", 2, 1, "%2C", "1%2C2"}, {"abc", 1, 1, "+", "+bc"}, {"abc", 3, 1, "+", "ab+"},
        {"abc", 2, 0, "x", "axbc"},    {"abc", 2, 99, "x", "ax"}, {"abc", 4, 1, "x", "abcx"},
        {"abc", 99, 1, "x", "abcx"},   {"abc", 0, 1, "x", "xbc"}, {"", 1, 1, "x", "x"},
    };
    for (const auto& c : cases) {
        std::string s = c.s;
        ReplaceAt(s, c.pos, c.count, c.with);
        EXPECT_EQ(s, c.result) << c.s << " at " << c.pos;
    }
}

TEST(TextRoutines, DeleteThroughAndDeleteFromCutAtTheFirstOccurrence) {
    const struct {
        const char *s, *marker, *through, *from;
        bool found;
    } cases[] = {
        {"a<b>c<b>d", "<b>", "c<b>d", "a", true},
        {"\"000045\">A", "\"", "000045\">A", "", true},
        {"abc", "c", "", "ab", true},
        {"abc", "x", "", "abc", false},
        {"abc", "", "", "abc", false},
        {"", "x", "", "", false},
        {"ab", "abc", "", "ab", false},
    };
    for (const auto& c : cases) {
        std::string through = c.s, from = c.s;
        EXPECT_EQ(DeleteThrough(through, c.marker), c.found) << c.s << " / " << c.marker;
        EXPECT_EQ(DeleteFrom(from, c.marker), c.found) << c.s << " / " << c.marker;
        EXPECT_EQ(through, c.through) << c.s << " / " << c.marker;
        EXPECT_EQ(from, c.from) << c.s << " / " << c.marker;
    }
}

TEST(QueryEncoding, LegacyEncodesWindows1252BytesOnce) {
    const struct {
        const char *utf8, *sent;
    } cases[] = {
        {"1, 2, 3, 5, 8", "1%2C+2%2C+3%2C+5%2C+8"},
        {"Primzahlen größer", "Primzahlen+gr%F6%DFer"},
        {"50%+x", "50%25+x"},
        {"ÄÖÜäöüß", "%C4%D6%DC%E4%F6%FC%DF"},
        {"\"#%&'(),/:;<=>?@[\\]^{|}",
         "%22%23%25%26%27%28%29%2C%2F%3A%3B%3C%3D%3E%3F%40%5B%5C%5D%5E%7B%7C%7D"},
        {"A-z_~.*!$`", "A-z_~.*!$`"},
        {"a\tb\r\n\x7f", "a%09b%0D%0A%7F"},
        {"é € Ÿ", "%E9+%80+%9F"},
        {"π 日", "%3F+%3F"},         // not in the code page: "?" and then encoded
        {"\xC3(\xFF", "%3F%28%3F"},  // no valid UTF-8
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(EncodeQuery(Utf8ToWindows1252(c.utf8)), c.sent) << c.utf8;
}

TEST(QueryEncoding, Utf8EncodingAndTheWayBackFromWindows1252) {
    EXPECT_EQ(EncodeQuery(SanitizeUtf8("größer π")), "gr%C3%B6%C3%9Fer+%CF%80");
    EXPECT_EQ(EncodeQuery(SanitizeUtf8("a\xC0\xAF"
                                       "b")),
              "a%EF%BF%BD%EF%BF%BDb");                              // overlong "/"
    EXPECT_EQ(SanitizeUtf8("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");  // a surrogate
    EXPECT_EQ(SanitizeUtf8("\xF0\x9F\x8C"), "\uFFFD\uFFFD\uFFFD");  // cut short
    EXPECT_EQ(Windows1252ToUtf8("gr\xF6\xDF"
                                "er \x80\x9F\x81"),
              "größer €Ÿ\uFFFD");
    EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8("\x80\x8A\x9C\xA0\xFF")), "\x80\x8A\x9C\xA0\xFF");
}

TEST(JsonReader, ReadsTheGrammarAndRefusesEverythingElse) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"null", true},
        {" [1, -0.5e+3, true, false, null, \"x\", {}] ", true},
        {"{\"a\":{\"b\":[]}}", true},
        {"", false},
        {"[1,]", false},
        {"{\"a\" 1}", false},
        {"{\"a\":1,}", false},
        {"[01]", false},
        {"[1.]", false},
        {"[-]", false},
        {"nul", false},
        {"[1] x", false},
        {"\"open", false},
        {"\"a\\", false},
        {"\"\\x\"", false},
        {"\"\\u12\"", false},
        {"\"\\ud83c\"", false},  // high surrogate without its low half
        {"\"\\udf3b\"", false},
        {"\"tab\there\"", false},
        {"{1:2}", false},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseJson(c.text).has_value(), c.valid) << c.text;
}

TEST(JsonReader, DecodesStringsAndFindsMembers) {
    const auto v =
        ParseJson(R"({"name":"F \"n\" \u00e9\u2261\ud83c\udf3b\/\n","number":45,"name":0})");
    ASSERT_TRUE(v.has_value());
    ASSERT_NE(v->Member("name"), nullptr);
    EXPECT_EQ(v->Member("name")->text, "F \"n\" é≡🌻/\n");
    EXPECT_EQ(v->Member("number")->kind, JsonValue::Kind::Number);
    EXPECT_EQ(v->Member("number")->text, "45");
    EXPECT_EQ(v->Member("missing"), nullptr);
    EXPECT_EQ(ParseJson("[\"\xFF\"]")->items.at(0).text, "\uFFFD");
}

TEST(JsonReader, NestingIsBounded) {
    const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    EXPECT_TRUE(ParseJson(nested(kJsonMaxDepth)).has_value());
    EXPECT_FALSE(ParseJson(nested(kJsonMaxDepth + 1)).has_value());
    EXPECT_FALSE(ParseJson(std::string(100000, '[')).has_value());
}
