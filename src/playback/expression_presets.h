#pragma once
// The presets of the expression maps: rows a frame's "Vorgabe:" list fills in.
#include <array>
#include <string>
#include <vector>

#include "playback/expression.h"

inline constexpr std::array<const char*, 4> kExpressionPresets{"gleichbleibend", "ansteigend",
                                                               "abfallend", "wechselnd"};

// The rows of preset (an index into kExpressionPresets) for kind:
// "gleichbleibend" one row (velocity 110, the centre), "ansteigend" and
// "abfallend" eight rows over the kind's range (velocities from pp to fff,
// pans from left to right), "wechselnd" two rows (loud and soft, left and right).
std::vector<std::string> ExpressionPresetRows(Expression kind, size_t preset);
