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

#include "playback/ensemble.h"
#include "playback/playback_host.h"
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
// "Taste 41 (cis')": how the lines name a key, and the keyboard its keys; "Pause" for a rest.
std::string KeyCaption(int32_t key);
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

// The colour of a voice as 0xRRGGBB, on the keyboard and in the piano roll:
// sixteen that tell voices apart on white and black keys alike, the first the
// main window's red.
inline constexpr uint32_t kVoiceColours[kMaxEnsembleVoices] = {
    0xFF0000, 0x1F77B4, 0x2CA02C, 0xFF7F0E, 0x9467BD, 0x17BECF, 0xE377C2, 0xBCBD22,
    0x8C564B, 0x7F7F7F, 0x00CC99, 0xFFD700, 0x6A5ACD, 0xDC143C, 0x4682B4, 0x98FB98};
constexpr uint32_t VoiceColour(int voice) {
    return kVoiceColours[static_cast<size_t>(voice) % kMaxEnsembleVoices];
}

// A note of the voices as the piano roll draws it.
struct RollNote {
    int64_t StartMs;  // since the ensemble's start, the voice's offset included
    int32_t DurationMs;
    int32_t Key;  // transposed, as the keyboard shows it
    int Voice;    // index into the voices
    int Member;   // index of the element in the voice's melody
    std::optional<int32_t> LengthExponent;
    int64_t EndMs() const { return StartMs + DurationMs; }
    bool operator==(const RollNote&) const = default;
};

struct EnsembleRoll {
    std::vector<RollNote> Notes;     // by start, then by voice
    std::vector<std::string> Names;  // each voice's name, for the hover line
    int64_t EndMs = 0;               // where the longest audible voice ends
    int32_t LongestMs = 0;           // the longest note, to find those sounding at a time
};

// The notes that sound when the voices play: audible voices only, transposed;
// rests and notes the transposition pushes out of MIDI's range are left out,
// as the scheduler leaves them out.
EnsembleRoll RollOf(const std::vector<EnsembleVoice>& voices);

// "Stimme 2 (Bass): Glied 5 → Taste 41 (cis') · Viertel".
std::string RollNoteLine(const EnsembleRoll& roll, size_t index);
