#include "formula/formula_text.h"

#include <cmath>
#include <cstdio>

#include "common/quote.h"

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

std::string IntegerText(long double value) {
    char text[64];
    if (std::fabs(value) < 1e25L)
        std::snprintf(text, sizeof text, "%.0Lf", value);
    else
        std::snprintf(text, sizeof text, "%.6Lg", value);
    return text;
}

std::string Quote(std::string_view s) { return "'" + QuotedText(s) + "'"; }

std::string DescribeChar(std::string_view s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) return "das Steuerzeichen " + CharacterCode(c);
    return "das Zeichen " + CharacterShown(s.substr(i));
}
