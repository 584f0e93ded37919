#pragma once
// The offline render's kept notes: each distinct note rendered once, alone,
// on a synthesizer of its own that shares the one loaded SoundFont, and its
// samples kept for its later uses within a number of bytes. Private to the
// midi library.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "midi/fluid.h"
#include "midi/synth_offline_plan.h"

namespace offline {

// Hands a synthesizer back: it lets go of the SoundFont it shares first.
struct LetGo {
    fluid_sfont_t* sfont;
    void operator()(fluid_synth_t* synth) const {
        fluid_synth_remove_sfont(synth, sfont);
        delete_fluid_synth(synth);
    }
};
using SharedSynth = std::unique_ptr<fluid_synth_t, LetGo>;

// The synthesizers of one render, sharing the one loaded SoundFont.
class SoundFontSynths {
public:
    explicit SoundFontSynths(const std::string& soundFont);

    // Another synthesizer on the SoundFont, for as long as this one lives.
    fluid_synth_t* Add() {
        others_.push_back(Make(settings_));
        return others_.back().get();
    }
    // A fresh one for a note alone: FluidSynth's voices remember their last
    // note's loudness and start the next one from it.
    SharedSynth Solo() const { return Make(soloSettings_); }

private:
    SharedSynth Make(const FluidSettings& settings) const;

    // Declared first: every synthesizer needs them until it is gone.
    FluidSettings settings_, soloSettings_;
    FluidSynth owner_;  // owns the SoundFont
    fluid_sfont_t* sfont_ = nullptr;
    std::vector<SharedSynth> others_;  // last: gone before the owner
};

// Adds count frames of the synthesizer to left/right.
void AddFrames(fluid_synth_t* synth, int64_t count, float* left, float* right);

// Lets count frames of a silent synthesizer pass.
void DropFrames(fluid_synth_t* synth, int64_t count);

// The integer nearest to value (halves to even) for |value| < 2^22, as
// lrint rounds, without its call: adding 1.5 * 2^23 leaves no fraction.
inline float RoundedToInteger(float value) {
    constexpr float kShift = 12582912.0f;
    return (value + kShift) - kShift;
}

// Large sounds come straight from the system and go back to it at their end:
// freed through malloc they would stay in its heap once it raises its mapping
// threshold, and a render of many distinct notes would hold far more than it
// keeps.
void* TakePages(size_t bytes);
void GivePages(void* at, size_t bytes) noexcept;
template <class T>
struct SystemPages {
    using value_type = T;
    SystemPages() = default;
    template <class U>
    explicit SystemPages(const SystemPages<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(TakePages(n * sizeof(T))); }
    void deallocate(T* at, size_t n) noexcept { GivePages(at, n * sizeof(T)); }
    // Left as they come: every sample is written before it is read, and
    // clearing them first would touch each page twice.
    template <class U>
    void construct(U* at) noexcept {
        ::new (static_cast<void*>(at)) U;
    }
    template <class U>
    bool operator==(const SystemPages<U>&) const {
        return true;
    }
};

// How many bytes of kept samples the render holds, over both threads: each
// sound counts itself from its making to its end.
using SoundBytes = std::atomic<int64_t>;

// A note's samples from its first frame on, as 16-bit steps of a power of two
// chosen for the note's loudest sample (2^-16 for a loud note, finer for a
// soft one): half the memory of floats, and each step well below the
// output's. The left channel, then the right; where the right channel is the
// left one scaled (a mono sample, panned), only the left one is kept.
struct Sound {
    Sound(SoundBytes& bytes, int64_t frames, bool panned);
    ~Sound() { counted_ -= static_cast<int64_t>(Bytes()); }
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    std::vector<int16_t, SystemPages<int16_t>> samples;
    bool panned;
    float leftGain = 0.0f, rightGain = 0.0f;  // a step's value on each channel
    int64_t Frames() const {
        return static_cast<int64_t>(panned ? samples.size() : samples.size() / 2);
    }
    const int16_t* Left() const { return samples.data(); }
    const int16_t* Right() const { return samples.data() + Frames(); }
    size_t Bytes() const { return samples.size() * sizeof(int16_t); }

private:
    SoundBytes& counted_;
};

// Renders notes one at a time, each on a synthesizer of its own.
class SoloNotes {
public:
    SoloNotes(const SoundFontSynths& synths, SoundBytes& bytes) : synths_(synths), bytes_(bytes) {}

    // Null when the note must be played live.
    std::shared_ptr<const Sound> Render(const NoteKey& note);

private:
    int64_t Append(fluid_synth_t* synth, int64_t at, int64_t count);
    std::shared_ptr<const Sound> Keep(int64_t frames) const;

    const SoundFontSynths& synths_;
    SoundBytes& bytes_;
    std::vector<float> left_, right_;  // the note being rendered
};

// The sounds the notes hold for their next uses, within a number of bytes.
class KeptNotes {
public:
    // The note has its first render, or one after a Drop: a sound to keep,
    // or none when the note is played live.
    void Rendered(DistinctNote& note) {
        note.live = !note.sound;
        if (note.sound) bytes_ += note.sound->Bytes();
    }
    // Beyond keptBytes, lets go of the notes needed again last, down to 7/8
    // of it (so that the search runs now and then, not at every note).
    void Limit(std::vector<DistinctNote>& notes, size_t keptBytes);
    // One more use of the note began: after its last one the note lets go of
    // its sound (the mix holds it while it sounds).
    void Began(DistinctNote& note) {
        if (note.sound && note.started == note.uses.size()) Drop(note);
    }
    void Drop(DistinctNote& note);
    size_t Bytes() const { return bytes_; }

private:
    size_t bytes_ = 0;
};

}  // namespace offline
