#pragma once
// The scales of "Tonleiter:" as semitone offsets above the root, and the own
// scale the user types as steps from note to note.
#include <string>
#include <vector>

// Index of "Eigene..." in "Tonleiter:", the last entry.
inline constexpr int kOwnScaleIndex = 15;

// Offsets above the root, ascending, all below 12, the first 0; empty for an
// index that names no scale (0, "Eigene..." and unlisted ones).
std::vector<int> ScaleOffsets(int tonartIndex);

// The preset of "Tonleiter:" and "Grundton:" (box indices) that would fill the
// note map with exactly these values, whatever filled it; {0, 0} for none.
struct ScalePreset {
    int ScaleIndex = 0;
    int RootIndex = 0;
};
ScalePreset PresetOfNoteMap(const std::vector<std::string>& values);

// Steps of an own scale, read from "2 2 1 2 2 2 1" (blanks or commas between).
// Each step is 1 to 12 semitones and all together at most 12: what is left
// to the octave closes the scale. Refused with EInvalidInput otherwise.
std::vector<int> ParseScaleSteps(const std::string& text);

// "2 2 1 2 2 2 1".
std::string ScaleStepsText(const std::vector<int>& steps);

// The offsets of the notes that steps lead to from the root, within one octave.
std::vector<int> OffsetsOfSteps(const std::vector<int>& steps);
