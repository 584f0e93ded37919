#include "melodyfile/score.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <string>

#include "common/messages.h"
#include "playback/scales.h"
#include "support/expect_error.h"

namespace {
// A timeline from (key, length exponent) pairs at tempo 120 (a quarter 500 ms).
MelodyTimeline Timeline(const std::vector<std::pair<int32_t, int32_t>>& notes) {
    MelodyTimeline t;
    for (const auto& [key, length] : notes)
        t.Append(key, length > 30 ? 0 : 2000 >> std::clamp(length, 0, 30), length);
    return t;
}

Score OneVoice(MelodyTimeline melody, int scale = 0, int root = 0) {
    return {"Test", 120, scale, root, {{std::move(melody), 0}}};
}

// A bar as LilyPond-like text: "c'4~ r2" (pitch, 1024/units, ~ for a tie, ! for a shown
// accidental).
std::string Bar(const std::vector<ScoreItem>& bar) {
    std::string text;
    for (const ScoreItem& i : bar) {
        if (!text.empty()) text += ' ';
        if (i.Rest) {
            text += 'r';
        } else {
            text += i.Pitch.Step;
            text += i.Pitch.Alter > 0 ? "#" : i.Pitch.Alter < 0 ? "b" : "";
            text += std::to_string(i.Pitch.Octave);
            if (i.ShowAccidental) text += '!';
        }
        text += ':' + std::to_string(kUnitsPerWhole / (i.Dotted ? i.Units / 3 * 2 : i.Units));
        if (i.Dotted) text += '.';
        if (i.TieStart) text += '~';
    }
    return text;
}
std::string Name(const SpelledPitch& p) {
    static const char* const kAlter[] = {"bb", "b", "", "#", "##"};
    return p.Step + std::string(kAlter[p.Alter + 2]);
}
std::vector<std::string> Bars(const StaffBars& staff) {
    std::vector<std::string> bars;
    for (const auto& bar : staff) bars.push_back(Bar(bar));
    return bars;
}
}  // namespace

TEST(ScoreSpelling, EachPresetOnAFlatAndASharpRootInItsKeyModeAndDegrees) {
    // Roots by key number: 26 B flat, 20 E; key k sounds MIDI note k + 8.
    const struct {
        int scale, root, fifths;
        KeyMode mode;
        std::string notes;  // the scale from its root, rising
    } cases[] = {
        {1, 26, -2, KeyMode::Major, "Bb C D Eb F G A"},
        {1, 20, 4, KeyMode::Major, "E F# G# A B C# D#"},
        {2, 26, -4, KeyMode::Dorian, "Bb C Db Eb F G Ab"},
        {2, 20, 2, KeyMode::Dorian, "E F# G A B C# D"},
        // From G flat major, not as A sharp phrygian from F sharp major.
        {3, 26, -6, KeyMode::Phrygian, "Bb Cb Db Eb F Gb Ab"},
        {3, 20, 0, KeyMode::Phrygian, "E F G A B C D"},
        {4, 26, -1, KeyMode::Lydian, "Bb C D E F G A"},
        {4, 27, 6, KeyMode::Lydian, "B C# D# E# F# G# A#"},
        {5, 26, -3, KeyMode::Mixolydian, "Bb C D Eb F G Ab"},
        {5, 20, 3, KeyMode::Mixolydian, "E F# G# A B C# D"},
        {6, 26, -5, KeyMode::Minor, "Bb C Db Eb F Gb Ab"},
        {6, 19, -6, KeyMode::Minor, "Eb F Gb Ab Bb Cb Db"},
        {6, 20, 1, KeyMode::Minor, "E F# G A B C D"},
        {7, 26, 0, KeyMode::None, "A# B C C# D D# E F F# G G# A"},
        {8, 21, -6, KeyMode::Locrian, "F Gb Ab Bb Cb Db Eb"},
        {8, 26, 5, KeyMode::Locrian, "A# B C# D# E F# G#"},
        {9, 47, -2, KeyMode::Minor, "G A Bb C D Eb F#"},
        {9, 26, -5, KeyMode::Minor, "Bb C Db Eb F Gb A"},
        {9, 20, 1, KeyMode::Minor, "E F# G A B C D#"},
        {9, 24, 5, KeyMode::Minor, "G# A# B C# D# E F##"},
        {10, 26, -5, KeyMode::Minor, "Bb C Db Eb F G A"},
        {10, 20, 1, KeyMode::Minor, "E F# G A B C# D#"},
        {11, 26, -2, KeyMode::Major, "Bb C D F G"},
        {11, 20, 4, KeyMode::Major, "E F# G# B C#"},
        {12, 26, -5, KeyMode::Minor, "Bb Db Eb F Ab"},
        {12, 20, 1, KeyMode::Minor, "E G A B D"},
        {13, 26, -5, KeyMode::Minor, "Bb Db Eb Fb F Ab"},
        {13, 20, 1, KeyMode::Minor, "E G A Bb B D"},
        {14, 26, 0, KeyMode::None, "Bb C D E F# Ab"},
        {14, 20, 0, KeyMode::None, "E F# G# A# B# D"},
        // G flat rather than F sharp, whose sharpened fifth would be C double sharp.
        {14, 22, 0, KeyMode::None, "Gb Ab Bb C D Fb"},
        // Own steps, no preset, no root or an index beyond the list: no key.
        {15, 26, 0, KeyMode::None, ""},
        {0, 26, 0, KeyMode::None, ""},
        {1, 0, 0, KeyMode::None, ""},
        {16, 26, 0, KeyMode::None, ""},
    };
    for (const auto& c : cases) {
        const ScoreKey key = PresetKey(c.scale, c.root);
        EXPECT_EQ(key.Fifths, c.fifths) << c.scale << " on " << c.root;
        EXPECT_EQ(key.Mode, c.mode) << c.scale << " on " << c.root;
        std::string notes;
        for (const int offset : c.notes.empty() ? std::vector<int>() : ScaleOffsets(c.scale))
            notes += (notes.empty() ? "" : " ") + Name(SpellNote(c.root + 8 + offset, key, 1));
        EXPECT_EQ(notes, c.notes) << c.scale << " on " << c.root;
        if (c.mode != KeyMode::None) {
            EXPECT_EQ(Name(key.Tonic), c.notes.substr(0, c.notes.find(' ')));
        }
    }
}

TEST(ScoreKey, ThePresetOfTheNoteMapElseTheKeyOfTheNotesByDuration) {
    // Quarters from their keys (40 is C3, 49 A3).
    const auto quarters = [](std::vector<int32_t> keys, int32_t longKey = -1) {
        MelodyTimeline t;
        for (int32_t key : keys) t.Append(key, 500, key == longKey ? 0 : 2);
        return t;
    };
    const struct {
        MelodyTimeline melody;
        int scale, root;
        int fifths;
        KeyMode mode;
        std::string tonic;
    } cases[] = {
        {quarters({40, 42, 44, 45, 47, 49, 51, 52}), 0, 0, 0, KeyMode::Major, "C"},
        // Harmonic minor: its raised seventh spelled as the leading note (below).
        {quarters({49, 51, 52, 54, 56, 57, 60, 61, 56, 49}), 0, 0, 0, KeyMode::Minor, "A"},
        {quarters({47, 49, 51, 52, 54, 56, 58, 59}), 0, 0, 1, KeyMode::Major, "G"},
        // The notes of F major, held on D and A: D minor.
        {quarters({42, 44, 45, 47, 49, 50, 52, 54, 49}, 42), 0, 0, -1, KeyMode::Minor, "D"},
        {quarters({44, 46, 48, 49, 51, 53, 55, 56}), 0, 0, 4, KeyMode::Major, "E"},
        // The same C major melody under a preset keeps the preset's key; the
        // chromatic scale names none, own steps neither.
        {quarters({40, 42, 44, 45, 47, 49, 51, 52}), 6, 49, 0, KeyMode::Minor, "A"},
        {quarters({40, 42, 44, 45, 47, 49, 51, 52}), 7, 40, 0, KeyMode::Major, "C"},
        {quarters({47, 49, 51, 52, 54, 56, 58, 59}), 15, 40, 1, KeyMode::Major, "G"},
        // Nothing sounds: no key.
        {quarters({0, 0}), 0, 0, 0, KeyMode::None, "C"},
    };
    for (const auto& c : cases) {
        const ScoreKey key = KeyOfScore(OneVoice(c.melody, c.scale, c.root));
        EXPECT_EQ(key.Fifths, c.fifths) << c.tonic << " " << c.scale;
        EXPECT_EQ(key.Mode, c.mode) << c.tonic << " " << c.scale;
        EXPECT_EQ(Name(key.Tonic), c.tonic) << c.scale;
    }
    const ScoreKey aMinor = KeyOfScore(OneVoice(cases[1].melody));
    EXPECT_EQ(Name(SpellNote(56, aMinor, -1)), "G#");
    EXPECT_EQ(Name(SpellNote(55, aMinor, 1)), "G");
}

TEST(ScoreSpelling, NotesOutsideTheScaleByTheirDirectionAndOctavesByTheirLetter) {
    const ScoreKey gMinor = PresetKey(9, 47), eMinor = PresetKey(6, 20);
    const ScoreKey cMinor = PresetKey(9, 28), fPentatonic = PresetKey(11, 21);
    const ScoreKey gSharpMinor = PresetKey(9, 24), bFlatPhrygian = PresetKey(3, 26);
    const ScoreKey none = PresetKey(0, 0);
    const struct {
        const ScoreKey& key;
        int midi, direction;
        std::string spelled;
    } cases[] = {
        // A black key sharp when the melody rises to it, flat when it falls,
        // else on the key's side.
        {gMinor, 61, 1, "C#4"},
        {gMinor, 61, -1, "Db4"},
        {gMinor, 61, 0, "Db4"},
        {eMinor, 70, -1, "Bb4"},
        {eMinor, 70, 0, "A#4"},
        {none, 61, 0, "C#4"},
        // A white key natural, never B sharp or F flat.
        {gMinor, 64, -1, "E4"},
        {fPentatonic, 71, -1, "B4"},
        // The key signature's own notes: B flat in C harmonic minor and F major
        // pentatonic, however the melody reaches them.
        {cMinor, 70, 1, "Bb4"},
        {fPentatonic, 70, 1, "Bb4"},
        // The octave goes by the letter.
        {gSharpMinor, 67, 0, "F##4"},
        {bFlatPhrygian, 59, 0, "Cb4"},
        {PresetKey(10, 17), 60, 0, "B#3"},  // C sharp melodic minor
        {none, 9, 0, "A-1"},
        {none, 127, 0, "G9"},
    };
    for (const auto& c : cases) {
        const SpelledPitch p = SpellNote(c.midi, c.key, c.direction);
        EXPECT_EQ(Name(p) + std::to_string(p.Octave), c.spelled) << c.midi << " " << c.direction;
    }
}

TEST(ScoreLayout, ValuesOfABarByTheBeat) {
    // Units from the bar line: in 4/4 a beat is 256, the middle of the bar 512.
    const struct {
        int start, end;
        bool rest;
        std::string values;
        TimeSignature meter{};
    } cases[] = {
        {0, 1024, false, "1"},
        {0, 768, false, "2."},
        {256, 1024, false, "2."},   // a dotted value from a beat
        {256, 768, false, "2"},     // quarter, half, quarter
        {256, 896, false, "4 4."},  // tied at the middle
        {0, 448, false, "4 8."},
        {0, 992, false, "2 4 8 16."},
        {128, 384, false, "4"},      // eighth, quarter, eighth
        {128, 512, false, "8 4"},    // not a dotted quarter off the beat
        {384, 896, false, "8 4."},   // from off the beat over the middle: tied there
        {640, 1024, false, "8 4"},   // the beat shown before a tie over the bar line
        {192, 320, false, "16 16"},  // only a quarter crosses a beat syncopated
        {64, 192, false, "8"},       // sixteenth, eighth, sixteenth
        {64, 256, false, "8."},
        {128, 320, false, "8 16"},
        // Rests fill up to the beat, then whole beats; no dotted rests, a half
        // rest on the first or third beat only.
        {0, 1024, true, "1"},
        {128, 1024, true, "8 4 2"},
        {256, 1024, true, "4 2"},
        {256, 768, true, "4 4"},
        {0, 768, true, "2 4"},
        {0, 384, true, "4 8"},
        {360, 1024, true, "128 64 8 2"},
        {0, 664, true, "2 8 64 128"},
        // Nothing, or beyond the bar.
        {5, 5, false, ""},
        {-1, 3, true, ""},
        {0, 1025, false, ""},
        // 3/4: no middle; a half from the second beat; a bar's rest in one.
        {256, 768, false, "2", {3, 4}},
        {128, 640, false, "8 4.", {3, 4}},
        {128, 384, false, "4", {3, 4}},
        {0, 768, true, "2.", {3, 4}},
        {256, 768, true, "4 4", {3, 4}},
        {0, 769, false, "", {3, 4}},
        // 6/8: two dotted quarters; values stay within their beat, no syncopation.
        {0, 768, false, "2.", {6, 8}},
        {0, 512, false, "4. 8", {6, 8}},
        {0, 256, false, "4", {6, 8}},
        {128, 512, false, "4 8", {6, 8}},
        {0, 768, true, "2.", {6, 8}},
        {384, 768, true, "4.", {6, 8}},
        {128, 384, true, "8 8", {6, 8}},
        {0, 640, true, "4. 8 8", {6, 8}},
        // 12/8 and 9/8: four and three dotted beats.
        {0, 1536, false, "1.", {12, 8}},
        {512, 1024, false, "4 4", {12, 8}},
        {0, 1152, true, "2. 4.", {12, 8}},
        {0, 1152, false, "4. 2.", {9, 8}},
        // 2/2: the half note is the beat, syncopated too.
        {256, 768, false, "2", {2, 2}},
        {0, 1024, true, "1", {2, 2}},
        {0, 512, false, "", {3, 3}},
    };
    for (const auto& c : cases) {
        std::string values;
        int at = c.start;
        for (const BarValue& v : BarValues(c.start, c.end, c.rest, c.meter)) {
            EXPECT_EQ(v.Start, at) << c.start << ".." << c.end;
            at += v.Units;
            values += (values.empty() ? "" : " ") +
                      std::to_string(kUnitsPerWhole / (v.Dotted ? v.Units / 3 * 2 : v.Units)) +
                      (v.Dotted ? "." : "");
        }
        EXPECT_EQ(values, c.values)
            << c.start << ".." << c.end << (c.rest ? " rest " : " ") << TimeSignatureText(c.meter);
    }
}

TEST(ScoreLayout, BarsTiesRestsAndOddLengths) {
    const struct {
        MelodyTimeline melody;
        std::vector<std::string> bars;
    } cases[] = {
        // Key 40 sounds C3. A whole note from the middle of a bar is tied over;
        // the last bar is filled with rests.
        {Timeline({{40, 1}, {41, 0}}), {"C3:2 C#3!:2~", "C#3:2 r:2"}},
        // Rests are split at the bar line without ties.
        {Timeline({{0, -1}, {-4, 1}, {40, 2}}), {"r:1", "r:1", "r:2 C3:4 r:4"}},
        // An accidental holds to the end of its bar; a natural cancels it.
        {Timeline({{41, 2}, {41, 2}, {40, 2}, {41, 2}, {41, 2}}),
         {"C#3!:4 C#3:4 C3!:4 C#3!:4", "C#3!:4 r:4 r:2"}},
        // Shorter than a 1024th: start and end on the nearest 1024th, so time
        // stays right and the shortest values merge; the 32nds after it are
        // split by the beat's grid, and the rests fill up to the beat.
        {Timeline({{40, 11}, {41, 11}, {42, 5}, {43, 2147483647}, {42, 5}}),
         {"C#3!:1024 D3:512.~ D3:256~ D3:128~ D3:64~ D3:1024 D3:512.~ D3:256~ D3:128~ D3:64~ "
          "D3:1024 r:1024 r:512 r:256 r:128 r:64 r:32 r:8 r:4 r:2"}},
        // Times alone (no length exponents): 500 ms at 120 are a quarter; a
        // rest (key 120 sounds no MIDI note) runs on into the next.
        {TimelineOf({{40, 500}, {120, 250}}), {"C3:4 r:4 r:2"}},
        // From beat 3.5 over the bar line: the beat shown first.
        {Timeline({{0, 1}, {0, 3}, {40, 1}}), {"r:2 r:8 C3:8~ C3:4~", "C3:8 r:8 r:4 r:2"}},
        {MelodyTimeline(), {"r:1"}},
    };
    for (const auto& c : cases) {
        const ScoreLayout layout = LayOutScore(OneVoice(c.melody, 1, 40));
        ASSERT_EQ(layout.Voices.size(), 1u);
        EXPECT_EQ(Bars(layout.Voices[0].Staves[0]), c.bars);
    }
    // Eight whole notes: one bar each, tied into the next.
    const StaffBars eight = LayOutScore(OneVoice(Timeline({{40, -3}}))).Voices[0].Staves[0];
    ASSERT_EQ(eight.size(), 8u);
    EXPECT_EQ(Bar(eight[0]), "C3:1~");
    EXPECT_EQ(Bar(eight[7]), "C3:1");
}

TEST(ScoreLayout, RefusesWhatNoScoreCanHold) {
    const struct {
        Score score;
        std::string message;
    } cases[] = {
        {{"", 19, 0, 0, {}}, msg::InvalidTempo(19, 20, 220)},
        {{"", 90, 0, 0, {{{}, 128}}}, msg::InvalidInstrument(128)},
        {OneVoice(Timeline({{40, -16}, {40, -16}})),
         "Die Melodie ist für eine Partitur zu lang (höchstens 100000 Takte)"},
        {OneVoice(Timeline({{40, INT32_MIN}})),
         "Die Melodie ist für eine Partitur zu lang (höchstens 100000 Takte)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageOf<EScoreError>([&] { LayOutScore(c.score); }), c.message);
}

TEST(ScoreLayout, ClefByRangeAndTheGrandStaffSplitsAtMiddleC) {
    // Key k sounds MIDI note k + 8.
    const struct {
        std::vector<int> keys;
        Clef clef;
    } cases[] = {
        {{49, 80}, Clef::Treble},  // from A3
        {{13, 56}, Clef::Bass},    // up to E4
        // Keys 1 to 3 lie below C0: written an octave up, here from A0.
        {{1, 44}, Clef::Bass},
        {{45, 59}, Clef::Treble},  // F3 to G4: three ledger lines below the treble staff
        {{44, 59}, Clef::Bass},    // E3 to G4: three above the bass staff
        {{44, 60}, Clef::Grand},   // E3 to A flat 4
        {{0, -1}, Clef::Treble},   // rests only
    };
    for (const auto& c : cases) {
        MelodyTimeline t;
        for (int key : c.keys) t.Append(key, 500, 2);
        const VoiceLayout voice = LayOutScore(OneVoice(t)).Voices[0];
        EXPECT_EQ(voice.VoiceClef, c.clef) << c.keys[0];
        EXPECT_EQ(voice.OctaveLower, c.keys[0] == 1) << c.keys[0];
    }
    // A bass instrument reads the bass clef where the range alone would give treble.
    const struct {
        int program;
        std::vector<int> keys;
        Clef clef;
    } instruments[] = {
        {70, {47, 58}, Clef::Bass},    // bassoon, G3 to F sharp 4
        {42, {39, 64}, Clef::Bass},    // cello, B2 to C5
        {57, {52, 64}, Clef::Treble},  // trombone from middle C up
        {40, {47, 58}, Clef::Treble},  // violin, G3 to F sharp 4
    };
    for (const auto& c : instruments) {
        MelodyTimeline t;
        for (int key : c.keys) t.Append(key, 500, 2);
        Score score = OneVoice(t);
        score.Voices[0].Program = c.program;
        EXPECT_EQ(LayOutScore(score).Voices[0].VoiceClef, c.clef) << c.program;
    }
    const VoiceLayout grand =
        LayOutScore(OneVoice(Timeline({{44, 2}, {52, 2}, {60, 1}}), 1, 40)).Voices[0];
    ASSERT_EQ(grand.Staves.size(), 2u);
    EXPECT_EQ(Bars(grand.Staves[0]), (std::vector<std::string>{"r:4 C4:4 G#4!:2"}));
    EXPECT_EQ(Bars(grand.Staves[1]), (std::vector<std::string>{"E3:4 r:4 r:2"}));
}

TEST(ScoreLayout, EnsembleVoicesKeepTheirOffsetTranspositionTempoAndChannel) {
    const MelodyTimeline melody = Timeline({{40, 2}, {42, 2}});  // C3 D3, quarters at 120
    const auto voice = [&](EnsembleVoice v) {
        v.Melody = melody;
        return v;
    };
    const std::vector<EnsembleVoice> voices = {
        voice({.Name = "Dux", .Channel = 1, .Tempo = 120}),
        // Half a whole note later, an octave up.
        voice({.Name = "Comes", .Channel = 2, .Transpose = 12, .OffsetUs = 1000000, .Tempo = 120}),
        // Made at half the tempo: its quarters last halves of the score.
        voice({.Channel = 3, .Tempo = 60}),
        voice({.Channel = 4, .Mute = true, .Tempo = 120}),
        // Beyond the MIDI range after its transposition: a rest.
        voice({.Channel = 5, .Transpose = 100, .Tempo = 120}),
        voice({.Channel = kPercussionChannel, .Tempo = 120}),
    };
    const Score score = EnsembleScore(voices, 120, 0, 0);
    EXPECT_EQ(score.Title, "Dux, Comes");
    const ScoreLayout layout = LayOutScore(score);
    ASSERT_EQ(layout.Voices.size(), voices.size() - 1);  // the muted voice left out
    const std::vector<std::vector<std::string>> bars = {
        {"C3:4 D3:4 r:2"}, {"r:2 C4:4 D4:4"}, {"C3:2 D3:2"}, {"r:1"}, {"C3:4 D3:4 r:2"}};
    const int channels[] = {1, 2, 3, 5, kPercussionChannel};
    for (size_t v = 0; v < bars.size(); ++v) {
        EXPECT_EQ(layout.Voices[v].Channel, channels[v]);
        EXPECT_EQ(Bars(layout.Voices[v].Staves[0]), bars[v]) << "voice " << v;
    }
    EXPECT_EQ(layout.Voices[4].VoiceClef, Clef::Percussion);

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(MusicXmlText(score).c_str()));
    EXPECT_STREQ(doc.select_node("//score-part[@id='P2']/part-name").node().child_value(), "Comes");
    EXPECT_STREQ(doc.select_node("//score-part[@id='P3']/part-name").node().child_value(),
                 "Acoustic Grand Piano");
    // The drum part: an instrument per key, each note naming its own.
    const pugi::xml_node drums = doc.select_node("//score-part[@id='P5']").node();
    EXPECT_STREQ(
        drums.select_node("midi-instrument[@id='P5-I49']/midi-unpitched").node().child_value(),
        "49");
    EXPECT_STREQ(drums.child("midi-instrument").child_value("midi-channel"), "10");
    const pugi::xml_node drum = doc.select_node("//part[@id='P5']//note[unpitched]").node();
    EXPECT_STREQ(drum.child("unpitched").child_value("display-step"), "C");
    EXPECT_STREQ(drum.child("instrument").attribute("id").value(), "P5-I49");
    EXPECT_STREQ(doc.select_node("//part[@id='P5']//clef/sign").node().child_value(), "percussion");
    // One tempo for the score: in the first part only.
    EXPECT_EQ(doc.select_nodes("//metronome").size(), 1u);
    EXPECT_TRUE(doc.select_node("//part[@id='P1']//metronome"));

    const std::string text = LilyPondText(score);
    for (const char* part :
         {"instrumentName = \"Comes\"", "midiInstrument = \"standard kit\"", "\\clef percussion"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
}

TEST(MusicXml, HeaderPartsAndEveryMeasureAWholeNote) {
    Score score = OneVoice(Timeline({{33, 2}, {38, 0}, {45, 3}}), 1, 21);  // F major
    score.Title = "<a & \"b\">\x01";
    score.Voices[0].Program = 40;
    score.Voices.push_back({Timeline({{40, -1}}), 73});  // a second voice, longer
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(MusicXmlText(score).c_str()));
    const pugi::xml_node root = doc.child("score-partwise");
    EXPECT_STREQ(root.child("work").child_value("work-title"), "<a & \"b\"> ");
    EXPECT_TRUE(std::string(root.child("identification").child("encoding").child_value("software"))
                    .starts_with("Sonavix "));
    const pugi::xml_node part = root.child("part-list").child("score-part");
    EXPECT_STREQ(part.child_value("part-name"), "Violin");
    EXPECT_STREQ(part.child("midi-instrument").child_value("midi-program"), "41");
    EXPECT_STREQ(
        part.next_sibling("score-part").child("midi-instrument").child_value("midi-channel"), "2");
    const pugi::xml_node first = root.child("part").child("measure");
    EXPECT_STREQ(first.child("attributes").child("key").child_value("fifths"), "-1");
    EXPECT_STREQ(first.child("attributes").child("key").child_value("mode"), "major");
    EXPECT_STREQ(first.child("direction")
                     .child("direction-type")
                     .child("metronome")
                     .child_value("per-minute"),
                 "120");
    // B flat (key 38) from the key signature, without an accidental; tied over the bar.
    const pugi::xpath_node flat = doc.select_node("//note[pitch/step='B']");
    ASSERT_TRUE(flat);
    EXPECT_STREQ(flat.node().child("pitch").child_value("alter"), "-1");
    EXPECT_FALSE(flat.node().child("accidental"));
    EXPECT_STREQ(flat.node().child("notations").child("tied").attribute("type").value(), "start");
    for (const pugi::xml_node p : root.children("part")) {
        int measures = 0;
        for (const pugi::xml_node m : p.children("measure")) {
            int units = 0;
            for (const pugi::xml_node n : m.children("note"))
                units += n.child("duration").text().as_int();
            EXPECT_EQ(units, kUnitsPerWhole) << "measure " << m.attribute("number").value();
            ++measures;
        }
        EXPECT_EQ(measures, 2);
    }
}

TEST(MusicXml, AVoiceBelowC0IsWrittenAnOctaveUpAndTransposedBack) {
    // Key 1 sounds A-1, below MusicXML's octave 0.
    const Score low = OneVoice(Timeline({{1, 2}, {30, 2}}));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(MusicXmlText(low).c_str()));
    EXPECT_STREQ(doc.select_node("//transpose/octave-change").node().child_value(), "-1");
    const pugi::xml_node a = doc.select_node("//note/pitch").node();
    EXPECT_STREQ(a.child_value("step"), "A");
    EXPECT_STREQ(a.child_value("octave"), "0");
    // LilyPond takes the sounding pitch, printed where the written one stands.
    const std::string text = LilyPondText(low);
    EXPECT_NE(text.find("\\clef \"bass_8\""), std::string::npos) << text;
    EXPECT_NE(text.find("a,,,,4 d,4 r2 |"), std::string::npos) << text;
    // Down to A-1 and up to G9: more than the ten octaves MusicXML numbers.
    const Score wide = OneVoice(Timeline({{1, 2}, {119, 2}}));
    EXPECT_EQ(MessageOf<EScoreError>([&] { MusicXmlText(wide); }),
              "Eine Stimme reicht unter C0 und über H8 hinaus: mehr als zehn Oktaven fasst keine "
              "MusicXML-Partitur");
    EXPECT_NE(LilyPondText(wide).find("g''''''4"), std::string::npos);
}

TEST(LilyPond, HeaderKeyInstrumentAndEscapedTitle) {
    Score score = OneVoice(Timeline({{38, 2}, {33, 1}}), 6, 21);  // F minor: four flats
    score.Title = "a \"b\" \\ c";
    score.Voices[0].Program = 40;
    const std::string text = LilyPondText(score);
    for (const char* part :
         {"title = \"a \\\"b\\\" \\\\ c\"", "\\key f \\minor", "\\clef bass", "\\tempo 4 = 120",
          "\\set Staff.midiInstrument = \"violin\"", "bes,4 f,2 r4 |"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
}

// The expression at a note where it changes, and a mark where its band does;
// the tied pieces of a note repeat nothing.
TEST(ScoreExpression, SoundWhereTheValuesChangeAndAMarkWhereTheBandDoes) {
    MelodyTimeline melody;
    const struct {
        int32_t key, length;
        uint8_t velocity;
        int8_t pan;
    } notes[] = {{40, 2, 30, -64}, {42, 1, 31, -64}, {44, 1, 100, 63}, {45, 0, 100, 0}};
    for (const auto& n : notes)
        melody.Append({0, 2000 >> n.length, n.key, n.length, n.velocity, n.pan});
    const auto count = [](const std::string& text, const std::string& part) {
        size_t found = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++found;
        return found;
    };
    const std::string xml = MusicXmlText(OneVoice(melody));
    for (const char* part :
         {"<sound dynamics=\"33.33\" pan=\"-90\" />", "<sound dynamics=\"34.44\" />",
          "<sound dynamics=\"111.11\" pan=\"90\" />", "<sound pan=\"0\" />"})
        EXPECT_EQ(count(xml, part), 1u) << part << " in\n" << xml;
    EXPECT_EQ(count(xml, "<sound"), 5u);  // the tempo's and one before each note
    EXPECT_EQ(count(xml, "<pp />"), 1u);
    EXPECT_EQ(count(xml, "<f />"), 1u);
    EXPECT_EQ(count(xml, "<dynamics>"), 2u);
    const std::string ly = LilyPondText(OneVoice(melody));
    EXPECT_EQ(count(ly, "\\pp"), 1u) << ly;
    EXPECT_EQ(count(ly, "\\f"), 1u) << ly;
    EXPECT_EQ(count(ly, "\\"), count(LilyPondText(OneVoice(Timeline({{40, 2}}))), "\\") + 2);
}
