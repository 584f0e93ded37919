#include "playback/fill.h"

#include <algorithm>

#include "common/convert.h"
#include "common/errors.h"
#include "common/messages.h"
#include "playback/scales.h"

namespace {
constexpr int kLowestKey = 1, kHighestKey = 88, kOctave = 12;

void CheckRows(int rows) {
    if (rows < 1 || rows > kFillRowsMax)
        throw EInvalidInput("Eine Tabelle hat 1 bis " + std::to_string(kFillRowsMax) +
                            " Zeilen, nicht " + std::to_string(rows));
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
}  // namespace

int32_t ClipKey(int64_t key, KeyClip clip) {
    if (clip == KeyClip::Limit)
        return static_cast<int32_t>(std::clamp<int64_t>(key, kLowestKey, kHighestKey));
    if (key < kLowestKey) key += kOctave * ((kLowestKey - key + kOctave - 1) / kOctave);
    if (key > kHighestKey) key -= kOctave * ((key - kHighestKey + kOctave - 1) / kOctave);
    return static_cast<int32_t>(key);
}

std::vector<std::string> NoteFillValues(const NoteFill& fill) {
    CheckRows(fill.Rows);
    // Far beyond the keyboard either way, and small enough that no row overflows.
    if (fill.First < -kFillValueMax || fill.First > kFillValueMax || fill.Step < -kFillValueMax ||
        fill.Step > kFillValueMax)
        throw EInvalidInput("Erster Wert und Schritt liegen zwischen -" +
                            std::to_string(kFillValueMax) + " und " +
                            std::to_string(kFillValueMax));
    std::vector<int> offsets;
    if (fill.Scale != 0) {
        offsets =
            fill.Scale == kOwnScaleIndex ? OffsetsOfSteps(fill.OwnSteps) : ScaleOffsets(fill.Scale);
        if (offsets.empty() || (fill.Scale == kOwnScaleIndex && fill.OwnSteps.empty()))
            throw EInvalidInput("Der eigenen Tonleiter fehlen ihre Schritte");
    }
    std::vector<std::string> values;
    values.reserve(fill.Rows);
    for (int64_t i = 0; i < fill.Rows; ++i) {
        int64_t key = 0;
        if (offsets.empty()) {
            key = fill.First + i * fill.Step;
        } else {
            const int64_t degree = i * fill.Step;
            const int64_t size = static_cast<int64_t>(offsets.size());
            const int64_t octave = FloorDiv(degree, size);
            key = fill.Root + kOctave * octave + offsets[degree - octave * size];
        }
        values.push_back(std::to_string(ClipKey(key, fill.Clip)));
    }
    return values;
}

std::vector<std::string> TempoFillValues(int rows, const std::vector<int32_t>& cycle) {
    CheckRows(rows);
    if (cycle.empty()) throw EInvalidInput(msg::NoNoteLength);
    std::vector<std::string> values;
    values.reserve(rows);
    for (int i = 0; i < rows; ++i) values.push_back(std::to_string(cycle[i % cycle.size()]));
    return values;
}

std::vector<int32_t> ParseLengthCycle(const std::string& text) {
    std::vector<int32_t> lengths;
    size_t pos = 0;
    while ((pos = text.find_first_not_of(" ,\t", pos)) != std::string::npos) {
        const size_t end = std::min(text.find_first_of(" ,\t", pos), text.size());
        const std::string word = text.substr(pos, end - pos);
        int32_t length = 0;
        if (!TryStrToInt(word, length) || length < kFillLengthMin || length > kFillLengthMax)
            throw EInvalidInput("'" + QuotedText(word) +
                                "' ist keine gültige Notenlänge: erlaubt sind ganze Zahlen von " +
                                std::to_string(kFillLengthMin) + " bis " +
                                std::to_string(kFillLengthMax) + " (2 = Viertel, 3 = Achtel)");
        lengths.push_back(length);
        pos = end;
    }
    if (lengths.empty()) throw EInvalidInput(msg::NoNoteLength);
    return lengths;
}

std::string LengthCycleText(const std::vector<std::string>& rows) {
    for (const std::string& row : rows) {
        int32_t length = 0;
        if (!TryStrToInt(row, length) || length < kFillLengthMin || length > kFillLengthMax)
            return {};
    }
    // The shortest period p with rows[i] == rows[i - p]: the length of the
    // rows less their longest border (prefix function), in linear time.
    std::vector<size_t> border(rows.size(), 0);
    for (size_t i = 1; i < rows.size(); ++i) {
        size_t k = border[i - 1];
        while (k > 0 && rows[i] != rows[k]) k = border[k - 1];
        border[i] = rows[i] == rows[k] ? k + 1 : k;
    }
    const size_t period = rows.empty() ? 0 : rows.size() - border.back();
    std::string text;
    for (size_t i = 0; i < period; ++i) text += (i ? " " : "") + rows[i];
    return text;
}
