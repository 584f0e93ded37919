#pragma once
// Filling a map in one step: n rows of evenly stepped keys or of a scale
// walked upwards from its root, or n rows of a cycle of note lengths.
#include <cstdint>
#include <string>
#include <vector>

inline constexpr int kFillRowsMax = 10000;
inline constexpr int64_t kFillValueMax = 1000000;
// Length exponents a cycle may hold: the longest note still has a duration at
// the slowest tempo; beyond the shortest every note lasts 0 ms anyway.
inline constexpr int kFillLengthMin = -17, kFillLengthMax = 31;

// What becomes of a key outside 1 to 88: "begrenzen" takes the nearest end,
// "oktavieren" moves it by whole octaves onto the keyboard.
enum class KeyClip { Limit, Octave };

struct NoteFill {
    int Rows = 12;
    // Even steps: row i holds First + i * Step.
    int64_t First = 40;
    int64_t Step = 1;
    // A scale of "Tonleiter:" (1 to 15): row i holds the note i * Step scale
    // degrees above Root, the octave following on. 0 for even steps.
    int Scale = 0;
    int Root = 40;
    std::vector<int> OwnSteps;  // for "Eigene..."
    KeyClip Clip = KeyClip::Limit;
};

// The rows' values; EInvalidInput for a row count outside 1 to kFillRowsMax,
// an unlisted scale or "Eigene..." without steps.
std::vector<std::string> NoteFillValues(const NoteFill& fill);

// A key moved onto the keyboard.
int32_t ClipKey(int64_t key, KeyClip clip);

// rows values that repeat the cycle of length exponents.
std::vector<std::string> TempoFillValues(int rows, const std::vector<int32_t>& cycle);

// "2 3 3": length exponents between blanks or commas, each within the bounds above.
std::vector<int32_t> ParseLengthCycle(const std::string& text);

// The shortest cycle that gives the rows again ("2 3 3" for 2 3 3 2 3 3), as
// the dialog's field takes it; empty when a row is no length a cycle may hold.
std::string LengthCycleText(const std::vector<std::string>& rows);
