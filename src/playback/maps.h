#pragma once
// How members become music: the note map gives key numbers, the tempo map
// length exponents, the slider the tempo; plus the scale presets and tempo names.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/maptable.h"

// The integer in the row of table that the remainder of member (decimal
// digits, any length) selects. "'%s' ist kein gültiger Integerwert" for a
// cell that is no 32-bit integer.
int32_t MapLookup(const ValueListTable& table, std::string_view member);

// 240000 / (2^L * tempo) ms, rounded half to even. A length that gives no
// duration representable as a non-negative 32-bit count is refused (EInvalidInput).
int32_t NoteDurationMs(int32_t lengthExponent, int tempo);

// What GetKeyOrTempo looks up; the numbers are the kinds of old.
enum class LookupKind : int {
    Key = 0,             // the key number of a member, from the note map
    DurationMs = 1,      // its duration in ms, from the tempo map at the given tempo
    LengthExponent = 2,  // the tempo map's length exponent itself, for exports of note values
};
int32_t GetKeyOrTempo(LookupKind kind, std::string_view member, const ValueListTable& noteMap,
                      const ValueListTable& tempoMap, int tempo);

// Entries of the preset boxes, index 0 being "-keine Vorgabe-". "Tonleiter:"
// holds the church modes and the chromatic scale at 1 to 7, further scales
// after them and "Eigene..." last (playback/scales.h).
extern const std::array<const char*, 16> kTonartEntries;
extern const std::array<const char*, 78> kGrundtonEntries;
// General MIDI program names, index = program number.
extern const std::array<const char*, 128> kInstrumentNames;

// Rewrites the note map from the two preset boxes' indices, one row per note
// of the scale. Does nothing when either index is 0 or is no listed entry (a
// typed text), or for "Eigene..." without own steps. Returns whether it applied.
bool ApplyScalePreset(ValueListTable& noteMap, int tonartIndex, int grundtonIndex,
                      const std::vector<int>& ownSteps = {});

// "+": appends "n=0" and selects it. "-": deletes the last row, keeping one.
void AddMapRow(ValueListTable& table);
void RemoveMapRow(ValueListTable& table);

// "Tempo: 90 (Andante)".
std::string TempoName(int position);
std::string TempoCaption(int position);

constexpr int kTempoMin = 20;
constexpr int kTempoMax = 220;
