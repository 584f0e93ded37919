#include "playback/melody_view.h"

#include "formula/arithmetic.h"
#include "playback/maps.h"

namespace {
constexpr int32_t kLowestKey = 1, kHighestKey = 88;
// Keys above the root box's last entry, which ends at 77.
const char* const kTopKeyNames[] = {"d''''",   "dis''''", "e''''",   "f''''", "fis''''", "g''''",
                                    "gis''''", "a''''",   "ais''''", "h''''", "c'''''"};
}  // namespace

DescribedMelody DescribeMelody(IPlaybackHost& host, int noteMapRows) {
    MelodySequences melody = ReadMelodySequences(host);
    DescribedMelody described;
    described.Modulus = noteMapRows;
    while (!melody.Notes.AtEnd()) {
        const std::string_view note = melody.Notes.Take();
        const std::string_view tempo = melody.Tempi.Take();
        const int32_t key = host.GetKeyOrTempo(0, note);
        const int32_t durationMs = host.GetKeyOrTempo(1, tempo);
        described.Timeline.Append(key, durationMs, host.GetKeyOrTempo(kLengthExponentKind, tempo));
        described.Members.emplace_back(note);
    }
    return described;
}

std::string KeyName(int32_t key) {
    if (key < kLowestKey) return "Pause";
    if (key > kHighestKey) return "jenseits der Klaviatur";
    if (key >= static_cast<int32_t>(kGrundtonEntries.size()))
        return kTopKeyNames[key - kGrundtonEntries.size()];
    const std::string name = kGrundtonEntries[key];
    return name.substr(0, name.find('/'));
}

std::string LengthName(std::optional<int32_t> L, int32_t durationMs) {
    static const char* const kNames[] = {"Ganze",
                                         "Halbe",
                                         "Viertel",
                                         "Achtel",
                                         "Sechzehntel",
                                         "Zweiunddreißigstel",
                                         "Vierundsechzigstel"};
    if (!L) return std::to_string(durationMs) + " ms";
    if (*L >= 0 && *L < static_cast<int32_t>(std::size(kNames))) return kNames[*L];
    if (*L < 0 && *L >= -30) return std::to_string(int64_t{1} << -*L) + " Ganze";
    if (*L > 0 && *L <= 62) return "1/" + std::to_string(int64_t{1} << *L);
    return std::to_string(durationMs) + " ms";
}

std::string NoteLine(size_t index, std::string_view member, int modulus, int32_t key,
                     std::optional<int32_t> lengthExponent, int32_t durationMs) {
    const std::string sound =
        key < kLowestKey ? "Pause" : "Taste " + std::to_string(key) + " (" + KeyName(key) + ")";
    return "Glied " + std::to_string(index + 1) + ": " + std::string(member) + " → Rest " +
           std::to_string(DecimalRemainder(member, modulus)) + " (mod " + std::to_string(modulus) +
           ") → " + sound + " · " + LengthName(lengthExponent, durationMs);
}

std::string NoteLine(const DescribedMelody& melody, size_t index) {
    const NoteEvent& e = melody.Timeline.Events().at(index);
    return NoteLine(index, melody.Members.at(index), melody.Modulus, e.Key, e.LengthExponent,
                    e.DurationMs);
}

std::string MelodyCsv(const DescribedMelody& melody) {
    std::string csv = "Glied,Wert,Rest,Taste,Länge (ms)\n";
    const auto& events = melody.Timeline.Events();
    for (size_t i = 0; i < events.size(); ++i)
        csv += std::to_string(i + 1) + "," + melody.Members[i] + "," +
               std::to_string(DecimalRemainder(melody.Members[i], melody.Modulus)) + "," +
               std::to_string(events[i].Key) + "," + std::to_string(events[i].DurationMs) + "\n";
    return csv;
}

std::string MelodyText(const DescribedMelody& melody) {
    std::string text;
    for (size_t i = 0; i < melody.Members.size(); ++i) text += NoteLine(melody, i) + "\n";
    return text;
}
