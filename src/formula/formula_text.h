#pragma once
// The characters of the formula language and the small text helpers that the
// checks, the rewriting and the parser share.
#include <string>
#include <string_view>

#include "common/text.h"

inline constexpr std::string_view kOperators = "^*/+-";

inline bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsNameLetter(char c) { return IsLetter(c) && c != 'x' && c != 'X'; }
inline bool IsOperator(char c) { return kOperators.find(c) != std::string_view::npos; }
inline bool IsOperandChar(char c) { return IsDigit(c) || c == '_' || c == 'x'; }

// Index of the ")" closing the "(" at `open`, or npos.
size_t MatchForward(std::string_view s, size_t open);
// Index of the "(" opened by the ")" at `close`, or npos.
size_t MatchBackward(std::string_view s, size_t close);

// A whole value as a message shows it: every digit while that stays short,
// else six significant digits and the power of ten ("1.23457e+30").
std::string IntegerText(long double value);

// A piece of formula as a message quotes it (QuotedText between ' ').
std::string Quote(std::string_view s);
// How a character is named in a message: quoted, a whole UTF-8 sequence when
// it starts one, and what cannot be seen by its code.
std::string DescribeChar(std::string_view s, size_t i);
