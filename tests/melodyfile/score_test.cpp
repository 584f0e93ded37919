#include "melodyfile/score.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <string>

#include "common/messages.h"
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
        text += ':' + std::to_string(kUnitsPerWhole / i.Units);
        if (i.TieStart) text += '~';
    }
    return text;
}
std::vector<std::string> Bars(const StaffBars& staff) {
    std::vector<std::string> bars;
    for (const auto& bar : staff) bars.push_back(Bar(bar));
    return bars;
}
}  // namespace

TEST(ScoreSpelling, KeySignatureOfEachPresetOnAFlatAndASharpRoot) {
    // Roots by key number: 19 E flat, 20 E, 21 F, 22 F sharp, 23 G, 25 A, 26 B flat, 28 C.
    const struct {
        int scale, root, fifths;
    } cases[] = {
        {1, 21, -1}, {1, 23, 1},   // F major, G major
        {2, 19, -5}, {2, 25, 1},   // E flat dorian (from D flat major), A dorian (G)
        {3, 20, 0},  {3, 22, 2},   // E phrygian (C), F sharp phrygian (D)
        {4, 26, -1}, {4, 28, 1},   // B flat lydian (F), C lydian (G)
        {5, 23, 0},  {5, 25, 2},   // G mixolydian (C), A mixolydian (D)
        {6, 21, -4}, {6, 22, 3},   // F minor (A flat major), F sharp minor (A)
        {7, 21, 0},  {0, 23, 0},   // chromatic and no preset: no signature
        {8, 23, -4}, {9, 21, -4},  // G locrian (A flat), F harmonic minor (as F minor)
        {14, 21, 0}, {15, 21, 0},  // whole tone and own steps: no signature
        {1, 0, 0},   {16, 23, 0},  // no root, an index beyond the list
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeyFifths(c.scale, c.root), c.fifths) << c.scale << " on " << c.root;
}

TEST(ScoreSpelling, NotesTakeTheKeysNamesChromaticOnesSharpOrFlatByTheKey) {
    const struct {
        int midi, fifths;
        char step;
        int alter, octave;
    } cases[] = {
        {66, 1, 'F', 1, 4},
        {70, -1, 'B', -1, 4},  // F sharp in G, B flat in F
        {65, 1, 'F', 0, 4},
        {61, 0, 'C', 1, 4},  // F natural in G; C sharp without key
        {61, -1, 'D', -1, 4},
        {60, 0, 'C', 0, 4},  // D flat in F
        {65, 6, 'E', 1, 4},
        {60, 6, 'C', 0, 4},  // E sharp and C natural in F sharp major
        {59, -5, 'B', 0, 3} /* not C flat */,
        {9, 0, 'A', 0, -1},
        {127, 0, 'G', 0, 9},
    };
    for (const auto& c : cases) {
        const SpelledPitch p = SpellMidiNote(c.midi, c.fifths);
        EXPECT_EQ(std::string(1, p.Step) + std::to_string(p.Alter) + "/" + std::to_string(p.Octave),
                  std::string(1, c.step) + std::to_string(c.alter) + "/" + std::to_string(c.octave))
            << c.midi << " in " << c.fifths;
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
         {"C#3!:4 C#3:4 C3!:4 C#3!:4", "C#3!:4 r:2 r:4"}},
        // Shorter than a 1024th: start and end on the nearest 1024th, so time
        // stays right and the shortest values merge.
        {Timeline({{40, 11}, {41, 11}, {42, 5}, {43, 2147483647}, {42, 5}}),
         {"C#3!:1024 D3:32 D3:32 r:2 r:4 r:8 r:32 r:64 r:128 r:256 r:512 r:1024"}},
        // Times alone (no length exponents): 500 ms at 120 are a quarter.
        {TimelineOf({{40, 500}, {120, 250}}), {"C3:4 r:8 r:2 r:8"}},
        {MelodyTimeline(), {"r:1"}},
    };
    for (const auto& c : cases) {
        const ScoreLayout layout = LayOutScore(OneVoice(c.melody));
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
        {{1, 56}, Clef::Bass},     // up to E4
        {{45, 59}, Clef::Treble},  // F3 to G4: three ledger lines below the treble staff
        {{44, 59}, Clef::Bass},    // E3 to G4: three above the bass staff
        {{44, 60}, Clef::Grand},   // E3 to A flat 4
        {{0, -1}, Clef::Treble},   // rests only
    };
    for (const auto& c : cases) {
        MelodyTimeline t;
        for (int key : c.keys) t.Append(key, 500, 2);
        EXPECT_EQ(LayOutScore(OneVoice(t)).Voices[0].VoiceClef, c.clef) << c.keys[0];
    }
    const VoiceLayout grand =
        LayOutScore(OneVoice(Timeline({{44, 2}, {52, 2}, {60, 1}}))).Voices[0];
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
    ASSERT_EQ(layout.Voices.size(), voices.size());
    const std::vector<std::vector<std::string>> bars = {{"C3:4 D3:4 r:2"}, {"r:2 C4:4 D4:4"},
                                                        {"C3:2 D3:2"},     {"r:1"},
                                                        {"r:4 r:4 r:2"},   {"C3:4 D3:4 r:2"}};
    for (size_t v = 0; v < voices.size(); ++v) {
        EXPECT_EQ(layout.Voices[v].Channel, voices[v].Channel);
        EXPECT_EQ(Bars(layout.Voices[v].Staves[0]), bars[v]) << "voice " << v;
    }
    EXPECT_EQ(layout.Voices[5].VoiceClef, Clef::Percussion);

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(MusicXmlText(score).c_str()));
    EXPECT_STREQ(doc.select_node("//score-part[@id='P2']/part-name").node().child_value(), "Comes");
    EXPECT_STREQ(doc.select_node("//score-part[@id='P3']/part-name").node().child_value(),
                 "Acoustic Grand Piano");
    // The drum part: an instrument per key, each note naming its own.
    const pugi::xml_node drums = doc.select_node("//score-part[@id='P6']").node();
    EXPECT_STREQ(
        drums.select_node("midi-instrument[@id='P6-I49']/midi-unpitched").node().child_value(),
        "49");
    EXPECT_STREQ(drums.child("midi-instrument").child_value("midi-channel"), "10");
    const pugi::xml_node drum = doc.select_node("//part[@id='P6']//note[unpitched]").node();
    EXPECT_STREQ(drum.child("unpitched").child_value("display-step"), "C");
    EXPECT_STREQ(drum.child("instrument").attribute("id").value(), "P6-I49");
    EXPECT_STREQ(doc.select_node("//part[@id='P6']//clef/sign").node().child_value(), "percussion");

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

TEST(LilyPond, HeaderKeyInstrumentAndEscapedTitle) {
    Score score = OneVoice(Timeline({{38, 2}, {33, 1}}), 6, 21);  // F minor: four flats
    score.Title = "a \"b\" \\ c";
    score.Voices[0].Program = 40;
    const std::string text = LilyPondText(score);
    for (const char* part :
         {"title = \"a \\\"b\\\" \\\\ c\"", "\\key as \\major", "\\clef bass", "\\tempo 4 = 120",
          "\\set Staff.midiInstrument = \"violin\"", "bes,4 f,2 r4 |"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
}
