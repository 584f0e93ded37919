// The key a score is written in: the scale preset the note map was made of,
// else the key the melody's pitch classes suggest.
#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <numeric>

#include "melodyfile/score.h"
#include "midi/midinote.h"
#include "playback/scales.h"

namespace {
// Krumhansl and Kessler's probe-tone ratings of the twelve degrees above a
// major and a minor tonic, the profiles score editors match imported notes to.
constexpr double kMajorProfile[12] = {6.35, 2.23, 3.48, 2.33, 4.38, 4.09,
                                      2.52, 5.19, 2.39, 3.66, 2.29, 2.88};
constexpr double kMinorProfile[12] = {6.33, 2.68, 3.52, 5.38, 2.60, 3.53,
                                      2.54, 4.75, 3.98, 2.69, 3.34, 3.17};
constexpr int kMajorScale = 1;          // "Ionisch (Dur)"
constexpr int kHarmonicMinorScale = 9;  // its raised seventh is spelled as the leading note
constexpr int kChromaticScale = 7;
constexpr int kRootOfC = 40;  // c', whose pitch class is 0

// Pearson's correlation of the durations with a profile on a tonic.
double Correlation(const std::array<double, 12>& durations, const double (&profile)[12],
                   int tonic) {
    const double meanD = std::accumulate(durations.begin(), durations.end(), 0.0) / 12;
    const double meanP = std::accumulate(std::begin(profile), std::end(profile), 0.0) / 12;
    double sum = 0, d2 = 0, p2 = 0;
    for (int pc = 0; pc < 12; ++pc) {
        const double d = durations[pc] - meanD;
        const double p = profile[(pc - tonic + 12) % 12] - meanP;
        sum += d * p, d2 += d * d, p2 += p * p;
    }
    return d2 > 0 ? sum / std::sqrt(d2 * p2) : 0;
}
}  // namespace

std::array<double, 12> PitchClassDurations(const Score& score) {
    std::array<double, 12> durations{};
    for (const ScoreVoice& voice : score.Voices) {
        if (voice.Channel == kPercussionChannel) continue;  // drum keys are no pitches
        for (const NoteEvent& e : voice.Melody.Events()) {
            if (!e.Sounds()) continue;
            const int midi = KeyNote(e.Key) + voice.Transpose;
            if (midi < 0 || midi > 127) continue;
            // By note value where the melody has one: the same whatever the tempo.
            durations[midi % 12] += e.LengthExponent
                                        ? std::ldexp(1.0, -std::clamp(*e.LengthExponent, -40, 40))
                                        : e.DurationMs / 2000.0;
        }
    }
    return durations;
}

std::optional<DetectedKey> DetectKey(const std::array<double, 12>& durations) {
    if (std::all_of(durations.begin(), durations.end(), [](double d) { return d <= 0; }))
        return std::nullopt;
    DetectedKey best{};
    double bestScore = -2;
    // Major before minor and C upwards: of equal matches the first wins.
    for (const bool minor : {false, true})
        for (int tonic = 0; tonic < 12; ++tonic) {
            const double score =
                Correlation(durations, minor ? kMinorProfile : kMajorProfile, tonic);
            if (score > bestScore + 1e-12) bestScore = score, best = {tonic, minor};
        }
    return best;
}

ScoreKey KeyOfScore(const Score& score) {
    if (score.ScaleIndex != kChromaticScale && score.RootIndex > 0 &&
        !ScaleOffsets(score.ScaleIndex).empty())
        return PresetKey(score.ScaleIndex, score.RootIndex);
    const std::optional<DetectedKey> key = DetectKey(PitchClassDurations(score));
    if (!key) return {};
    return PresetKey(key->Minor ? kHarmonicMinorScale : kMajorScale,
                     kRootOfC + key->TonicPitchClass);
}
