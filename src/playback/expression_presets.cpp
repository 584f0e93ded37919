#include "playback/expression_presets.h"

#include <algorithm>
#include <stdexcept>

std::vector<std::string> ExpressionPresetRows(Expression kind, size_t preset) {
    const bool dynamics = kind == Expression::Dynamics;
    // Loudness from pianissimo up; a pan over the whole width.
    const int low = dynamics ? 32 : kPanMin, high = dynamics ? kVelocityMax : kPanMax;
    std::vector<int> rows;
    switch (preset) {
        case 0:
            rows = {dynamics ? 110 : 0};
            break;
        case 1:
        case 2: {
            constexpr int kSteps = 8;
            for (int i = 0; i < kSteps; ++i) rows.push_back(low + (high - low) * i / (kSteps - 1));
            if (preset == 2) std::reverse(rows.begin(), rows.end());
            break;
        }
        case 3:
            rows = dynamics ? std::vector<int>{kVelocityMax, 48} : std::vector<int>{low, high};
            break;
        default:
            throw std::out_of_range("no such expression preset");
    }
    std::vector<std::string> texts;
    texts.reserve(rows.size());
    for (const int value : rows) texts.push_back(std::to_string(value));
    return texts;
}
