#pragma once
// User text inside a message. A message shows what the user typed or what a
// server sent, but never lets that text hide in plain sight or act on the
// terminal: characters that cannot be seen, that look like others, or that
// control a terminal are named by their code, and a long text is cut.
#include <cstddef>
#include <string>
#include <string_view>

inline constexpr std::size_t kQuotedCharsMax = 80;

// The code of a character as messages write it: "U+00A0", "U+1F600".
std::string CharacterCode(char32_t c);

// True for control characters, blanks other than the plain blank, invisible
// format characters and characters that pass for ASCII punctuation.
bool NamedByCode(char32_t c);

// text as a message quotes it (without the quote marks): at most maxChars
// characters and then "…"; each character named by code written as
// "<U+00A0>", each byte that is no valid UTF-8 as "<0xFF>".
std::string QuotedText(std::string_view text, std::size_t maxChars = kQuotedCharsMax);

// text as QuotedText quotes it, in at most maxBytes bytes: when it is longer,
// "…" and its end, which for a path names the file.
std::string QuotedTail(std::string_view text, std::size_t maxBytes);

// One character (the UTF-8 sequence at the start of text) as a message names
// it: "'x'", or its code alone when NamedByCode, or "'а' (U+0430)" outside ASCII.
std::string CharacterShown(std::string_view text);
