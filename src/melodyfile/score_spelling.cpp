// Keys and spelling of the scale presets: each degree of a scale on its own
// letter, as a musician writes the scale.
#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "melodyfile/score.h"
#include "midi/midinote.h"
#include "playback/scales.h"

namespace {
// Per entry of the scale box: semitones from the root down to the tonic of the
// major scale whose signature the scale is written in; -1 for none (no preset,
// chromatic, whole tone, own steps). The minor scales and the blues take the
// natural minor's signature, as they are commonly written.
constexpr int kParentShift[] = {-1, 0, 2, 4, 5, 7, 9, -1, 11, 9, 9, 0, 9, 9, -1, -1};
constexpr KeyMode kModes[] = {
    KeyMode::None,    KeyMode::Major,      KeyMode::Dorian, KeyMode::Phrygian,
    KeyMode::Lydian,  KeyMode::Mixolydian, KeyMode::Minor,  KeyMode::None,
    KeyMode::Locrian, KeyMode::Minor,      KeyMode::Minor,  KeyMode::Major,
    KeyMode::Minor,   KeyMode::Minor,      KeyMode::None,   KeyMode::None};
static_assert(std::size(kModes) == std::size(kParentShift));
// The letter of each degree, counted from the root's, for the scales of fewer
// than seven notes: pentatonics leave out two letters of their major or minor
// scale, the blues puts its flattened fifth on the fifth's letter, and the
// whole-tone scale is 1 2 3 #4 #5 b7.
struct DegreeLetters {
    int scaleIndex;
    int letters[6];
};
constexpr DegreeLetters kShortScales[] = {
    {11, {0, 1, 2, 4, 5}},
    {12, {0, 2, 3, 4, 6}},
    {13, {0, 2, 3, 4, 4, 6}},
    {14, {0, 1, 2, 3, 4, 6}},
};
constexpr int kChromaticIndex = 7;
// Key signature of the major scale on each pitch class; F sharp rather than
// G flat, as the root box names the sharp first.
constexpr int kMajorFifths[12] = {0, -5, 2, -3, 4, -1, 6, 1, -4, 3, -2, 5};
constexpr char kSteps[7] = {'C', 'D', 'E', 'F', 'G', 'A', 'B'};
constexpr int kStepPitch[7] = {0, 2, 4, 5, 7, 9, 11};
// Position of each step in the order sharps are added (F C G D A E B).
constexpr int kStepFifthsOrder[7] = {1, 3, 5, 0, 2, 4, 6};

int StepIndex(char step) { return static_cast<int>(std::find(kSteps, kSteps + 7, step) - kSteps); }

// The alteration from a step's natural to a pitch class, -6..5.
int AlterTo(int step, int pitchClass) {
    const int alter = (pitchClass - kStepPitch[step] + 12) % 12;
    return alter > 5 ? alter - 12 : alter;
}

// The step that spells a pitch class with an alteration, -1 for none.
int StepWith(int pitchClass, int alter) {
    for (int step = 0; step < 7; ++step)
        if (AlterTo(step, pitchClass) == alter) return step;
    return -1;
}

// The letter of a pitch class as its major key names it: C, D flat, D, ...
int NamedStep(int pitchClass) { return (4 * kMajorFifths[pitchClass] % 7 + 7) % 7; }

// The scale's degrees spelled from a root letter; returns the number of
// double accidentals. Leaves key untouched for a scale without letters.
int SpellDegrees(ScoreKey& key, int scaleIndex, int rootPitch, int rootStep) {
    const std::vector<int> offsets = ScaleOffsets(scaleIndex);
    const int* letters = nullptr;
    static constexpr int kSeven[7] = {0, 1, 2, 3, 4, 5, 6};
    if (offsets.size() == 7) letters = kSeven;
    for (const DegreeLetters& s : kShortScales)
        if (s.scaleIndex == scaleIndex) letters = s.letters;
    if (!letters || scaleIndex == kChromaticIndex) return 0;
    int doubles = 0;
    for (size_t d = 0; d < offsets.size(); ++d) {
        const int pitch = (rootPitch + offsets[d]) % 12;
        const int step = (rootStep + letters[d]) % 7;
        key.Step[pitch] = kSteps[step];
        key.Alter[pitch] = AlterTo(step, pitch);
        doubles += std::abs(key.Alter[pitch]) > 1;
    }
    return doubles;
}
}  // namespace

int KeyAlter(char step, int fifths) {
    const int order = kStepFifthsOrder[StepIndex(step)];
    if (fifths > 0) return order < fifths ? 1 : 0;
    if (fifths < 0) return 6 - order < -fifths ? -1 : 0;
    return 0;
}

const char* KeyModeName(KeyMode mode) {
    switch (mode) {
        case KeyMode::Minor:
            return "minor";
        case KeyMode::Dorian:
            return "dorian";
        case KeyMode::Phrygian:
            return "phrygian";
        case KeyMode::Lydian:
            return "lydian";
        case KeyMode::Mixolydian:
            return "mixolydian";
        case KeyMode::Locrian:
            return "locrian";
        default:
            return "major";
    }
}

ScoreKey PresetKey(int scaleIndex, int rootIndex) {
    ScoreKey key;
    if (scaleIndex < 0 || scaleIndex >= static_cast<int>(std::size(kParentShift)) || rootIndex < 1)
        return key;
    const int rootPitch = KeyPitchClass(rootIndex);
    if (kParentShift[scaleIndex] >= 0) {
        key.Mode = kModes[scaleIndex];
        const auto sign = [&](int fifths) {
            key.Fifths = fifths;
            for (int step = 0; step < 7; ++step) {
                const int alter = KeyAlter(kSteps[step], fifths);
                const int pitch = (kStepPitch[step] + alter + 12) % 12;
                key.Step[pitch] = kSteps[step];
                key.Alter[pitch] = alter;
            }
        };
        // The root and the notes the signature gives, then the scale's degrees
        // over them (the raised sixth and seventh of the minor scales). Of F
        // sharp and G flat major, the one that keeps the root's name: E flat
        // minor, F locrian, B lydian.
        sign(kMajorFifths[(rootPitch - kParentShift[scaleIndex] + 12) % 12]);
        if (key.Fifths == 6 && StepIndex(key.Step[rootPitch]) != NamedStep(rootPitch)) sign(-6);
        key.Tonic = {key.Step[rootPitch], key.Alter[rootPitch], 0};
        SpellDegrees(key, scaleIndex, rootPitch, StepIndex(key.Tonic.Step));
        return key;
    }
    // No signature: the whole-tone scale from the root named as in its major
    // key, or the other name where that needs fewer double accidentals.
    const int named = NamedStep(rootPitch);
    ScoreKey other = key;
    const int doubles = SpellDegrees(key, scaleIndex, rootPitch, named);
    const int otherStep = AlterTo(named, rootPitch) > 0 ? (named + 1) % 7 : (named + 6) % 7;
    if (AlterTo(named, rootPitch) != 0 &&
        SpellDegrees(other, scaleIndex, rootPitch, otherStep) < doubles)
        return other;
    return key;
}

SpelledPitch SpellNote(int midiNote, const ScoreKey& key, int direction) {
    const int pitchClass = midiNote % 12;
    int step = 0, alter = 0;
    if (key.Step[pitchClass]) {
        step = StepIndex(key.Step[pitchClass]);
        alter = key.Alter[pitchClass];
    } else {
        // A white key as its natural, a black one by the letter below or above.
        const bool sharp = direction > 0 || (direction == 0 && key.Fifths >= 0);
        step = StepWith(pitchClass, 0);
        alter = step < 0 ? (sharp ? 1 : -1) : 0;
        if (step < 0) step = StepWith(pitchClass, alter);
    }
    return {kSteps[step], alter, (midiNote - kStepPitch[step] - alter) / 12 - 1};
}
