#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Reads a decimal 32-bit integer with an optional sign and nothing around it.
// Throws EConvertError with "'<text>' ist kein gültiger Integerwert" otherwise.
int32_t StrToInt(std::string_view text);

// The same for a signed 64-bit integer.
int64_t StrToInt64(std::string_view text);

// Like StrToInt, but reports failure instead of throwing.
bool TryStrToInt(std::string_view text, int32_t& value);

// The text that the error box shows: a "." is appended when the message's last
// character sorts after "." (so "…Null" becomes "…Null." but "(0)" stays).
std::string ErrorBoxText(const std::string& message);
