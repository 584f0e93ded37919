#pragma once
// The offline render's plan: the melody's notes, which of them are the same
// note (so one render serves them all) and where each use starts. Plain
// bookkeeping without FluidSynth. Private to the midi library.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "midi/synth.h"

namespace offline {

inline constexpr int kBlock = 64;  // FluidSynth's block, in frames
inline constexpr int kPanControllerNumber = 10;
inline constexpr int64_t kChunk =
    65536;  // the mix is made and handed on in windows of this (1.5 s)

struct Sound;  // a kept note's samples (synth_offline_cache.h)

// What a note alone sounds like depends on nothing else. Its pan is the
// channel's controller 10 at its start (-1: none sent), kept for its whole
// sound, release included.
struct NoteKey {
    int channel, program, key, velocity, pan;
    int64_t blocks;  // held
    auto operator<=>(const NoteKey&) const = default;
};

// A note of the melody: where it starts, which sound, and how it is sent
// live when its sound cannot be kept.
struct NoteUse {
    int64_t frame;
    int program;
    int pan;
    SynthEvent on;
    uint64_t onOrder;
    int64_t endFrame = -1;  // none: held to the end
    uint64_t endOrder = 0;
    size_t note = 0;  // index into the distinct notes
};

// A note and its uses; the mix counts them off and holds its sound meanwhile.
struct DistinctNote {
    NoteKey key;
    std::vector<int64_t> uses;  // start frames, in order
    size_t started = 0;
    bool live = false;
    std::shared_ptr<const Sound> sound;
};

// Splits the messages into notes, the distinct ones in the order of their
// first use; false when some message is neither a note, a program nor a
// pan, as renders of single notes cannot reproduce it.
bool CollectNotes(const std::vector<SynthEvent>& events, int64_t frameCount,
                  std::vector<NoteUse>& uses, std::vector<DistinctNote>& notes);

}  // namespace offline
