#include "sources/oeis_query.h"

#include <cstdint>
#include <cstring>

#include "common/text.h"

namespace {

// Unicode code points of Windows-1252 0x80 to 0x9F; 0 where unassigned.
constexpr char32_t kHighCodes[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr char32_t kInvalid = 0xFFFD;

// The code point at s[i] (advancing i); U+FFFD for a byte that is no valid UTF-8.
char32_t NextCharacter(std::string_view s, std::size_t& i) {
    const char32_t cp = NextCodePoint(s, i);
    return cp == kNoCodePoint ? kInvalid : cp;
}

}  // namespace

std::string Utf8ToWindows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = NextCharacter(utf8, i);
        char c = '?';
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            c = static_cast<char>(cp);
        } else {
            for (int k = 0; k < 32; ++k)
                if (kHighCodes[k] != 0 && kHighCodes[k] == cp) c = static_cast<char>(0x80 + k);
        }
        out += c;
    }
    return out;
}

std::string Windows1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x80 && b < 0xA0)
            AppendUtf8(out, kHighCodes[b - 0x80] ? kHighCodes[b - 0x80] : kInvalid);
        else
            AppendUtf8(out, b);
    }
    return out;
}

std::string SanitizeUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) AppendUtf8(out, NextCharacter(text, i));
    return out;
}

std::string EncodeQuery(std::string_view bytes) {
    static constexpr char kReserved[] = "\"#%&'(),/:;<=>?@[\\]^{|}";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == ' ') {
            out += '+';
        } else if (b < 0x21 || b > 0x7E || std::strchr(kReserved, ch) != nullptr) {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}
