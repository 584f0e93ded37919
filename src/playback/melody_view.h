#pragma once
// A melody together with the members behind its notes: what the picture
// window draws, what its hover text and the keyboard's title say, and what
// its text and CSV exports list.
#include <cmath>
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

// What falls into one pixel column of the picture: the lowest and highest
// value (plot) or key (roll); empty where nothing does.
struct ColumnSpan {
    double Low = INFINITY, High = -INFINITY;
    int64_t LatestStartMs = INT64_MIN;  // roll: the last element's start, to layer voices
    bool Empty() const { return !(Low <= High); }
    void Add(double v) {
        // NaN, which stands for nothing, fails both comparisons.
        if (v < Low) Low = v;
        if (v > High) High = v;
    }
    void Add(const ColumnSpan& other) {
        if (other.Low < Low) Low = other.Low;
        if (other.High > High) High = other.High;
    }
    bool operator==(const ColumnSpan&) const = default;
};

// Values by index whose lowest and highest over any range are found in
// logarithmic time, so that a picture costs its pixel columns, not its
// members. NaN stands for nothing (a rest).
class RangeSpans {
public:
    RangeSpans() = default;
    explicit RangeSpans(std::vector<double> values);
    size_t Size() const { return values_.size(); }
    double operator[](size_t i) const { return values_[i]; }
    // Over [from, to), clamped to the values.
    ColumnSpan Of(size_t from, size_t to) const;

private:
    static constexpr size_t kBlock = 16;  // values scanned directly at a range's ends
    std::vector<double> values_;
    size_t blocks_ = 0;
    std::vector<ColumnSpan> tree_;  // tree_[blocks_ + b] is block b; tree_[i] joins 2i, 2i + 1
};

// The plot's columns: member i stands at x = i + 0.5, column c holds
// x0 + c·width up to x0 + (c + 1)·width.
std::vector<ColumnSpan> PlotColumns(const RangeSpans& values, double x0, double width, int columns);

// One voice's notes, each starting where or after the previous one ends (as a
// timeline lays them out): the keys that sound in each column of a piano roll.
class KeyTrack {
public:
    KeyTrack() = default;
    // A melody's elements; rests sound nowhere.
    explicit KeyTrack(const std::vector<NoteEvent>& events);
    // Starts ascending, ends ascending, keys NaN where nothing sounds.
    KeyTrack(std::vector<int64_t> starts, std::vector<int64_t> ends, std::vector<double> keys);
    // The notes sounding somewhere in [fromMs, toMs): first and one past the last.
    std::pair<size_t, size_t> During(double fromMs, double toMs) const;
    // Columns as for the plot, over ms.
    std::vector<ColumnSpan> Columns(double x0, double width, int columns) const;

private:
    std::vector<int64_t> starts_, ends_;
    RangeSpans keys_;
};

// One track per voice of the roll, by voice index.
std::vector<KeyTrack> TracksOf(const EnsembleRoll& roll);
