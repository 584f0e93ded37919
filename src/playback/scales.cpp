#include "playback/scales.h"

#include <numeric>

#include "common/convert.h"
#include "common/errors.h"
#include "playback/maps.h"

namespace {
// The major pattern over two octaves; the six modes are windows into it.
constexpr int kMajorSteps[12] = {0, 2, 4, 5, 7, 9, 11, 12, 14, 16, 17, 19};
constexpr int kModeCount = 6;
constexpr int kChromatic = 7;

// Scales after the church modes, in the order of "Tonleiter:" from index 8.
const std::vector<int> kMoreScales[] = {
    {0, 1, 3, 5, 6, 8, 10},  // Lokrisch
    {0, 2, 3, 5, 7, 8, 11},  // Harmonisch Moll
    {0, 2, 3, 5, 7, 9, 11},  // Melodisch Moll, as it rises
    {0, 2, 4, 7, 9},         // Dur-Pentatonik
    {0, 3, 5, 7, 10},        // Moll-Pentatonik
    {0, 3, 5, 6, 7, 10},     // Blues
    {0, 2, 4, 6, 8, 10},     // Ganzton
};
constexpr int kFirstMoreScale = 8;
static_assert(kFirstMoreScale + std::size(kMoreScales) == kOwnScaleIndex);

constexpr int kOctave = 12;
const char* const kStepsExample = "z. B. 2 2 1 2 2 2 1 für Dur";
}  // namespace

std::vector<int> ScaleOffsets(int index) {
    std::vector<int> offsets;
    if (index >= 1 && index <= kModeCount) {
        for (int j = 0; j < 7; ++j)
            offsets.push_back(kMajorSteps[index - 1 + j] - kMajorSteps[index - 1]);
    } else if (index == kChromatic) {
        for (int j = 0; j < kOctave; ++j) offsets.push_back(j);
    } else if (index >= kFirstMoreScale && index < kOwnScaleIndex) {
        offsets = kMoreScales[index - kFirstMoreScale];
    }
    return offsets;
}

ScalePreset PresetOfNoteMap(const std::vector<std::string>& values) {
    int32_t root = 0;
    if (values.empty() || !TryStrToInt(values.front(), root) || root < 1 ||
        root >= static_cast<int>(kGrundtonEntries.size()))
        return {};
    for (int scale = 1; scale < kOwnScaleIndex; ++scale) {
        const std::vector<int> offsets = ScaleOffsets(scale);
        if (offsets.size() != values.size()) continue;
        bool same = true;
        for (size_t i = 0; same && i < offsets.size(); ++i)
            same = values[i] == std::to_string(root + offsets[i]);
        if (same) return {scale, root};
    }
    return {};
}

std::vector<int> ParseScaleSteps(const std::string& text) {
    std::vector<int> steps;
    size_t pos = 0;
    while (true) {
        pos = text.find_first_not_of(" ,\t", pos);
        if (pos == std::string::npos) break;
        const size_t end = std::min(text.find_first_of(" ,\t", pos), text.size());
        const std::string word = text.substr(pos, end - pos);
        int32_t step = 0;
        if (!TryStrToInt(word, step) || step < 1 || step > kOctave)
            throw EInvalidInput("'" + QuotedText(word) +
                                "' ist kein gültiger Schritt: erlaubt sind ganze Zahlen von 1 bis "
                                "12 Halbtönen, " +
                                kStepsExample);
        steps.push_back(step);
        pos = end;
    }
    if (steps.empty())
        throw EInvalidInput(std::string("Die eigene Tonleiter braucht Schritte in Halbtönen, ") +
                            kStepsExample);
    const int sum = std::accumulate(steps.begin(), steps.end(), 0);
    if (sum > kOctave)
        throw EInvalidInput("Die Schritte ergeben zusammen " + std::to_string(sum) +
                            " Halbtöne, mehr als eine Oktave (12)");
    return steps;
}

std::string ScaleStepsText(const std::vector<int>& steps) {
    std::string text;
    for (int step : steps) text += (text.empty() ? "" : " ") + std::to_string(step);
    return text;
}

std::vector<int> OffsetsOfSteps(const std::vector<int>& steps) {
    std::vector<int> offsets{0};
    int offset = 0;
    for (int step : steps) {
        offset += step;
        // Steps that were never checked still give each note once, on the keyboard.
        if (offset > offsets.back() && offset < kOctave) offsets.push_back(offset);
    }
    return offsets;
}
