#pragma once
// A melody as a Standard MIDI File: format 0, one track on channel 1, 480
// ticks per quarter note, the tempo and the program at its start, each note
// sounded as PlayNote sounds it and each rest as time.
#include <cstdint>
#include <string>
#include <vector>

#include "common/errors.h"
#include "playback/ensemble.h"
#include "playback/timeline.h"

inline constexpr int kMidiFileTicksPerQuarter = 480;

// A melody that no file can hold.
class EMidiFileError : public EInvalidInput {
    using EInvalidInput::EInvalidInput;
};

// The file's bytes. tempo: quarter beats per minute, kTempoMin..kTempoMax;
// program: General MIDI program 0..127. Where every element carries its
// length exponent L, it lasts exactly 1920 / 2^L ticks (a quarter 480, rests
// alike) and a score program reads clean note values; lengths below one tick
// are added up exactly and each event lies on the tick nearest to its place.
// Otherwise a note's start and end lie on the tick nearest to the time elapsed
// since the start of the melody. Either way rounding never adds up.
std::vector<uint8_t> MidiFileBytes(const MelodyTimeline& melody, int tempo, int program);
std::vector<uint8_t> MidiFileBytes(const std::vector<MelodyNote>& melody, int tempo, int program);

// Writes MidiFileBytes to path as WriteFileAtomically does (its EFileWriteError
// when the file cannot be written).
void WriteMidiFile(const std::string& path, const MelodyTimeline& melody, int tempo, int program);
void WriteMidiFile(const std::string& path, const std::vector<MelodyNote>& melody, int tempo,
                   int program);

// Several voices as a file of format 1: a first track with the tempo, then
// one track per audible voice (VoiceAudible) with its name, its channel's
// program and its notes (velocity, transposition and offset applied).
// A voice whose tempo and length exponents are known lies on the ticks of its
// own file, its note values scaled by its tempo against tempo and each place
// rounded once; any other by its times at tempo.
std::vector<uint8_t> EnsembleMidiFileBytes(const std::vector<EnsembleVoice>& voices, int tempo);
void WriteEnsembleMidiFile(const std::string& path, const std::vector<EnsembleVoice>& voices,
                           int tempo);
