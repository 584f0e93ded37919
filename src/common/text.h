#pragma once
// Small text helpers that every layer shares: ASCII case and digits, blanks
// at the ends, and the one UTF-8 decoder and encoder of the program.
#include <cstddef>
#include <string>
#include <string_view>

// ASCII letters in lower case; every other byte (UTF-8 included) stays.
std::string ToLower(std::string_view text);

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// True for a text of digits alone; "" is none.
bool IsAllDigits(std::string_view text);

// text without the leading characters in front and the trailing ones in back.
std::string Trimmed(std::string_view text, std::string_view front = " \t",
                    std::string_view back = " \t");

// Case-insensitive (ASCII) tests, as names of files and ports are compared.
bool EndsWithIgnoringCase(std::string_view text, std::string_view ending);
bool ContainsIgnoringCase(std::string_view text, std::string_view part);

// What NextCodePoint gives for a byte that starts no valid UTF-8 sequence.
inline constexpr char32_t kNoCodePoint = 0xFFFFFFFF;

// The code point at text[i], advancing i past it; kNoCodePoint for a byte that
// starts no valid sequence (overlong forms, surrogates and values beyond
// U+10FFFF included), and i then moves one byte.
char32_t NextCodePoint(std::string_view text, std::size_t& i);

// Appends the UTF-8 bytes of one code point.
void AppendUtf8(std::string& out, char32_t cp);
