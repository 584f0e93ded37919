#include "formula/formula_text.h"

bool IsAllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!IsDigit(c)) return false;
    return true;
}

size_t MatchForward(std::string_view s, size_t open) {
    int count = 0;
    for (size_t i = open; i < s.size(); ++i) {
        if (s[i] == '(') ++count;
        if (s[i] == ')' && --count == 0) return i;
    }
    return std::string_view::npos;
}

size_t MatchBackward(std::string_view s, size_t close) {
    int count = 0;
    for (size_t i = close + 1; i-- > 0;) {
        if (s[i] == ')') ++count;
        if (s[i] == '(' && --count == 0) return i;
    }
    return std::string_view::npos;
}

std::string Quote(std::string_view s) { return "'" + std::string(s) + "'"; }

std::string DescribeChar(std::string_view s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) return "ein Steuerzeichen (Code " + std::to_string(c) + ")";
    size_t end = i + 1;
    if (c >= 0xC0)
        while (end < s.size() && end < i + 4 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80)
            ++end;
    return "das Zeichen " + Quote(s.substr(i, end - i));
}
