// LilyPond source in absolute pitches: one staff (or piano staff) per voice,
// a bar check after every bar, a layout for the page and a MIDI block.
#include <array>

#include "common/file_write.h"
#include "melodyfile/score.h"
#include "playback/maps.h"

namespace {
// LilyPond's own names of the General MIDI programs, by program number.
// clang-format off
const std::array<const char*, 128> kLilyPondInstruments = {
    "acoustic grand", "bright acoustic", "electric grand", "honky-tonk", "electric piano 1",
    "electric piano 2", "harpsichord", "clav", "celesta", "glockenspiel", "music box",
    "vibraphone", "marimba", "xylophone", "tubular bells", "dulcimer", "drawbar organ",
    "percussive organ", "rock organ", "church organ", "reed organ", "accordion", "harmonica",
    "concertina", "acoustic guitar (nylon)", "acoustic guitar (steel)", "electric guitar (jazz)",
    "electric guitar (clean)", "electric guitar (muted)", "overdriven guitar",
    "distorted guitar", "guitar harmonics", "acoustic bass", "electric bass (finger)",
    "electric bass (pick)", "fretless bass", "slap bass 1", "slap bass 2", "synth bass 1",
    "synth bass 2", "violin", "viola", "cello", "contrabass", "tremolo strings",
    "pizzicato strings", "orchestral harp", "timpani", "string ensemble 1", "string ensemble 2",
    "synthstrings 1", "synthstrings 2", "choir aahs", "voice oohs", "synth voice",
    "orchestra hit", "trumpet", "trombone", "tuba", "muted trumpet", "french horn",
    "brass section", "synthbrass 1", "synthbrass 2", "soprano sax", "alto sax", "tenor sax",
    "baritone sax", "oboe", "english horn", "bassoon", "clarinet", "piccolo", "flute",
    "recorder", "pan flute", "blown bottle", "shakuhachi", "whistle", "ocarina",
    "lead 1 (square)", "lead 2 (sawtooth)", "lead 3 (calliope)", "lead 4 (chiff)",
    "lead 5 (charang)", "lead 6 (voice)", "lead 7 (fifths)", "lead 8 (bass+lead)",
    "pad 1 (new age)", "pad 2 (warm)", "pad 3 (polysynth)", "pad 4 (choir)", "pad 5 (bowed)",
    "pad 6 (metallic)", "pad 7 (halo)", "pad 8 (sweep)", "fx 1 (rain)", "fx 2 (soundtrack)",
    "fx 3 (crystal)", "fx 4 (atmosphere)", "fx 5 (brightness)", "fx 6 (goblins)",
    "fx 7 (echoes)", "fx 8 (sci-fi)", "sitar", "banjo", "shamisen", "koto", "kalimba",
    "bagpipe", "fiddle", "shanai", "tinkle bell", "agogo", "steel drums", "woodblock",
    "taiko drum", "melodic tom", "synth drum", "reverse cymbal", "guitar fret noise",
    "breath noise", "seashore", "bird tweet", "telephone ring", "helicopter", "applause",
    "gunshot"};
// clang-format on

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : ScoreText(text)) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

// Dutch names: "es" and "as" for E flat and A flat, "eses" and "ases" doubled.
void PutName(std::string& out, const SpelledPitch& p) {
    out += static_cast<char>(p.Step - 'A' + 'a');
    const bool vowel = p.Step == 'E' || p.Step == 'A';
    for (int a = p.Alter; a < 0; ++a) out += vowel && a == p.Alter ? "s" : "es";
    for (int a = p.Alter; a > 0; --a) out += "is";
}

void PutPitch(std::string& out, const SpelledPitch& p) {
    PutName(out, p);
    for (int o = p.Octave; o > 3; --o) out += '\'';
    for (int o = p.Octave; o < 3; ++o) out += ',';
}

// clef: with "_8" for a voice written an octave above its sound; LilyPond then
// takes the sounding pitches and prints them where the written ones stand.
void PutStaff(std::string& out, const StaffBars& bars, const std::string& clef, const ScoreKey& key,
              int tempo, const std::string& meter, const char* instrument, const std::string& name,
              bool first) {
    out += "    \\new Staff \\with { midiInstrument = ";
    out += Quoted(instrument);
    if (!name.empty()) out += " instrumentName = " + Quoted(name);
    out += " } {\n      \\clef ";
    out += clef;
    out += " \\key ";
    PutName(out, key.Mode == KeyMode::None ? SpelledPitch{'C', 0, 0} : key.Tonic);
    out += " \\";
    out += KeyModeName(key.Mode);
    out += " \\time " + meter;
    if (first) out += " \\tempo 4 = " + std::to_string(tempo);
    out += "\n      \\set Staff.midiInstrument = " + Quoted(instrument) + "\n";
    for (const auto& bar : bars) {
        out += "      ";
        for (const ScoreItem& item : bar) {
            if (item.Rest)
                out += 'r';
            else
                PutPitch(out, item.Pitch);
            out += std::to_string(kUnitsPerWhole / (item.Dotted ? item.Units / 3 * 2 : item.Units));
            if (item.Dotted) out += '.';
            if (item.TieStart) out += '~';
            if (item.Dynamic) out += std::string("\\") + item.Dynamic;
            out += ' ';
        }
        out += "|\n";
    }
    out += "      \\bar \"|.\"\n    }\n";
}
}  // namespace

std::string LilyPondText(const Score& score) {
    const ScoreLayout layout = LayOutScore(score);
    std::string out = "\\version \"2.24.0\"\n\n\\header {\n  title = " + Quoted(score.Title) +
                      "\n  tagline = " + Quoted(ScoreSoftware()) + "\n}\n\n\\score {\n  <<\n";
    for (size_t v = 0; v < layout.Voices.size(); ++v) {
        const VoiceLayout& voice = layout.Voices[v];
        // The percussion channel's voice: its keys as the pitches they sound
        // on a percussion clef, played by LilyPond's drum kit on its channel 10.
        const bool percussion = voice.VoiceClef == Clef::Percussion;
        const char* instrument =
            percussion ? "standard kit" : kLilyPondInstruments[score.Voices[v].Program];
        const bool grand = voice.Staves.size() == 2;
        const std::string name = ScoreText(score.Voices[v].Name);
        if (grand) out += "  \\new PianoStaff <<\n";
        for (size_t staff = 0; staff < voice.Staves.size(); ++staff) {
            const char* clef = percussion                        ? "percussion"
                               : grand                           ? (staff == 0 ? "treble" : "bass")
                               : voice.VoiceClef == Clef::Treble ? "treble"
                                                                 : "bass";
            const std::string octaveClef =
                voice.OctaveLower && !percussion ? std::string("\"") + clef + "_8\"" : clef;
            PutStaff(out, voice.Staves[staff], octaveClef, percussion ? ScoreKey{} : layout.Key,
                     score.Tempo, TimeSignatureText(score.Meter), instrument,
                     staff == 0 ? name : std::string(), v == 0 && staff == 0);
        }
        if (grand) out += "  >>\n";
    }
    out += "  >>\n  \\layout { }\n  \\midi { }\n}\n";
    return out;
}

void WriteLilyPondFile(const std::string& path, const Score& score) {
    const std::string text = LilyPondText(score);
    WriteFileAtomically(path, std::vector<uint8_t>(text.begin(), text.end()));
}
