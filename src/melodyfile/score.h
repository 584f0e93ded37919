#pragma once
// A melody as sheet music: MusicXML (for score editors) and LilyPond (for
// printing). Both writers share one layout: bars of the time signature, note
// values down to a 1024th, split and tied by the beat, pitches spelled by the degrees of the
// chosen scale preset in its key and mode, clef by range.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/errors.h"
#include "playback/ensemble.h"
#include "playback/meter.h"
#include "playback/timeline.h"

// A melody that no score can hold.
class EScoreError : public EInvalidInput {
    using EInvalidInput::EInvalidInput;
};

// One voice of the score: its own part (MusicXML) or staff (LilyPond).
struct ScoreVoice {
    MelodyTimeline Melody;
    int Program = 0;     // General MIDI program 0..127
    std::string Name{};  // the part's name; empty: the instrument's
    // 1..16; on the percussion channel the keys name drum sounds and the part
    // is a percussion part. 0: a channel by the voice's place.
    int Channel = 0;
    int Transpose = 0;     // semitones; a note beyond the MIDI range becomes a rest
    int64_t OffsetUs = 0;  // leading rests, counted at the score's tempo
    // The tempo the melody was made at; its note values are scaled to the
    // score's. 0: the score's.
    int Tempo = 0;
};

struct Score {
    std::string Title;
    int Tempo = 90;  // quarter beats per minute, kTempoMin..kTempoMax
    // The scale preset the note map is (PresetOfNoteMap), for the key; 0: none,
    // and the key is found from the notes (KeyOfScore).
    int ScaleIndex = 0;
    int RootIndex = 0;
    std::vector<ScoreVoice> Voices;
    TimeSignature Meter{};
};

// The longest score written: beyond it a file would be too large to open.
inline constexpr int64_t kScoreMaxBars = 100000;

// ---- the layout both writers print ----

// Percussion: one staff, each note on the line of its key's pitch.
enum class Clef { Treble, Bass, Grand, Percussion };

struct SpelledPitch {
    char Step;   // 'C'..'B'
    int Alter;   // -2 double flat .. +2 double sharp
    int Octave;  // scientific: middle C (MIDI 60) is C4; the sounding pitch
};

struct ScoreItem {
    bool Rest;
    SpelledPitch Pitch;  // of a note
    int Units;           // its length: a power of two (1 a 1024th .. 1024 a whole
    bool Dotted;         // note), or 3/2 of one when dotted
    bool TieStart, TieStop;
    bool ShowAccidental;  // differs from what the bar's earlier notes or the key give
    // The expression maps' values at the first piece of a note where they
    // differ from the staff's note before; the dynamic mark where its band does.
    std::optional<int> Velocity{};
    std::optional<int> Pan{};
    const char* Dynamic = nullptr;  // "pp" .. "ff"
};

// One staff's bars, every bar exactly as long as the time signature says.
using StaffBars = std::vector<std::vector<ScoreItem>>;

struct VoiceLayout {
    Clef VoiceClef;
    int Channel;  // 1..16
    // Written an octave above its sound, as for a double bass: the voice goes
    // below C0, the lowest octave MusicXML numbers.
    bool OctaveLower;
    // One staff, or two for the grand staff (treble above, bass below).
    std::vector<StaffBars> Staves;
};

// None: no key, written as C major without a mode.
enum class KeyMode { None, Major, Minor, Dorian, Phrygian, Lydian, Mixolydian, Locrian };

// The key a scale preset is written in, and how its notes are spelled.
struct ScoreKey {
    int Fifths = 0;  // the key signature: sharps > 0, flats < 0
    KeyMode Mode = KeyMode::None;
    SpelledPitch Tonic{'C', 0, 0};  // the root as the key names it; octave unused
    // Per pitch class (0 = C): the scale's own spelling, each degree on its
    // letter, then the key signature's; Step 0 for a note outside both.
    std::array<char, 12> Step{};
    std::array<int, 12> Alter{};
};

struct ScoreLayout {
    ScoreKey Key;
    std::vector<VoiceLayout> Voices;
};

inline constexpr int kUnitsPerWhole = 1024;
inline constexpr int kUnitsPerBeat = kUnitsPerWhole / 4;
// A bar's length and its beat's: a dotted one in compound meters.
inline int BarUnits(const TimeSignature& m) { return m.Beats * (kUnitsPerWhole / m.BeatType); }
inline int BeatUnits(const TimeSignature& m) {
    return (m.Compound() ? 3 : 1) * (kUnitsPerWhole / m.BeatType);
}

// One value of a bar, from Start (in units from the bar line).
struct BarValue {
    int Start, Units;
    bool Dotted;
};
// The values a note (tied from one to the next) or a rest from start to end
// within one bar is written in, by the beat: a note that fits one value
// allowed where it starts is one value, else it is split at the strongest
// beat inside it (the middle of a bar of four or more beats, then beats, then
// their halves or, in compound meters, their thirds, ...). Rests lie on their
// own value's grid and take no dots, but whole dotted beats in compound
// meters; notes starting on a beat may be any value that fits (in compound
// meters a plain one within the beat); an off-beat note never crosses the
// middle, and crosses a beat only as a syncopated beat of a simple meter.
std::vector<BarValue> BarValues(int start, int end, bool rest, const TimeSignature& meter = {});

// The dynamic mark of a velocity's band: pp, p, mp, mf, f, ff.
const char* DynamicMark(int velocity);

// Checks tempo and programs and lays the voices out; every voice gets as many
// bars as the longest. Throws EScoreError.
ScoreLayout LayOutScore(const Score& score);

// Several voices as one score: a part per voice, named after it, offset,
// transposed and on its channel; a voice that does not sound (VoiceAudible)
// is left out. The title lists the names.
Score EnsembleScore(const std::vector<EnsembleVoice>& voices, int tempo, int scaleIndex,
                    int rootIndex);

// The key of a preset: major and major pentatonic in the major key of the
// root, the church modes in their mode (the parent major scale's signature),
// the minor scales, minor pentatonic and blues in the minor key of the root;
// none for no preset, the chromatic, the whole-tone or an own scale.
ScoreKey PresetKey(int scaleIndex, int rootIndex);
// Per pitch class (0 = C), how long the score's voices sound it, in whole
// notes (by the length exponent, else by time at 120), transposed; drums and
// rests left out.
std::array<double, 12> PitchClassDurations(const Score& score);
struct DetectedKey {
    int TonicPitchClass = 0;
    bool Minor = false;
};
// The major or minor key whose Krumhansl-Kessler profile correlates best with
// the durations; none when nothing sounds.
std::optional<DetectedKey> DetectKey(const std::array<double, 12>& durations);
// The key of a score: that of its preset (the chromatic scale names none), else
// the detected one, a minor key spelled as harmonic minor (its raised seventh
// the leading note); none when nothing sounds.
ScoreKey KeyOfScore(const Score& score);
// A note as the key spells it; a note outside the scale and the key on a
// white key natural, on a black key sharp when the melody rises to it
// (direction > 0), flat when it falls (< 0), else by the key's side.
SpelledPitch SpellNote(int midiNote, const ScoreKey& key, int direction);
// "major", "minor", "dorian", ... as MusicXML and LilyPond both name a mode;
// None: "major".
const char* KeyModeName(KeyMode mode);
// The alteration a key signature gives a step.
int KeyAlter(char step, int fifths);

// The file texts, and writing them as WriteFileAtomically does.
std::string MusicXmlText(const Score& score);
std::string LilyPondText(const Score& score);
void WriteMusicXmlFile(const std::string& path, const Score& score);
void WriteLilyPondFile(const std::string& path, const Score& score);

// A title as a score may hold it: valid UTF-8 without control characters
// (each becomes a blank, each byte that is no UTF-8 a "?").
std::string ScoreText(const std::string& text);

// "Sonavix 0.1": the software named in every score.
std::string ScoreSoftware();
