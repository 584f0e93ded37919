// The offline render: the melody through the SoundFont into samples, with
// every note on its exact frame.
//
// FluidSynth computes in blocks of 64 frames, and a message takes effect at
// the next block, which would move a note's start by up to 63 frames. A note
// alone on a synthesizer whose block begins at the note's start sounds the
// same wherever in the melody it stands: its voices depend only on its
// channel's program and pan, its key, its velocity and, as a Note Off takes effect at
// the next block, the whole blocks it is held. So each such note is rendered
// once, alone, and every use of it is added into the mix from its exact
// frame; FluidSynth mixes voices by adding them, so the sum is what one
// synthesizer would play (dry: reverb and chorus would not add up this way).
// A melody repeats its notes, which makes this far cheaper than playing every
// note through.
//
// Notes whose voices act on each other (an exclusive class: a closed hi-hat
// stops the open one), notes too long to keep, and melodies with messages
// other than notes, programs and pans are played live instead, each note on the
// synthesizer of its start's place in the 64-frame block.
//
// The memory is bounded whatever the melody: the kept sounds by keptBytes
// (the notes needed again last go first, and each note goes once its last use
// began), the sounds that sound on without being kept by a room of their own
// (beyond it a note is played live), and those made ahead by keptBytes
// for all sounds together, or by a room of their own.
//
// The parts: the plan of the notes (synth_offline_plan.h), the kept notes
// (synth_offline_cache.h), the mix on two threads (synth_offline_mix.h) and
// its adds (synth_offline_add.h).
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <queue>
#include <tuple>
#include <vector>

#include "midi/fluid.h"
#include "midi/synth.h"
#include "midi/synth_offline_cache.h"
#include "midi/synth_offline_mix.h"
#include "midi/synth_offline_plan.h"

namespace offline {
namespace {

// How far ahead of the mix notes are rendered, at most (6 s).
constexpr int64_t kAheadFrames = 4 * kChunk;
// The room of the sounds still sounding that no note keeps any more (their
// last use began, or the kept bytes ran out); beyond it notes are played live.
constexpr int64_t kSoundingBytes = int64_t{32} << 20;

// Plays messages as they come, each note on the synthesizer whose blocks
// begin where the note does: one for each of the 64 places in a block that
// has a note sounding, so a note is never late, however many sound at once.
// A synthesizer gone quiet serves whichever place needs one next, so the
// pool grows only to the places sounding at once.
class LivePool {
public:
    explicit LivePool(SoundFontSynths& synths) : synths_(synths) { place_.fill(kNone); }

    // order breaks ties at one frame: messages are applied in its order.
    void Schedule(const SynthEvent& e, uint64_t order) { pending_.push({e, order}); }

    // Adds frames at..at+count-1 to left/right, applying the messages due.
    void Render(int64_t at, int64_t count, float* left, float* right) {
        const int64_t end = at + count;
        for (int64_t now = at; now < end;) {
            while (!pending_.empty() && pending_.top().event.frame <= now) {
                Apply(pending_.top().event, now);
                pending_.pop();
            }
            const int64_t next = pending_.empty() ? end : std::min(end, pending_.top().event.frame);
            for (const size_t s : place_)
                if (s != kNone)
                    AddFrames(pool_[s].synth, next - now, left + (now - at), right + (now - at));
            for (size_t& s : place_) {
                if (s == kNone) continue;
                Synth& synth = pool_[s];
                synth.rendered += next - now;
                if (synth.held == 0 && fluid_synth_get_active_voice_count(synth.synth) == 0) {
                    synth.busy = false;
                    s = kNone;
                }
            }
            now = next;
        }
    }

private:
    static constexpr size_t kNone = ~size_t{0};
    // A stopping note must not take a sounding voice's place.
    static constexpr int kStopperRoom = 8;
    static constexpr float kLongestDelay = 5000.0f;  // timecents, about 18 s
    struct Pending {
        SynthEvent event;
        uint64_t order;
        bool operator<(const Pending& o) const {  // the earliest on top
            return std::tie(event.frame, order) > std::tie(o.event.frame, o.order);
        }
    };
    struct Synth {
        fluid_synth_t* synth = nullptr;
        bool busy = false;
        int held = 0;          // notes held on
        int64_t rendered = 0;  // frames handed out since its creation
    };

    void Apply(const SynthEvent& e, int64_t now) {
        const uint8_t bytes[3] = {e.status, e.data1, e.data2};
        const int type = e.status & 0xF0;
        const int key = (e.status & 0x0F) << 8 | e.data1;
        if (type == 0x90 && e.data2 > 0) {
            if (auto held = holder_.find(key); held != holder_.end()) Release(held);
            const size_t place = static_cast<size_t>(now % kBlock);
            Synth& s = Join(place);
            FluidCalls calls(s.synth);
            SendToSynth(calls, bytes, 3);
            ++s.held;
            holder_[key] = place;
            StopClassElsewhere(s, e.status & 0x0F, e.data1, e.data2);
        } else if (type == 0x80 || type == 0x90) {
            if (auto held = holder_.find(key); held != holder_.end()) Release(held);
        } else {
            // Programs, controllers and the like concern every synthesizer,
            // and those still to come.
            state_.push_back(e);
            for (Synth& s : pool_) {
                FluidCalls calls(s.synth);
                SendToSynth(calls, bytes, 3);
            }
        }
    }

    void Release(std::map<int, size_t>::iterator held) {
        Synth& s = pool_[place_[held->second]];  // sounding, so it has one
        fluid_synth_noteoff(s.synth, held->first >> 8, held->first & 0xFF);
        --s.held;
        holder_.erase(held);
    }

    // A note of an exclusive class stops that class's voices on its channel
    // (a closed hi-hat the open one), but FluidSynth does so only on the
    // note's own synthesizer. Each other one sounding the class gets the same
    // note, whose voices wait out the longest envelope delay and are let go
    // at once: silent, while FluidSynth stops the class there as it would
    // have (from that synthesizer's next block, within FluidSynth's own step
    // of envelopes).
    void StopClassElsewhere(const Synth& own, int channel, int key, int velocity) {
        std::vector<int> classes;
        for (fluid_voice_t* voice : Newest(own.synth, channel, key))
            if (const auto c = static_cast<int>(fluid_voice_gen_get(voice, GEN_EXCLUSIVECLASS)))
                classes.push_back(c);
        if (classes.empty()) return;
        for (Synth& s : pool_) {
            if (&s == &own || !s.busy || !Sounds(s.synth, channel, classes) ||
                fluid_synth_get_active_voice_count(s.synth) + kStopperRoom >
                    fluid_synth_get_polyphony(s.synth))
                continue;
            fluid_synth_noteon(s.synth, channel, key, velocity);
            const std::vector<fluid_voice_t*> stopper = Newest(s.synth, channel, key);
            for (fluid_voice_t* voice : stopper) {
                fluid_voice_gen_set(voice, GEN_VOLENVDELAY, kLongestDelay);
                fluid_voice_update_param(voice, GEN_VOLENVDELAY);
            }
            if (!stopper.empty()) fluid_synth_stop(s.synth, fluid_voice_get_id(stopper.front()));
        }
    }

    static std::vector<fluid_voice_t*> Playing(fluid_synth_t* synth) {
        std::vector<fluid_voice_t*> voices(static_cast<size_t>(fluid_synth_get_polyphony(synth)) +
                                           1);
        fluid_synth_get_voicelist(synth, voices.data(), static_cast<int>(voices.size()), -1);
        std::erase(voices, nullptr);
        return voices;
    }

    // The voices of the note last started on the channel and key: FluidSynth
    // numbers its notes upwards.
    static std::vector<fluid_voice_t*> Newest(fluid_synth_t* synth, int channel, int key) {
        std::vector<fluid_voice_t*> voices = Playing(synth);
        std::erase_if(voices, [&](fluid_voice_t* v) {
            return fluid_voice_get_channel(v) != channel || fluid_voice_get_key(v) != key ||
                   !fluid_voice_is_on(v);
        });
        unsigned newest = 0;
        for (fluid_voice_t* v : voices) newest = std::max(newest, fluid_voice_get_id(v));
        std::erase_if(voices, [&](fluid_voice_t* v) { return fluid_voice_get_id(v) != newest; });
        return voices;
    }

    static bool Sounds(fluid_synth_t* synth, int channel, const std::vector<int>& classes) {
        const std::vector<fluid_voice_t*> voices = Playing(synth);
        return std::any_of(voices.begin(), voices.end(), [&](fluid_voice_t* v) {
            const auto c = static_cast<int>(fluid_voice_gen_get(v, GEN_EXCLUSIVECLASS));
            return fluid_voice_get_channel(v) == channel && c != 0 &&
                   std::find(classes.begin(), classes.end(), c) != classes.end();
        });
    }

    // The synthesizer of a place in the block, sounding and with a block beginning now.
    Synth& Join(size_t place) {
        if (place_[place] != kNone) return pool_[place_[place]];
        auto quiet =
            std::find_if(pool_.begin(), pool_.end(), [](const Synth& s) { return !s.busy; });
        if (quiet == pool_.end()) {
            pool_.push_back({synths_.Add()});
            quiet = pool_.end() - 1;
            FluidCalls calls(quiet->synth);
            for (const SynthEvent& e : state_) {
                const uint8_t bytes[3] = {e.status, e.data1, e.data2};
                SendToSynth(calls, bytes, 3);
            }
        }
        // Silent since it went quiet: drop the rest of its block.
        const int64_t rest = (kBlock - quiet->rendered % kBlock) % kBlock;
        DropFrames(quiet->synth, rest);
        quiet->rendered += rest;
        quiet->busy = true;
        place_[place] = static_cast<size_t>(quiet - pool_.begin());
        return *quiet;
    }

    SoundFontSynths& synths_;
    std::vector<Synth> pool_;
    std::array<size_t, kBlock> place_{};  // index into pool_, or kNone
    std::priority_queue<Pending> pending_;
    std::map<int, size_t> holder_;  // channel << 8 | key -> place in the block
    std::vector<SynthEvent> state_;
};

// The notes in the mix: kept ones added from their samples, the others sent
// live, and the kept samples held for their next use.
class NoteMix {
public:
    NoteMix(const SoundFontSynths& solo, SoundBytes& bytes, size_t keptBytes, LivePool& live,
            Prerender& ahead)
        : solo_(solo, bytes), bytes_(bytes), keptBytes_(keptBytes), live_(live), ahead_(ahead) {}

    // Starts the notes before at + count, sets window up with what sounds in it,
    // and renders the live notes into it.
    void Prepare(MixWindow& window, int64_t at, int64_t count, const std::vector<NoteUse>& uses,
                 std::vector<DistinctNote>& notes) {
        std::erase_if(sounding_, [&](const Sounding& s) { return s.End() <= at; });
        ahead_.Ahead(at + kAheadFrames);
        for (; next_ < uses.size() && uses[next_].frame < at + count; ++next_)
            Start(uses[next_], notes);
        window.at = at;
        window.count = count;
        window.notes.clear();
        for (const Sounding& s : sounding_)
            if (s.End() > at) window.notes.push_back(s);
        std::fill_n(window.left.begin(), count, 0.0f);
        std::fill_n(window.right.begin(), count, 0.0f);
        live_.Render(at, count, window.left.data(), window.right.data());
    }

private:
    void Start(const NoteUse& use, std::vector<DistinctNote>& notes) {
        DistinctNote& note = notes[use.note];
        ++note.started;
        if (!note.live && !note.sound) {
            // Its first render may have been made ahead; one after a Drop is made here,
            // unless the sounds that are no longer kept fill their room: then this use is
            // played live, so that no melody makes the render hold more.
            std::shared_ptr<const Sound> sound;
            if (!(note.started == 1 && ahead_.Take(use.note, sound))) {
                if (Crowded()) {
                    PlayLive(use);
                    return;
                }
                sound = solo_.Render(note.key);
            }
            note.sound = std::move(sound);
            kept_.Rendered(note);
        }
        if (note.live) {
            PlayLive(use);
            return;
        }
        sounding_.push_back({use.frame, note.sound});
        kept_.Began(note);
        kept_.Limit(notes, keptBytes_);
    }

    bool Crowded() const {
        return bytes_ - static_cast<int64_t>(kept_.Bytes()) - ahead_.HeldBytes() >= kSoundingBytes;
    }

    void PlayLive(const NoteUse& use) {
        live_.Schedule(use.on, use.onOrder);
        if (use.endFrame >= 0) {
            const SynthEvent off{use.endFrame, static_cast<uint8_t>(0x80 | (use.on.status & 0x0F)),
                                 use.on.data1, 0};
            live_.Schedule(off, use.endOrder);
        }
    }

    SoloNotes solo_;
    const SoundBytes& bytes_;
    size_t keptBytes_;
    LivePool& live_;
    Prerender& ahead_;
    std::vector<Sounding> sounding_;
    size_t next_ = 0;  // the next use to start
    KeptNotes kept_;
};

int16_t ToSample(float value) {
    const float scaled = value * 32768.0f;
    // Clipped first, then rounded: the same as the other way round; NaN gives the lowest.
    const float clipped = scaled > 32767.0f ? 32767.0f : scaled >= -32768.0f ? scaled : -32768.0f;
    return static_cast<int16_t>(RoundedToInteger(clipped));
}

}  // namespace
}  // namespace offline

bool RenderOffline(const std::string& soundFont, const std::vector<SynthEvent>& events,
                   int64_t frameCount,
                   const std::function<bool(const int16_t* samples, size_t frames)>& sink,
                   float gain, size_t keptBytes) {
    using namespace offline;
    SilenceSoundLibraries();
    SoundFontSynths synths(soundFont);  // first: FluidSynth sets itself up on the first one
    LivePool live(synths);
    SoundBytes bytes{0};  // before every holder of a sound: each counts itself off it
    std::vector<NoteUse> uses;
    std::vector<DistinctNote> notes;
    const bool kept = CollectNotes(events, frameCount, uses, notes);
    if (!kept) uses.clear();
    Prerender ahead(notes, bytes, keptBytes);
    NoteMix mix(synths, bytes, keptBytes, live, ahead);
    // Live notes need the programs and pans too; without kept notes everything is live.
    for (size_t i = 0; i < events.size(); ++i) {
        const int type = events[i].status & 0xF0;
        if (!kept || type == 0xC0 || type == 0xB0) live.Schedule(events[i], 2 * i + 1);
    }

    std::array<MixWindow, 2> windows;
    Helper mixer(ahead, soundFont);  // after the windows: it is gone before them
    std::vector<int16_t> out(2 * kChunk);
    MixWindow* current = &windows[0];
    MixWindow* following = &windows[1];
    if (frameCount > 0) {
        mix.Prepare(*current, 0, std::min(kChunk, frameCount), uses, notes);
        mixer.Publish(*current);
    }
    for (int64_t at = 0; at < frameCount; at += kChunk) {
        const int64_t count = std::min(kChunk, frameCount - at);
        const bool more = at + count < frameCount;
        if (more)
            mix.Prepare(*following, at + count, std::min(kChunk, frameCount - at - count), uses,
                        notes);
        mixer.Finish(*current);
        if (more) mixer.Publish(*following);
        for (int64_t i = 0; i < count; ++i) {
            out[2 * i] = ToSample(gain * current->left[i]);
            out[2 * i + 1] = ToSample(gain * current->right[i]);
        }
        if (!sink(out.data(), static_cast<size_t>(count))) return false;
        std::swap(current, following);
    }
    return true;
}
