#pragma once
// The file formats a melody is exported to, one row each: what the windows
// show for it, the endings that choose it on the command line, and its
// writers for one voice and for several. Adding a format is adding a row.
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "melodyfile/audiofile.h"
#include "playback/ensemble.h"
#include "playback/meter.h"
#include "playback/timeline.h"

// The share done (0..1) now and then; false cancels.
using ExportProgress = std::function<bool(double)>;

// One voice as "Abspielen" plays it, with what a score names.
struct MelodyExport {
    const MelodyTimeline& Melody;
    int Tempo;
    int Program;
    std::string Title;
    int ScaleIndex;
    int RootIndex;
    TimeSignature Meter{};                  // of a score
    double Quality = kDefaultAudioQuality;  // of a lossy audio file, 0..1
};

// Several voices; tempo, scale and root of the first.
struct EnsembleExport {
    const std::vector<EnsembleVoice>& Voices;
    int Tempo;
    int ScaleIndex;
    int RootIndex;
    TimeSignature Meter{};                  // of a score
    double Quality = kDefaultAudioQuality;  // of a lossy audio file, 0..1
};

// A quality that the save dialog offers for a lossy format.
struct QualityChoice {
    const char* Caption;  // "192 kbit/s"
    double Quality;       // as MelodyExport takes it
};

struct ExportFormat {
    const char* MenuCaption;                // "Als MIDI-Datei speichern..."
    const char* DialogTitle;                // "Als MIDI-Datei speichern"
    const char* DialogFilter;               // "MIDI-Dateien (*.mid *.midi)"
    std::vector<std::string_view> Endings;  // the first is the one a new file gets
    // Rendered through the built-in synthesizer: slow, with progress and "Abbrechen".
    bool NeedsSynthesizer;
    // Each writes the whole file or, on a failure, nothing (the file there stays).
    // False when progress cancelled.
    bool (*WriteOne)(const std::string& path, const MelodyExport& melody,
                     const ExportProgress& progress);
    // Refuses an ensemble of which no voice sounds (VoiceAudible).
    bool (*WriteSeveral)(const std::string& path, const EnsembleExport& voices,
                         const ExportProgress& progress);
    // The progress dialog's text where it renders.
    const char* RenderCaption = nullptr;
    // The qualities the dialog offers (none for a format without) and the one it
    // offers first: the one kDefaultAudioQuality gives.
    std::vector<QualityChoice> Qualities = {};
    size_t DefaultQuality = 0;
};

std::span<const ExportFormat> ExportFormats();

// The format whose ending the path has (upper or lower case alike), else null.
const ExportFormat* ExportFormatOf(std::string_view path);

// The rows of the table, by name, for the windows' menu items.
const ExportFormat& MidiExport();
const ExportFormat& WavExport();
const ExportFormat& MusicXmlExport();
const ExportFormat& LilyPondExport();
// The rows of "Als Audiodatei speichern...": FLAC, Ogg Vorbis, MP3.
std::span<const ExportFormat> AudioExports();
