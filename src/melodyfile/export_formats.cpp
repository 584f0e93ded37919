#include "melodyfile/export_formats.h"

#include "common/messages.h"
#include "common/text.h"
#include "melodyfile/midifile.h"
#include "melodyfile/score.h"
#include "melodyfile/wavfile.h"

namespace {

// The files hold what is heard: an ensemble with no voice that sounds has nothing.
void RefuseEmpty(const EnsembleExport& e) {
    if (e.Voices.empty()) throw EInvalidInput(msg::NoVoiceToSave);
    for (size_t v = 0; v < e.Voices.size(); ++v)
        if (VoiceAudible(e.Voices, v)) return;
    throw EInvalidInput(msg::NoVoiceAudible);
}

Score ScoreOf(const MelodyExport& m) {
    return {m.Title, m.Tempo, m.ScaleIndex, m.RootIndex, {{m.Melody, m.Program}}, m.Meter};
}

Score ScoreOf(const EnsembleExport& e) {
    RefuseEmpty(e);
    Score score = EnsembleScore(e.Voices, e.Tempo, e.ScaleIndex, e.RootIndex);
    score.Meter = e.Meter;
    return score;
}

// A writer of one kind of text from a score, for one voice and for several.
template <void (*Write)(const std::string&, const Score&)>
bool WriteScoreOne(const std::string& path, const MelodyExport& m, const ExportProgress&) {
    Write(path, ScoreOf(m));
    return true;
}
template <void (*Write)(const std::string&, const Score&)>
bool WriteScoreSeveral(const std::string& path, const EnsembleExport& e, const ExportProgress&) {
    Write(path, ScoreOf(e));
    return true;
}

const ExportFormat kFormats[] = {
    {"Als MIDI-Datei speichern...",
     "Als MIDI-Datei speichern",
     "MIDI-Dateien (*.mid *.midi)",
     {".mid", ".midi"},
     false,
     [](const std::string& path, const MelodyExport& m, const ExportProgress&) {
         WriteMidiFile(path, m.Melody, m.Tempo, m.Program);
         return true;
     },
     [](const std::string& path, const EnsembleExport& e, const ExportProgress&) {
         RefuseEmpty(e);
         WriteEnsembleMidiFile(path, e.Voices, e.Tempo);
         return true;
     }},
    {"Als WAV-Datei speichern...",
     "Als WAV-Datei speichern",
     "WAV-Dateien (*.wav)",
     {".wav"},
     true,
     [](const std::string& path, const MelodyExport& m, const ExportProgress& progress) {
         return WriteWavFile(path, m.Melody, m.Program, progress);
     },
     [](const std::string& path, const EnsembleExport& e, const ExportProgress& progress) {
         RefuseEmpty(e);
         return WriteEnsembleWavFile(path, e.Voices, progress);
     }},
    {"Als MusicXML speichern...",
     "Als MusicXML speichern",
     "MusicXML-Dateien (*.musicxml *.xml)",
     {".musicxml", ".xml"},
     false,
     WriteScoreOne<WriteMusicXmlFile>,
     WriteScoreSeveral<WriteMusicXmlFile>},
    {"Als LilyPond speichern...",
     "Als LilyPond speichern",
     "LilyPond-Dateien (*.ly)",
     {".ly"},
     false,
     WriteScoreOne<WriteLilyPondFile>,
     WriteScoreSeveral<WriteLilyPondFile>},
};

}  // namespace

std::span<const ExportFormat> ExportFormats() { return kFormats; }

const ExportFormat* ExportFormatOf(std::string_view path) {
    for (const ExportFormat& format : kFormats)
        for (std::string_view ending : format.Endings)
            // A name before the ending, too: ".xml" alone names no file of that kind.
            if (path.size() > ending.size() && EndsWithIgnoringCase(path, ending)) return &format;
    return nullptr;
}

const ExportFormat& MidiExport() { return kFormats[0]; }
const ExportFormat& WavExport() { return kFormats[1]; }
const ExportFormat& MusicXmlExport() { return kFormats[2]; }
const ExportFormat& LilyPondExport() { return kFormats[3]; }
