#include "common/convert.h"

#include "common/errors.h"

bool TryStrToInt(std::string_view text, int32_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return false;
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > int64_t{1} << 31) return false;  // stop early on long digit runs
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT32_MAX || signedValue < INT32_MIN) return false;
    value = static_cast<int32_t>(signedValue);
    return true;
}

int32_t StrToInt(std::string_view text) {
    int32_t value = 0;
    if (!TryStrToInt(text, value)) throw EConvertError(msg::InvalidInteger(std::string(text)));
    return value;
}

int64_t StrToInt64(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool valid = i < text.size();
    // The magnitude as unsigned, so that -2^63 reads as well as 2^63 - 1.
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    uint64_t magnitude = 0;
    for (; valid && i < text.size(); ++i) {
        const char c = text[i];
        const auto digit = static_cast<uint64_t>(c - '0');
        valid = c >= '0' && c <= '9' && magnitude <= (limit - digit) / 10;
        magnitude = magnitude * 10 + digit;
    }
    if (!valid) throw EConvertError(msg::InvalidInteger(std::string(text)));
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}
