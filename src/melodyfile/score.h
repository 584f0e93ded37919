#pragma once
// A melody as sheet music: MusicXML (for score editors) and LilyPond (for
// printing). Both writers share one layout: 4/4 bars of note values down to
// a 1024th, notes tied across bar lines, pitches spelled in the key of the
// chosen scale preset, clef by range.
#include <cstdint>
#include <string>
#include <vector>

#include "common/errors.h"
#include "playback/ensemble.h"
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
    int Tempo = 90;      // quarter beats per minute, kTempoMin..kTempoMax
    int ScaleIndex = 0;  // the scale box's index, for the key signature
    int RootIndex = 0;   // the root box's index (its key number); 0: none
    std::vector<ScoreVoice> Voices;
};

// The longest score written: beyond it a file would be too large to open.
inline constexpr int64_t kScoreMaxBars = 100000;

// ---- the layout both writers print ----

// Percussion: one staff, each note on the line of its key's pitch.
enum class Clef { Treble, Bass, Grand, Percussion };

struct SpelledPitch {
    char Step;   // 'C'..'B'
    int Alter;   // -1 flat, 0, +1 sharp
    int Octave;  // scientific: middle C (MIDI 60) is C4
};

struct ScoreItem {
    bool Rest;
    SpelledPitch Pitch;  // of a note
    int Units;           // a power of two: 1 a 1024th .. 1024 a whole note
    bool TieStart, TieStop;
    bool ShowAccidental;  // differs from what the bar's earlier notes or the key give
};

// One staff's bars, every bar exactly a whole note long.
using StaffBars = std::vector<std::vector<ScoreItem>>;

struct VoiceLayout {
    Clef VoiceClef;
    int Channel;  // 1..16
    // One staff, or two for the grand staff (treble above, bass below).
    std::vector<StaffBars> Staves;
};

struct ScoreLayout {
    int Fifths;  // the key signature: sharps > 0, flats < 0
    std::vector<VoiceLayout> Voices;
};

inline constexpr int kUnitsPerWhole = 1024;

// Checks tempo and programs and lays the voices out; every voice gets as many
// bars as the longest. Throws EScoreError.
ScoreLayout LayOutScore(const Score& score);

// Several voices as one score: a part per voice, named after it, offset,
// transposed and on its channel; a voice that does not sound (VoiceAudible)
// keeps its part, with rests only. The title lists the names.
Score EnsembleScore(const std::vector<EnsembleVoice>& voices, int tempo, int scaleIndex,
                    int rootIndex);

// The key signature of a preset: the scale's own for major, the parent major
// scale's for the church modes, the natural minor's for the other minor
// scales, none for no preset, the chromatic, the whole-tone or an own scale.
int KeyFifths(int scaleIndex, int rootIndex);
SpelledPitch SpellMidiNote(int midiNote, int fifths);

// The file texts, and writing them as WriteFileAtomically does.
std::string MusicXmlText(const Score& score);
std::string LilyPondText(const Score& score);
void WriteMusicXmlFile(const std::string& path, const Score& score);
void WriteLilyPondFile(const std::string& path, const Score& score);

// Whether a path names a score file: ".musicxml" or ".xml" is MusicXML, ".ly" LilyPond.
bool IsMusicXmlPath(const std::string& path);
bool IsLilyPondPath(const std::string& path);

// A title as a score may hold it: valid UTF-8 without control characters
// (each becomes a blank, each byte that is no UTF-8 a "?").
std::string ScoreText(const std::string& text);

// "Sonavix 0.1": the software named in every score.
std::string ScoreSoftware();
