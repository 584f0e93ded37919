// The offline render: the melody through the SoundFont into samples, with
// every note on its exact frame.
//
// FluidSynth computes in blocks of 64 frames, and a message takes effect at
// the next block, which would move a note's start by up to 63 frames. A note
// alone on a synthesizer whose block begins at the note's start sounds the
// same wherever in the melody it stands: its voices depend only on its
// channel's program, its key, its velocity and, as a Note Off takes effect at
// the next block, the whole blocks it is held. So each such note is rendered
// once, alone, and every use of it is added into the mix from its exact
// frame; FluidSynth mixes voices by adding them, so the sum is what one
// synthesizer would play (dry: reverb and chorus would not add up this way).
// A melody repeats its notes, which makes this far cheaper than playing every
// note through.
//
// Notes whose voices act on each other (an exclusive class: a closed hi-hat
// stops the open one), notes too long to keep, and melodies with messages
// other than notes and programs are played live instead, each note on the
// synthesizer of its start's place in the 64-frame block.
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

#include "midi/fluid.h"
#include "midi/synth.h"
#include "midi/synth_offline_cache.h"
#include "midi/synth_offline_mix.h"
#include "midi/synth_offline_plan.h"

namespace offline {
namespace {

// How far ahead of the mix notes are rendered, at most (6 s).
constexpr int64_t kAheadFrames = 4 * kChunk;

// Plays messages as they come, each note on the synthesizer whose blocks
// begin where the note does: one for each of the 64 places in a block, so a
// note is never late, however many sound at once.
class LivePool {
public:
    explicit LivePool(SoundFontSynths& synths) : synths_(synths) {}

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
            for (Phase& p : phases_)
                if (p.busy) AddFrames(p.synth, next - now, left + (now - at), right + (now - at));
            for (Phase& p : phases_)
                if (p.busy) {
                    p.rendered += next - now;
                    p.busy = p.held > 0 || fluid_synth_get_active_voice_count(p.synth) > 0;
                }
            now = next;
        }
    }

private:
    struct Pending {
        SynthEvent event;
        uint64_t order;
        bool operator<(const Pending& o) const {  // the earliest on top
            return std::tie(event.frame, order) > std::tie(o.event.frame, o.order);
        }
    };
    struct Phase {
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
            const size_t index = static_cast<size_t>(now % kBlock);
            Phase& p = Join(index);
            FluidCalls calls(p.synth);
            SendToSynth(calls, bytes, 3);
            ++p.held;
            holder_[key] = index;
        } else if (type == 0x80 || type == 0x90) {
            if (auto held = holder_.find(key); held != holder_.end()) Release(held);
        } else {
            // Programs, controllers and the like concern every synthesizer,
            // and those still to come.
            state_.push_back(e);
            for (Phase& p : phases_) {
                if (!p.synth) continue;
                FluidCalls calls(p.synth);
                SendToSynth(calls, bytes, 3);
            }
        }
    }

    void Release(std::map<int, size_t>::iterator held) {
        Phase& p = phases_[held->second];
        fluid_synth_noteoff(p.synth, held->first >> 8, held->first & 0xFF);
        --p.held;
        holder_.erase(held);
    }

    // The synthesizer of a place in the block, sounding and with a block beginning now.
    Phase& Join(size_t index) {
        Phase& p = phases_[index];
        if (!p.synth) {
            p.synth = synths_.Add();
            FluidCalls calls(p.synth);
            for (const SynthEvent& e : state_) {
                const uint8_t bytes[3] = {e.status, e.data1, e.data2};
                SendToSynth(calls, bytes, 3);
            }
        } else if (!p.busy) {
            // Silent since it went quiet: drop the rest of its block.
            const int64_t rest = (kBlock - p.rendered % kBlock) % kBlock;
            DropFrames(p.synth, rest);
            p.rendered += rest;
        }
        p.busy = true;
        return p;
    }

    SoundFontSynths& synths_;
    std::array<Phase, kBlock> phases_{};
    std::priority_queue<Pending> pending_;
    std::map<int, size_t> holder_;  // channel << 8 | key -> index in phases_
    std::vector<SynthEvent> state_;
};

// The notes in the mix: kept ones added from their samples, the others sent
// live, and the kept samples held for their next use.
class NoteMix {
public:
    NoteMix(const SoundFontSynths& solo, SoundBytes& bytes, LivePool& live, Prerender& ahead)
        : solo_(solo, bytes), live_(live), ahead_(ahead) {}

    // Starts the notes before at + count, sets window up with what sounds in it,
    // and renders the live notes into it.
    void Prepare(MixWindow& window, int64_t at, int64_t count, const std::vector<NoteUse>& uses,
                 std::vector<DistinctNote>& notes, size_t keptBytes) {
        std::erase_if(sounding_, [&](const Sounding& s) { return s.End() <= at; });
        ahead_.Ahead(at + kAheadFrames);
        for (; next_ < uses.size() && uses[next_].frame < at + count; ++next_)
            Start(uses[next_], notes);
        kept_.Limit(notes, keptBytes);
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
            // Its first render may have been made ahead; one after a Drop is made here.
            if (note.started > 1 || !ahead_.Take(use.note, note.sound))
                note.sound = solo_.Render(note.key);
            kept_.Rendered(note);
        }
        if (note.live) {
            live_.Schedule(use.on, use.onOrder);
            if (use.endFrame >= 0) {
                const SynthEvent off{use.endFrame,
                                     static_cast<uint8_t>(0x80 | (use.on.status & 0x0F)),
                                     use.on.data1, 0};
                live_.Schedule(off, use.endOrder);
            }
            return;
        }
        sounding_.push_back({use.frame, note.sound});
        if (note.started == note.uses.size()) kept_.Drop(note);
    }

    SoloNotes solo_;
    LivePool& live_;
    Prerender& ahead_;
    std::vector<Sounding> sounding_;
    size_t next_ = 0;  // the next use to start
    KeptNotes kept_;
};

int16_t ToSample(float value) {
    const float scaled = value * 32768.0f;
    return static_cast<int16_t>(std::clamp(std::lrint(scaled), -32768L, 32767L));
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
    Prerender ahead(notes, bytes);
    NoteMix mix(synths, bytes, live, ahead);
    // Live notes need the programs too; without kept notes everything is live.
    for (size_t i = 0; i < events.size(); ++i)
        if (!kept || (events[i].status & 0xF0) == 0xC0) live.Schedule(events[i], 2 * i + 1);

    std::array<MixWindow, 2> windows;
    Helper mixer(ahead, soundFont);  // after the windows: it is gone before them
    std::vector<int16_t> out(2 * kChunk);
    MixWindow* current = &windows[0];
    MixWindow* following = &windows[1];
    if (frameCount > 0) {
        mix.Prepare(*current, 0, std::min(kChunk, frameCount), uses, notes, keptBytes);
        mixer.Publish(*current);
    }
    for (int64_t at = 0; at < frameCount; at += kChunk) {
        const int64_t count = std::min(kChunk, frameCount - at);
        const bool more = at + count < frameCount;
        if (more)
            mix.Prepare(*following, at + count, std::min(kChunk, frameCount - at - count), uses,
                        notes, keptBytes);
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
