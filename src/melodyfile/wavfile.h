#pragma once
// A melody as a WAV file: rendered offline through the built-in synthesizer,
// 44.1 kHz stereo 16-bit, every note starting on the frame nearest to the
// time elapsed since the start of the melody, plus a short release tail.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/errors.h"
#include "midi/synth.h"
#include "playback/ensemble.h"
#include "playback/timeline.h"

inline constexpr int kWavReleaseMs = 500;

// A melody that no WAV file can hold.
class EWavFileError : public EInvalidInput {
    using EInvalidInput::EInvalidInput;
};

// The frame nearest to elapsedMs after the start.
constexpr int64_t WavFrameAt(int64_t elapsedMs) {
    return (elapsedMs * (kSynthSampleRate / 10) + 50) / 100;
}

// The frame nearest to elapsedUs after the start.
constexpr int64_t WavFrameAtUs(int64_t elapsedUs) {
    return (elapsedUs * (kSynthSampleRate / 100) + 5000) / 10000;
}

struct RenderScore {
    std::vector<SynthEvent> events;  // the program, then each note's start and end
    int64_t frames;                  // the whole file, release tail included
    float gain = 1.0f;               // of the mix
};

// Checks the melody and program (0..127) as the MIDI export does; throws EWavFileError.
RenderScore WavScore(const MelodyTimeline& melody, int program);
RenderScore WavScore(const std::vector<MelodyNote>& melody, int program);

// Renders the melody into path, replacing a file that is there only when the
// new one is complete. progress gets the share done (0..1) now and then and
// returns false to cancel; the result is then false and nothing was written.
bool WriteWavFile(const std::string& path, const MelodyTimeline& melody, int program,
                  const std::function<bool(double)>& progress = {},
                  const std::string& soundFont = DefaultSoundFontPath());
bool WriteWavFile(const std::string& path, const std::vector<MelodyNote>& melody, int program,
                  const std::function<bool(double)>& progress = {},
                  const std::string& soundFont = DefaultSoundFontPath());

// Several voices mixed: each channel's program at the start, every note on
// the frame nearest to its time (offsets included), the release tail after
// the longest voice.
RenderScore EnsembleWavScore(const std::vector<EnsembleVoice>& voices);
bool WriteEnsembleWavFile(const std::string& path, const std::vector<EnsembleVoice>& voices,
                          const std::function<bool(double)>& progress = {},
                          const std::string& soundFont = DefaultSoundFontPath());

// The score rendered as the WAV file holds it (interleaved 16-bit stereo, the
// tail faded out), handed to sink block by block; sink returns false to
// cancel, and the result is then false. For writers of other formats.
bool RenderScoreSamples(const RenderScore& score,
                        const std::function<bool(const int16_t* samples, size_t frames)>& sink,
                        const std::string& soundFont = DefaultSoundFontPath());

// Renders a score into path as WriteWavFile does.
bool WriteWavScore(const std::string& path, const RenderScore& score,
                   const std::function<bool(double)>& progress = {},
                   const std::string& soundFont = DefaultSoundFontPath());
