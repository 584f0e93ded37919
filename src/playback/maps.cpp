#include "playback/maps.h"

#include <cmath>
#include <vector>

#include "common/convert.h"
#include "common/errors.h"
#include "formula/functions.h"
#include "playback/scales.h"

int32_t MapLookup(const ValueListTable& table, std::string_view member) {
    const uint32_t r = DecimalRemainder(member, table.RowCount());
    const int row = table.FindKey(std::to_string(r));
    return StrToInt(row >= 0 ? table.Value(row) : std::string());
}

int32_t NoteDurationMs(int32_t lengthExponent, int tempo) {
    const long double ms = 240000.0L / (std::ldexp(1.0L, lengthExponent) * tempo);
    // nearbyint follows the default rounding mode: halves go to the even neighbour.
    const long double rounded = std::isfinite(ms) ? std::nearbyint(ms) : -1;
    if (!(rounded >= 0 && rounded <= INT32_MAX))
        throw EInvalidInput("Die Notenlänge " + std::to_string(lengthExponent) +
                            " ergibt bei Tempo " + std::to_string(tempo) + " keine gültige Dauer");
    return static_cast<int32_t>(rounded);
}

int32_t GetKeyOrTempo(LookupKind kind, std::string_view value, const ValueListTable& noteMap,
                      const ValueListTable& tempoMap, int tempo) {
    if (kind == LookupKind::Key) return MapLookup(noteMap, value);
    if (kind == LookupKind::LengthExponent) return MapLookup(tempoMap, value);
    return NoteDurationMs(MapLookup(tempoMap, value), tempo);
}

// clang-format off
const std::array<const char*, 16> kTonartEntries = {
    "-keine Vorgabe-", "Dur (Ionisch)", "Dorisch", "Phrygisch", "Lydisch", "Mixolydisch",
    "Moll (Äolisch)", "Chromatisch (12-Ton)", "Lokrisch", "Harmonisch Moll", "Melodisch Moll",
    "Dur-Pentatonik", "Moll-Pentatonik", "Blues", "Ganzton", "Eigene..."};
// clang-format on

// clang-format off
const std::array<const char*, 78> kGrundtonEntries = {
    "-keine Vorgabe-", "Subkontra A", "Subkontra B/Ais", "Subkontra H", "Kontra C",
    "Kontra Cis/Des", "Kontra D", "Kontra Dis/Es", "Kontra E", "Kontra F", "Kontra Fis/Ges",
    "Kontra G", "Kontra Gis/As", "Kontra A", "Kontra Ais/B", "Kontra H", "C", "Cis/Des", "D",
    "Dis/Es", "E", "F", "Fis/Ges", "G", "Gis/As", "A", "Ais/B", "H", "c", "cis/des", "d",
    "dis/es", "e", "f", "fis/ges", "g", "gis/as", "a", "ais/b", "h", "c'", "cis'/des'", "d'",
    "dis'/es'", "e'", "f'", "fis'/ges'", "g'", "gis'/as'", "a'", "ais'/b'", "h'", "c''",
    "cis''/des''", "d''", "dis''/es''", "e''", "f''", "fis''/ges''", "g''", "gis''/as''", "a''",
    "ais''/b''", "h''", "c'''", "cis'''/des'''", "d'''", "dis'''/es'''", "e'''", "f'''",
    "fis'''/ges'''", "g'''", "gis'''/as'''", "a'''", "ais'''/b'''", "h'''", "c''''",
    "cis''''/des''''"};
// clang-format on

// clang-format off
const std::array<const char*, 128> kInstrumentNames = {
    "Acoustic Grand Piano", "Bright Acoustic Piano", "Electric Grand Piano", "Honky-Tonk Piano",
    "Electric Piano 1", "Electric Piano 2", "Harpsichord", "Clavichord", "Celesta", "Glockenspiel",
    "Music Box", "Vibraphone", "Marimba", "Xylophone", "Tubular Bells", "Dulcimer",
    "Drawbar Organ", "Percussive Organ", "Rock Organ", "Church Organ", "Reed Organ", "Accordion",
    "Harmonica", "Tango Accordion", "Acoustic Guitar (Nylon)", "Acoustic Guitar (Steel)",
    "Electric Guitar (Jazz)", "Electric Guitar (Clean)", "Electric Guitar (Muted)",
    "Overdriven Guitar", "Distortion Guitar", "Guitar Harmonics", "Acoustic Bass",
    "Electric Bass (Finger)", "Electric Bass (Pick)", "Fretless Bass", "Slap Bass 1",
    "Slap Bass 2", "Synth Bass 1", "Synth Bass 2", "Violin", "Viola", "Cello", "Contrabass",
    "Tremolo Strings", "Pizzicato Strings", "Orchestral Harp", "Timpani", "String Ensemble 1",
    "String Ensemble 2", "Synth Strings 1", "Synth Strings 2", "Choir Aahs", "Voice Oohs",
    "Synth Voice", "Orchestra Hit", "Trumpet", "Trombone", "Tuba", "Muted Trumpet", "French Horn",
    "Brass Section", "Synth Brass 1", "Synth Brass 2", "Soprano Sax", "Alto Sax", "Tenor Sax",
    "Baritone Sax", "Oboe", "English Horn", "Bassoon", "Clarinet", "Piccolo", "Flute", "Recorder",
    "Pan Flute", "Blown Bottle", "Shakuhachi", "Whistle", "Ocarina", "Lead 1 (Square)",
    "Lead 2 (Sawtooth)", "Lead 3 (Calliope)", "Lead 4 (Chiff)", "Lead 5 (Charang)",
    "Lead 6 (Voice)", "Lead 7 (Fifths)", "Lead 8 (Bass und Lead)", "Pad 1 (New Age)",
    "Pad 2 (Warm)", "Pad 3 (Polysynth)", "Pad 4 (Choir)", "Pad 5 (Bowed)", "Pad 6 (Metallic)",
    "Pad 7 (Halo)", "Pad 8 (Sweep)", "FX 1 (Rain)", "FX 2 (Soundtrack)", "FX 3 (Crystal)",
    "FX 4 (Atmosphere)", "FX 5 (Brightness)", "FX 6 (Goblins)", "FX 7 (Echoes)", "FX 8 (Sci-Fi)",
    "Sitar", "Banjo", "Shamisen", "Koto", "Kalimba", "Bagpipe", "Fiddle", "Shanai", "Tinkle Bell",
    "Agogo", "Steel Drums", "Woodblock", "Taiko-Drum", "Melodic Tom", "Synth Drum",
    "Reverse Cymbal", "Guitar Fret Noise", "Breath Noise", "Seashore", "Bird Tweet",
    "Telephone Ring", "Helicopter", "Applause", "Gunshot"};
// clang-format on

bool ApplyScalePreset(ValueListTable& noteMap, int tonartIndex, int grundtonIndex,
                      const std::vector<int>& ownSteps) {
    if (grundtonIndex < 1 || grundtonIndex >= static_cast<int>(kGrundtonEntries.size()))
        return false;
    const std::vector<int> offsets = tonartIndex == kOwnScaleIndex && !ownSteps.empty()
                                         ? OffsetsOfSteps(ownSteps)
                                         : ScaleOffsets(tonartIndex);
    if (offsets.empty()) return false;
    std::vector<std::string> values;
    values.reserve(offsets.size());
    for (int offset : offsets) values.push_back(std::to_string(grundtonIndex + offset));
    noteMap.Assign(values);
    return true;
}

void AddMapRow(ValueListTable& table) { table.SetCurrentRow(table.AppendRow("0")); }

void RemoveMapRow(ValueListTable& table) {
    if (table.RowCount() >= 2) table.DeleteLastRow();
}

std::string TempoName(int p) {
    struct Band {
        int from, to;
        const char* name;
    };
    static constexpr Band kBands[] = {
        {20, 40, "Grave"},     {41, 60, "Largo"},    {61, 66, "Larghetto"},
        {67, 76, "Adagio"},    {77, 108, "Andante"}, {109, 120, "Moderato"},
        {121, 168, "Allegro"}, {169, 208, "Presto"}, {209, 220, "Prestissimo"}};
    for (const auto& b : kBands)
        if (p >= b.from && p <= b.to) return b.name;
    return "?";
}

std::string TempoCaption(int position) {
    return "Tempo: " + std::to_string(position) + " (" + TempoName(position) + ")";
}
