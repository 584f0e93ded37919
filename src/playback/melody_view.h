#pragma once
// A melody together with the members behind its notes: what the picture
// window draws, what its hover text and the keyboard's title say, and what
// its text and CSV exports list.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "playback/run.h"
#include "playback/timeline.h"

struct DescribedMelody {
    MelodyTimeline Timeline;
    std::vector<std::string> Members;  // the note member of each event
    int Modulus = 1;                   // the note map's row count when it was read
};

// Reads the sources as the play button does and looks every member up.
DescribedMelody DescribeMelody(IPlaybackHost& host, int noteMapRows);

// "cis'" for key 41, the first name the root box gives; "Pause" for a rest.
std::string KeyName(int32_t key);
// "Viertel" for 2; without an exponent the duration in ms.
std::string LengthName(std::optional<int32_t> lengthExponent, int32_t durationMs);

// "Glied 17: 1597 → Rest 1 (mod 12) → Taste 41 (cis') · Viertel"; index counts from 0.
std::string NoteLine(size_t index, std::string_view member, int modulus, int32_t key,
                     std::optional<int32_t> lengthExponent, int32_t durationMs);
std::string NoteLine(const DescribedMelody& melody, size_t index);

// One row per member: index, value, remainder, key, length in ms; with a header.
std::string MelodyCsv(const DescribedMelody& melody);
// One NoteLine per member.
std::string MelodyText(const DescribedMelody& melody);
