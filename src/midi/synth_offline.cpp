// The offline render: the melody through the SoundFont into samples, with
// every note on its exact frame.
#include <algorithm>
#include <cmath>
#include <map>

#include "common/messages.h"
#include "midi/fluid.h"
#include "midi/synth.h"

namespace {

// FluidSynth computes in blocks of 64 frames, and a message takes effect at
// the next block, which would move a note's start by up to 63 frames. So each
// note gets a synthesizer of its own whose blocks begin on that note's first
// frame; the synthesizers share the one loaded SoundFont, and a synthesizer
// whose note has died away takes the next note. Their outputs add up to what
// one synthesizer would play, as FluidSynth mixes voices by adding them (the
// dry sound: reverb and chorus would not add up this way).
class NotePool {
public:
    explicit NotePool(const std::string& soundFont) : settings_(NewSynthSettings()) {
        // A melody needs few voices at once; fewer make a synthesizer cheap to create.
        fluid_settings_setint(settings_.get(), "synth.polyphony", 32);
        FluidSynth first(new_fluid_synth(settings_.get()));
        if (!first) throw ESynthError(msg::SynthSetupFailed);
        const int id = fluid_is_soundfont(soundFont.c_str())
                           ? fluid_synth_sfload(first.get(), soundFont.c_str(), 1)
                           : FLUID_FAILED;
        if (id == FLUID_FAILED) throw ESynthError(SoundFontLoadFailure(soundFont));
        sfont_ = fluid_synth_get_sfont_by_id(first.get(), id);
        voices_.push_back({std::move(first)});
    }
    ~NotePool() {
        // The first synthesizer owns the SoundFont: the others let go of it first.
        for (size_t i = 1; i < voices_.size(); ++i)
            fluid_synth_remove_sfont(voices_[i].synth.get(), sfont_);
        while (!voices_.empty()) voices_.pop_back();
    }
    NotePool(const NotePool&) = delete;
    NotePool& operator=(const NotePool&) = delete;

    // Adds the next count frames of every sounding synthesizer to left/right.
    void Render(int64_t count, float* left, float* right) {
        for (Voice& v : voices_) {
            if (!v.busy) continue;
            for (int64_t done = 0; done < count;) {
                const int n = static_cast<int>(std::min<int64_t>(count - done, kScratch));
                float* out[2] = {left + done, right + done};
                fluid_synth_process(v.synth.get(), n, 0, nullptr, 2, out);  // adds to out
                done += n;
                v.rendered += n;
            }
        }
        for (Voice& v : voices_)
            if (v.busy && v.held == 0 && fluid_synth_get_active_voice_count(v.synth.get()) == 0)
                v.busy = false;
    }

    void Apply(const SynthEvent& e) {
        const uint8_t bytes[3] = {e.status, e.data1, e.data2};
        const int type = e.status & 0xF0;
        const int key = (e.status & 0x0F) << 8 | e.data1;
        if (type == 0x90 && e.data2 > 0) {
            auto held = holder_.find(key);
            if (held != holder_.end()) Release(held);
            Voice& v = Idle();
            FluidCalls calls(v.synth.get());
            SendToSynth(calls, bytes, 3);
            v.busy = true;
            ++v.held;
            holder_[key] = &v - voices_.data();
        } else if (type == 0x80 || type == 0x90) {
            auto held = holder_.find(key);
            if (held != holder_.end()) Release(held);
        } else {
            // Programs, controllers and the like concern every synthesizer,
            // and those still to come.
            state_.push_back(e);
            for (Voice& v : voices_) {
                FluidCalls calls(v.synth.get());
                SendToSynth(calls, bytes, 3);
            }
        }
    }

private:
    static constexpr int kScratch = 4096;
    static constexpr size_t kMaxSynths = 64;
    struct Voice {
        FluidSynth synth;
        bool busy = false;
        int held = 0;          // notes held on
        int64_t rendered = 0;  // frames since its creation
    };

    void Release(std::map<int, size_t>::iterator held) {
        Voice& v = voices_[held->second];
        fluid_synth_noteoff(v.synth.get(), held->first >> 8, held->first & 0xFF);
        --v.held;
        holder_.erase(held);
    }

    // A silent synthesizer whose next block begins now.
    Voice& Idle() {
        for (Voice& v : voices_) {
            if (v.busy) continue;
            // Drop the rest of its current block (silence), so that the next begins now.
            const int rest = static_cast<int>((64 - v.rendered % 64) % 64);
            if (rest > 0) {
                float* out[2] = {scratchL_, scratchR_};
                fluid_synth_process(v.synth.get(), rest, 0, nullptr, 2, out);
                v.rendered += rest;
            }
            return v;
        }
        if (voices_.size() >= kMaxSynths) return voices_.front();  // rather late than lost
        FluidSynth synth(new_fluid_synth(settings_.get()));
        if (!synth) return voices_.front();
        fluid_synth_add_sfont(synth.get(), sfont_);
        FluidCalls calls(synth.get());
        for (const SynthEvent& e : state_) {
            const uint8_t bytes[3] = {e.status, e.data1, e.data2};
            SendToSynth(calls, bytes, 3);
        }
        voices_.push_back({std::move(synth)});
        // The holders keep indices, so the vector may move.
        return voices_.back();
    }

    // Declared first: every synthesizer needs it until it is gone.
    FluidSettings settings_;
    fluid_sfont_t* sfont_ = nullptr;  // owned by voices_[0]
    std::vector<Voice> voices_;
    std::map<int, size_t> holder_;  // channel << 8 | key -> index in voices_
    std::vector<SynthEvent> state_;
    float scratchL_[kScratch], scratchR_[kScratch];
};

int16_t ToSample(float value) {
    const float scaled = value * 32768.0f;
    return static_cast<int16_t>(std::clamp(std::lrint(scaled), -32768L, 32767L));
}

}  // namespace

bool RenderOffline(const std::string& soundFont, const std::vector<SynthEvent>& events,
                   int64_t frameCount,
                   const std::function<bool(const int16_t* samples, size_t frames)>& sink) {
    SilenceSoundLibraries();
    NotePool pool(soundFont);
    constexpr int64_t kChunk = 4096;
    std::vector<float> left(kChunk), right(kChunk);
    std::vector<int16_t> out(2 * kChunk);
    size_t next = 0;
    for (int64_t at = 0; at < frameCount;) {
        while (next < events.size() && events[next].frame <= at) pool.Apply(events[next++]);
        int64_t until = std::min(frameCount, at + kChunk);
        if (next < events.size()) until = std::min(until, events[next].frame);
        const int64_t count = until - at;
        std::fill_n(left.begin(), count, 0.0f);
        std::fill_n(right.begin(), count, 0.0f);
        pool.Render(count, left.data(), right.data());
        for (int64_t i = 0; i < count; ++i) {
            out[2 * i] = ToSample(left[i]);
            out[2 * i + 1] = ToSample(right[i]);
        }
        if (!sink(out.data(), static_cast<size_t>(count))) return false;
        at = until;
    }
    return true;
}
