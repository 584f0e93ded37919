#pragma once
// Helpers of the end-to-end tests that play into jack_midi_dump on a JACK server.
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The full path of a program on PATH, if it is installed.
inline std::optional<std::string> FindOnPath(const std::string& program) {
    std::stringstream dirs(std::getenv("PATH") ? std::getenv("PATH") : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

// jack_midi_dump writes "   <time>: 90 30 6e note on (...)": the hex pairs
// after the colon are the message.
inline std::vector<Bytes> ParseDump(const std::string& text) {
    std::vector<Bytes> messages;
    std::stringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::stringstream tokens(line.substr(colon + 1));
        std::string token;
        Bytes bytes;
        while (tokens >> token && token.size() == 2 && std::isxdigit(uint8_t(token[0])) &&
               std::isxdigit(uint8_t(token[1])))
            bytes.push_back(static_cast<uint8_t>(std::stoul(token, nullptr, 16)));
        if (!bytes.empty()) messages.push_back(bytes);
    }
    return messages;
}
