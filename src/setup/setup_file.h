#pragma once
// Setup files (".sonavix"): a MelodySetup as UTF-8 JSON. The format is described
// in the README; docs/beispiel.sonavix is one such file.
//
// Reading is all or nothing: either the whole file is valid and a complete
// MelodySetup comes back, or ESetupError says what is wrong and where (the file
// and the JSON path of the bad field). Fields this program does not know are
// ignored, so files of newer programs open where they can; a missing field
// keeps its start-up value.
#include <cstddef>
#include <string>

#include "common/errors.h"
#include "setup/setup.h"

class ESetupError : public EInvalidInput {
    using EInvalidInput::EInvalidInput;
};

inline constexpr const char* kSetupFormatName = "sonavix-setup";
inline constexpr int kSetupFormatVersion = 1;
inline constexpr const char* kSetupFileExtension = ".sonavix";
// Far above any real setup, low enough that a wrong file is refused at once.
inline constexpr std::size_t kSetupFileMaxBytes = std::size_t{64} << 20;
inline constexpr int kSetupMapRowsMax = 100000;

// "Sonavix 0.1": what a saved file names as its program.
std::string ProgramVersionText();

// The file's text: two-space indented JSON, one field a line, ending in a newline.
std::string SetupToJson(const MelodySetup& setup);
// fileName only names the file in messages.
MelodySetup SetupFromJson(const std::string& text, const std::string& fileName);

MelodySetup ReadSetupFile(const std::string& path);
// Stamps program and time into the file and writes it atomically: a failed
// save leaves the old file (EFileWriteError).
void SaveSetupFile(const std::string& path, const MelodySetup& setup);
