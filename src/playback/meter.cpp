#include "playback/meter.h"

#include "common/convert.h"
#include "common/errors.h"
#include "common/quote.h"
#include "common/text.h"

TimeSignature ParseTimeSignature(const std::string& text) {
    const size_t slash = text.find('/');
    int32_t beats = 0, type = 0;
    const bool read = slash != std::string::npos &&
                      TryStrToInt(Trimmed(text.substr(0, slash)), beats) &&
                      TryStrToInt(Trimmed(text.substr(slash + 1)), type);
    if (!read || beats < 1 || beats > kMaxMeterBeats ||
        (type != 2 && type != 4 && type != 8 && type != 16))
        throw EInvalidInput("'" + QuotedText(text) +
                            "' ist keine gültige Taktart: erlaubt sind 1 bis " +
                            std::to_string(kMaxMeterBeats) +
                            " Schläge auf Halbe, Viertel, Achtel oder Sechzehntel (2, 4, 8, "
                            "16), z. B. 3/4 oder 6/8");
    return {beats, type};
}

std::optional<TimeSignature> ReadTimeSignature(const std::string& text) {
    try {
        return ParseTimeSignature(text);
    } catch (const EInvalidInput&) {
        return std::nullopt;
    }
}

std::string TimeSignatureText(const TimeSignature& meter) {
    return std::to_string(meter.Beats) + "/" + std::to_string(meter.BeatType);
}
