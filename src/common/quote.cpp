#include "common/quote.h"

#include <cstdio>

#include "common/text.h"

namespace {

bool InRange(char32_t c, char32_t low, char32_t high) { return c >= low && c <= high; }

}  // namespace

std::string CharacterCode(char32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

bool NamedByCode(char32_t c) {
    if (c < 0x20 || InRange(c, 0x7F, 0x9F)) return true;  // control characters
    if (c < 0x7F) return false;
    static constexpr char32_t kRanges[][2] = {
        // blanks other than U+0020
        {0x00A0, 0x00A0},
        {0x1680, 0x1680},
        {0x2000, 0x200A},
        {0x202F, 0x202F},
        {0x205F, 0x205F},
        {0x3000, 0x3000},
        // invisible: soft hyphen, joiners, direction marks and embeddings,
        // line and paragraph separators, byte order mark, variation selectors
        {0x00AD, 0x00AD},
        {0x034F, 0x034F},
        {0x061C, 0x061C},
        {0x115F, 0x1160},
        {0x17B4, 0x17B5},
        {0x180B, 0x180F},
        {0x200B, 0x200F},
        {0x2028, 0x202E},
        {0x2060, 0x206F},
        {0x3164, 0x3164},
        {0xFE00, 0xFE0F},
        {0xFEFF, 0xFEFF},
        {0xFFA0, 0xFFA0},
        {0xFFF9, 0xFFFB},
        {0x1BCA0, 0x1BCA3},
        {0x1D173, 0x1D17A},
        {0xE0000, 0xE0FFF},
        // passing for ASCII: dashes and minus signs, primes and typographic
        // quotes, operators, full-width forms
        {0x2010, 0x2015},
        {0x2018, 0x201F},
        {0x2032, 0x2037},
        {0x2043, 0x2044},
        {0x2212, 0x2212},
        {0x2215, 0x2215},
        {0x2217, 0x2217},
        {0xFE58, 0xFE58},
        {0xFE63, 0xFE63},
        {0xFF01, 0xFF5E},
        // not characters at all
        {0xFFFE, 0xFFFF},
    };
    for (const auto& range : kRanges)
        if (InRange(c, range[0], range[1])) return true;
    return false;
}

std::string QuotedText(std::string_view text, std::size_t maxChars) {
    std::string out;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (chars == maxChars) {
            out += "…";
            break;
        }
        const std::size_t start = i;
        const char32_t c = NextCodePoint(text, i);
        ++chars;
        if (c == kNoCodePoint) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<0x%02X>", static_cast<unsigned char>(text[start]));
            out += hex;
        } else if (NamedByCode(c)) {
            out += "<" + CharacterCode(c) + ">";
        } else {
            out.append(text, start, i - start);
        }
    }
    return out;
}

std::string CharacterShown(std::string_view text) {
    if (text.empty()) return "''";
    std::size_t end = 0;
    const char32_t c = NextCodePoint(text, end);
    if (c == kNoCodePoint) return QuotedText(text.substr(0, 1));
    if (NamedByCode(c)) return CharacterCode(c);
    const std::string shown = "'" + std::string(text.substr(0, end)) + "'";
    return c < 0x80 ? shown : shown + " (" + CharacterCode(c) + ")";
}

std::string QuotedTail(std::string_view text, std::size_t maxBytes) {
    std::string whole = QuotedText(text, text.size());
    if (whole.size() <= maxBytes) return whole;
    const std::string_view ellipsis = "…";
    if (maxBytes < ellipsis.size()) return "";
    // Each byte of the text shows as one byte at least: the tail starts no
    // earlier than this; then characters are dropped from its front until it fits.
    std::size_t start = text.size() - std::min(text.size(), maxBytes - ellipsis.size());
    for (;; ++start) {
        while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
            ++start;
        const std::string tail = QuotedText(text.substr(start), text.size());
        if (tail.size() + ellipsis.size() <= maxBytes) return std::string(ellipsis) + tail;
    }
}
