#include "playback/melody_view.h"

#include <algorithm>
#include <cmath>

#include "formula/arithmetic.h"
#include "playback/maps.h"

namespace {
constexpr int32_t kLowestKey = 1, kHighestKey = 88;
// Keys above the root box's last entry, which ends at 77.
const char* const kTopKeyNames[] = {"d''''",   "dis''''", "e''''",   "f''''", "fis''''", "g''''",
                                    "gis''''", "a''''",   "ais''''", "h''''", "c'''''"};
}  // namespace

DescribedMelody DescribeMelody(IPlaybackHost& host, int noteMapRows) {
    DescribedMelody described;
    described.Modulus = noteMapRows;
    described.Timeline = BuildTimeline(host, &described.Members);
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

std::string KeyCaption(int32_t key) {
    return key < kLowestKey ? "Pause" : "Taste " + std::to_string(key) + " (" + KeyName(key) + ")";
}

std::string NoteLine(size_t index, std::string_view member, int modulus, int32_t key,
                     std::optional<int32_t> lengthExponent, int32_t durationMs) {
    const std::string sound = KeyCaption(key);
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

EnsembleRoll RollOf(const std::vector<EnsembleVoice>& voices) {
    EnsembleRoll roll;
    for (size_t v = 0; v < voices.size(); ++v) {
        const EnsembleVoice& voice = voices[v];
        roll.Names.push_back(voice.Name);
        if (!VoiceAudible(voices, v)) continue;
        const int64_t offsetMs = std::llround(static_cast<double>(voice.OffsetUs) / 1000);
        roll.EndMs = std::max(roll.EndMs, offsetMs + voice.Melody.EndMs());
        const std::vector<NoteEvent>& melody = voice.Melody.Events();
        for (size_t m = 0; m < melody.size(); ++m) {
            const NoteEvent& e = melody[m];
            if (VoiceNote(voice, e.Key) < 0) continue;
            roll.Notes.push_back({offsetMs + e.StartMs, e.DurationMs, e.Key + voice.Transpose,
                                  static_cast<int>(v), static_cast<int>(m), e.LengthExponent});
            roll.LongestMs = std::max(roll.LongestMs, e.DurationMs);
        }
    }
    std::stable_sort(roll.Notes.begin(), roll.Notes.end(),
                     [](const RollNote& a, const RollNote& b) { return a.StartMs < b.StartMs; });
    return roll;
}

std::string RollNoteLine(const EnsembleRoll& roll, size_t index) {
    const RollNote& n = roll.Notes.at(index);
    // A transposed key may leave the keyboard and still sound.
    const std::string name =
        n.Key >= kLowestKey && n.Key <= kHighestKey ? " (" + KeyName(n.Key) + ")" : std::string();
    return VoiceLabel(n.Voice, roll.Names.at(static_cast<size_t>(n.Voice))) + "Glied " +
           std::to_string(n.Member + 1) + " → Taste " + std::to_string(n.Key) + name + " · " +
           LengthName(n.LengthExponent, n.DurationMs);
}
