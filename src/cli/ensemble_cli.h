#pragma once
// melody with several voices: setup files played, written or listed together.
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "playback/timeline.h"

// One --setup and the --offset that follows it, as typed.
class MidiUnit;
struct ExportFormat;

struct VoiceFileArgument {
    std::string Path;
    std::optional<std::string> Offset;  // none: the file's own offsets
};

// --out with the format its ending names, and --quality for a lossy one.
struct OutFile {
    std::string Path;
    const ExportFormat& Format;
    double Quality;
};

// Writes --out (MIDI format 1, or all voices mixed in one audio file), prints each voice's notes
// ("VOICE KEY MS") and plays them with --play, calling onPlay once the voices
// are built. Returns the exit status.
int EnsembleMelody(MidiUnit& midi, const std::vector<VoiceFileArgument>& files, bool play,
                   const OutFile* file, const std::function<void()>& onPlay, std::ostream& out,
                   std::ostream& err);

// Whether any element carries a velocity or pan from the expression maps.
bool HasExpression(const MelodyTimeline& melody);
// What melody prints of a voice: "key duration" a line, with expression
// "key duration velocity pan" (the voice's velocity and the centre where a
// note has none); prefix before each line.
void PrintMelody(std::ostream& out, const MelodyTimeline& melody, int velocity, bool expression,
                 const std::string& prefix = "");
