#pragma once
// A setup file's JSON value as a MelodySetup: every field's type and range,
// refused with a message that names the file and the field's JSON path.
#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "setup/setup.h"

// Paths longer than this are shortened in messages.
inline constexpr std::size_t kSetupPathCharsMax = 1024;

// "\"name\"", the file as messages name it.
std::string QuotedSetupFile(const std::string& file);

// Whether the reader looks at members of this key; others are never kept.
bool IsSetupKey(std::string_view key);

// The setup the value holds (ESetupError).
MelodySetup SetupOfJson(const nlohmann::ordered_json& root, const std::string& file);
