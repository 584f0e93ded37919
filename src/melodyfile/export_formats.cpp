#include "melodyfile/export_formats.h"

#include "common/messages.h"
#include "common/text.h"
#include "melodyfile/audiofile.h"
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

// The audio writers of one codec: the WAV export's render, encoded.
template <AudioCodec codec>
bool WriteAudioOne(const std::string& path, const MelodyExport& m, const ExportProgress& progress) {
    return WriteAudioScore(path, codec, m.Quality, WavScore(m.Melody, m.Program), progress);
}
template <AudioCodec codec>
bool WriteAudioSeveral(const std::string& path, const EnsembleExport& e,
                       const ExportProgress& progress) {
    RefuseEmpty(e);
    return WriteAudioScore(path, codec, e.Quality, EnsembleWavScore(e.Voices), progress);
}

constexpr const char* kAudioCaption = "Als Audiodatei speichern...";
constexpr const char* kAudioTitle = "Als Audiodatei speichern";
constexpr const char* kAudioRendering = "Die Audiodatei wird berechnet...";

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
     },
     "Die WAV-Datei wird berechnet..."},
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
    {kAudioCaption,
     kAudioTitle,
     "FLAC-Dateien, verlustfrei (*.flac)",
     {".flac"},
     true,
     WriteAudioOne<AudioCodec::Flac>,
     WriteAudioSeveral<AudioCodec::Flac>,
     kAudioRendering},
    {kAudioCaption,
     kAudioTitle,
     "Ogg-Vorbis-Dateien (*.ogg)",
     {".ogg"},
     true,
     WriteAudioOne<AudioCodec::Vorbis>,
     WriteAudioSeveral<AudioCodec::Vorbis>,
     kAudioRendering,
     // The bit rates are libvorbis's nominal ones for 44.1 kHz stereo.
     {{"Qualität 0,2 (etwa 96 kbit/s)", 0.2},
      {"Qualität 0,4 (etwa 128 kbit/s)", 0.4},
      {"Qualität 0,6 (etwa 192 kbit/s)", 0.6},
      {"Qualität 0,8 (etwa 256 kbit/s)", 0.8},
      {"Qualität 1,0 (etwa 500 kbit/s)", 1.0}},
     2},
    {kAudioCaption,
     kAudioTitle,
     "MP3-Dateien (*.mp3)",
     {".mp3"},
     true,
     WriteAudioOne<AudioCodec::Mp3>,
     WriteAudioSeveral<AudioCodec::Mp3>,
     kAudioRendering,
     {{"64 kbit/s", Mp3Quality(64)},
      {"96 kbit/s", Mp3Quality(96)},
      {"128 kbit/s", Mp3Quality(128)},
      {"160 kbit/s", Mp3Quality(160)},
      {"192 kbit/s", Mp3Quality(192)},
      {"256 kbit/s", Mp3Quality(256)},
      {"320 kbit/s", Mp3Quality(320)}},
     4},
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
std::span<const ExportFormat> AudioExports() { return std::span(kFormats).subspan(4, 3); }
