// MusicXML 4.0, partwise: one part per voice, built as a document tree so that
// every title and name is escaped by the library.
#include <cstdio>
#include <pugixml.hpp>
#include <set>
#include <utility>

#include "common/file_write.h"
#include "melodyfile/score.h"
#include "playback/maps.h"

namespace {
constexpr int kDivisionsPerQuarter = kUnitsPerWhole / 4;

const char* TypeName(int units) {
    switch (units) {
        case 1024:
            return "whole";
        case 512:
            return "half";
        case 256:
            return "quarter";
        case 128:
            return "eighth";
        case 64:
            return "16th";
        case 32:
            return "32nd";
        case 16:
            return "64th";
        case 8:
            return "128th";
        case 4:
            return "256th";
        case 2:
            return "512th";
        default:
            return "1024th";
    }
}

void Text(pugi::xml_node parent, const char* name, const char* text) {
    parent.append_child(name).text().set(text);
}
void Text(pugi::xml_node parent, const char* name, const std::string& text) {
    Text(parent, name, text.c_str());
}
void Text(pugi::xml_node parent, const char* name, long long value) {
    parent.append_child(name).text().set(value);
}

void Clef(pugi::xml_node attributes, int number, ::Clef clef) {
    pugi::xml_node node = attributes.append_child("clef");
    if (number) node.append_attribute("number") = number;
    if (clef == Clef::Percussion) {
        Text(node, "sign", "percussion");
        return;
    }
    const bool treble = clef != Clef::Bass;
    Text(node, "sign", treble ? "G" : "F");
    Text(node, "line", treble ? 2 : 4);
}

// The MIDI note a spelled pitch sounds.
int MidiNoteOf(const SpelledPitch& p) {
    constexpr int kStepPitch[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
    return (p.Octave + 1) * 12 + kStepPitch[p.Step - 'A'] + p.Alter;
}

// A percussion part has an instrument per drum sound, named by its key.
std::string DrumId(const std::string& part, int midiNote) {
    return part + "-I" + std::to_string(midiNote + 1);
}

const char* AccidentalName(int alter) {
    switch (alter) {
        case -2:
            return "flat-flat";
        case -1:
            return "flat";
        case 1:
            return "sharp";
        case 2:
            return "double-sharp";
        default:
            return "natural";
    }
}

// A number as MusicXML writes it: at most two decimals, no trailing zeros.
std::string Decimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string out = text;
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
    return out;
}

// Before a note: its dynamic mark, and the sound's dynamics (percent of
// velocity 90, forte) and pan (degrees, -90 left to 90 right) where they change.
void Expression(pugi::xml_node measure, const ScoreItem& item, int staff) {
    if (!item.Velocity && !item.Pan) return;
    pugi::xml_node parent = measure;
    if (item.Dynamic) {
        parent = measure.append_child("direction");
        parent.append_attribute("placement") = "below";
        parent.append_child("direction-type").append_child("dynamics").append_child(item.Dynamic);
        if (staff) Text(parent, "staff", staff);
    }
    pugi::xml_node sound = parent.append_child("sound");
    if (item.Velocity) sound.append_attribute("dynamics") = Decimal(*item.Velocity / 0.9).c_str();
    if (item.Pan)
        sound.append_attribute("pan") =
            Decimal(*item.Pan * 90.0 / (*item.Pan < 0 ? -kPanMin : kPanMax)).c_str();
}

// octaveUp: the voice is written an octave above its sound.
void Item(pugi::xml_node measure, const ScoreItem& item, int voice, int staff,
          const std::string* drumPart, int octaveUp, int barUnits) {
    Expression(measure, item, staff);
    pugi::xml_node note = measure.append_child("note");
    if (item.Rest) {
        pugi::xml_node rest = note.append_child("rest");
        if (item.Units == barUnits) rest.append_attribute("measure") = "yes";
    } else if (drumPart) {
        pugi::xml_node unpitched = note.append_child("unpitched");
        const char step[2] = {item.Pitch.Step, 0};
        Text(unpitched, "display-step", step);
        Text(unpitched, "display-octave", item.Pitch.Octave + octaveUp);
    } else {
        pugi::xml_node pitch = note.append_child("pitch");
        const char step[2] = {item.Pitch.Step, 0};
        Text(pitch, "step", step);
        if (item.Pitch.Alter) Text(pitch, "alter", item.Pitch.Alter);
        Text(pitch, "octave", item.Pitch.Octave + octaveUp);
    }
    Text(note, "duration", item.Units);
    if (item.TieStop) note.append_child("tie").append_attribute("type") = "stop";
    if (item.TieStart) note.append_child("tie").append_attribute("type") = "start";
    if (drumPart && !item.Rest)
        note.append_child("instrument").append_attribute("id") =
            DrumId(*drumPart, MidiNoteOf(item.Pitch)).c_str();
    Text(note, "voice", voice);
    Text(note, "type", TypeName(item.Dotted ? item.Units / 3 * 2 : item.Units));
    if (item.Dotted) note.append_child("dot");
    if (item.ShowAccidental) Text(note, "accidental", AccidentalName(item.Pitch.Alter));
    if (staff) Text(note, "staff", staff);
    if (item.TieStart || item.TieStop) {
        pugi::xml_node notations = note.append_child("notations");
        if (item.TieStop) notations.append_child("tied").append_attribute("type") = "stop";
        if (item.TieStart) notations.append_child("tied").append_attribute("type") = "start";
    }
}

// The first bar's divisions, key, time, clefs, transposition and, in the
// first part only (a score has one tempo), the tempo.
void FirstBarAttributes(pugi::xml_node measure, const Score& score, const ScoreLayout& layout,
                        const VoiceLayout& voice, bool tempo) {
    const bool grand = voice.Staves.size() == 2;
    const bool percussion = voice.VoiceClef == Clef::Percussion;
    pugi::xml_node attributes = measure.append_child("attributes");
    Text(attributes, "divisions", kDivisionsPerQuarter);
    // A drum sound keeps its line whatever the key.
    pugi::xml_node key = attributes.append_child("key");
    Text(key, "fifths", percussion ? 0 : layout.Key.Fifths);
    if (!percussion && layout.Key.Mode != KeyMode::None)
        Text(key, "mode", KeyModeName(layout.Key.Mode));
    pugi::xml_node time = attributes.append_child("time");
    Text(time, "beats", score.Meter.Beats);
    Text(time, "beat-type", score.Meter.BeatType);
    if (grand) {
        Text(attributes, "staves", 2);
        Clef(attributes, 1, Clef::Treble);
        Clef(attributes, 2, Clef::Bass);
    } else {
        Clef(attributes, 0, voice.VoiceClef);
    }
    if (voice.OctaveLower && !percussion) {
        pugi::xml_node transpose = attributes.append_child("transpose");
        Text(transpose, "diatonic", "0");
        Text(transpose, "chromatic", "0");
        Text(transpose, "octave-change", -1);
    }
    if (!tempo) return;
    pugi::xml_node direction = measure.append_child("direction");
    direction.append_attribute("placement") = "above";
    pugi::xml_node metronome = direction.append_child("direction-type").append_child("metronome");
    Text(metronome, "beat-unit", "quarter");
    Text(metronome, "per-minute", score.Tempo);
    if (grand) Text(direction, "staff", 1);
    direction.append_child("sound").append_attribute("tempo") = score.Tempo;
}

// The part list: each voice's name, instruments and MIDI channel.
void PartList(pugi::xml_node root, const Score& score, const ScoreLayout& layout) {
    pugi::xml_node partList = root.append_child("part-list");
    for (size_t v = 0; v < layout.Voices.size(); ++v) {
        const VoiceLayout& voice = layout.Voices[v];
        const std::string id = "P" + std::to_string(v + 1);
        const std::string instrumentName = kInstrumentNames[score.Voices[v].Program];
        pugi::xml_node part = partList.append_child("score-part");
        part.append_attribute("id") = id.c_str();
        Text(part, "part-name",
             score.Voices[v].Name.empty() ? instrumentName : ScoreText(score.Voices[v].Name));
        const auto instrument = [&](const std::string& instrumentId, const std::string& name) {
            pugi::xml_node scoreInstrument = part.append_child("score-instrument");
            scoreInstrument.append_attribute("id") = instrumentId.c_str();
            Text(scoreInstrument, "instrument-name", name);
        };
        const auto midi = [&](const std::string& instrumentId) {
            pugi::xml_node node = part.append_child("midi-instrument");
            node.append_attribute("id") = instrumentId.c_str();
            Text(node, "midi-channel", voice.Channel);
            Text(node, "midi-program", score.Voices[v].Program + 1);  // counted from 1 here
            return node;
        };
        if (voice.VoiceClef != Clef::Percussion) {
            instrument(id + "-I1", instrumentName);
            midi(id + "-I1");
            continue;
        }
        std::set<int> drums;
        for (const auto& bar : voice.Staves[0])
            for (const ScoreItem& item : bar)
                if (!item.Rest) drums.insert(MidiNoteOf(item.Pitch));
        for (const int drum : drums)
            instrument(DrumId(id, drum), "Schlagzeug " + std::to_string(drum));
        for (const int drum : drums)
            Text(midi(DrumId(id, drum)), "midi-unpitched", drum + 1);  // counted from 1 here
    }
}

// Each voice's bars.
void Parts(pugi::xml_node root, const Score& score, const ScoreLayout& layout) {
    for (size_t v = 0; v < layout.Voices.size(); ++v) {
        const VoiceLayout& voice = layout.Voices[v];
        const bool grand = voice.Staves.size() == 2;
        const std::string id = "P" + std::to_string(v + 1);
        const std::string* drumPart = voice.VoiceClef == Clef::Percussion ? &id : nullptr;
        pugi::xml_node part = root.append_child("part");
        part.append_attribute("id") = id.c_str();
        const size_t bars = voice.Staves[0].size();
        for (size_t b = 0; b < bars; ++b) {
            pugi::xml_node measure = part.append_child("measure");
            measure.append_attribute("number") = static_cast<unsigned long long>(b) + 1;
            if (b == 0) FirstBarAttributes(measure, score, layout, voice, v == 0);
            for (size_t staff = 0; staff < voice.Staves.size(); ++staff) {
                if (staff) Text(measure.append_child("backup"), "duration", BarUnits(score.Meter));
                for (const ScoreItem& item : voice.Staves[staff][b])
                    Item(measure, item, static_cast<int>(staff) + 1,
                         grand ? static_cast<int>(staff) + 1 : 0, drumPart,
                         voice.OctaveLower ? 1 : 0, BarUnits(score.Meter));
            }
            if (b + 1 == bars) {
                pugi::xml_node barline = measure.append_child("barline");
                barline.append_attribute("location") = "right";
                Text(barline, "bar-style", "light-heavy");
            }
        }
    }
}

// MusicXML numbers the octaves 0 to 9: a voice written an octave up must not
// reach the ninth.
void CheckOctaves(const ScoreLayout& layout) {
    for (const VoiceLayout& voice : layout.Voices)
        for (const StaffBars& staff : voice.Staves)
            for (const auto& bar : staff)
                for (const ScoreItem& item : bar)
                    if (voice.OctaveLower && !item.Rest && item.Pitch.Octave >= 9)
                        throw EScoreError(
                            "Eine Stimme reicht unter C0 und über H8 hinaus: mehr als zehn "
                            "Oktaven fasst keine MusicXML-Partitur");
}

pugi::xml_document Document(const Score& score) {
    const ScoreLayout layout = LayOutScore(score);
    CheckOctaves(layout);
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    doc.append_child(pugi::node_doctype)
        .set_value(
            "score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
            "\"http://www.musicxml.org/dtds/partwise.dtd\"");
    pugi::xml_node root = doc.append_child("score-partwise");
    root.append_attribute("version") = "4.0";
    const std::string title = ScoreText(score.Title);
    Text(root.append_child("work"), "work-title", title);
    Text(root, "movement-title", title);
    Text(root.append_child("identification").append_child("encoding"), "software", ScoreSoftware());

    PartList(root, score, layout);
    Parts(root, score, layout);
    return doc;
}
}  // namespace

std::string MusicXmlText(const Score& score) {
    struct StringWriter : pugi::xml_writer {
        std::string text;
        void write(const void* data, size_t size) override {
            text.append(static_cast<const char*>(data), size);
        }
    } writer;
    // Tabs keep a 10 000-note file readable at half the size of spaces.
    Document(score).save(writer, "\t", pugi::format_default, pugi::encoding_utf8);
    return std::move(writer.text);
}

void WriteMusicXmlFile(const std::string& path, const Score& score) {
    const std::string text = MusicXmlText(score);
    WriteFileAtomically(path, std::vector<uint8_t>(text.begin(), text.end()));
}
