#pragma once
// A small JSON reader for the search answers of the OEIS. It reads the whole
// grammar (RFC 8259) into a tree, refuses anything else, and is bounded: the
// nesting depth is limited and the text is never read past its end.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    std::string text;  // a string's UTF-8 content, or a number as written
    std::vector<JsonValue> items;
    // An object's members in order: names[i] names values[i]. (Two lists,
    // since a pair of a still incomplete type is not portable.)
    std::vector<std::string> memberNames;
    std::vector<JsonValue> memberValues;

    // The first member of that name of an object; nullptr otherwise.
    const JsonValue* Member(std::string_view name) const;
};

constexpr int kJsonMaxDepth = 64;

// The value of the text, or nothing when the text is not JSON (or nests deeper
// than kJsonMaxDepth).
std::optional<JsonValue> ParseJson(std::string_view text);
