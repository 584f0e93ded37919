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
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <queue>
#include <thread>

#include "common/messages.h"
#include "midi/fluid.h"
#include "midi/synth.h"

namespace {

constexpr int kBlock = 64;         // FluidSynth's block, in frames
constexpr int kSoloVoices = 64;    // a note alone needs few voices
constexpr int64_t kChunk = 65536;  // the mix is made and handed on in windows of this (1.5 s)
// A note kept for reuse is held and dies away within this (30 s); a longer one is played live.
constexpr int64_t kMaxSoloFrames = 30 * int64_t{kSynthSampleRate};
// How far ahead of the mix notes are rendered, at most (6 s).
constexpr int64_t kAheadFrames = 4 * kChunk;

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
    explicit SoundFontSynths(const std::string& soundFont)
        : settings_(NewSynthSettings()), soloSettings_(NewSynthSettings()) {
        // Fewer voices make a synthesizer quick to set up.
        fluid_settings_setint(soloSettings_.get(), "synth.polyphony", kSoloVoices);
        owner_.reset(new_fluid_synth(settings_.get()));
        if (!owner_) throw ESynthError(msg::SynthSetupFailed);
        const int id = fluid_is_soundfont(soundFont.c_str())
                           ? fluid_synth_sfload(owner_.get(), soundFont.c_str(), 1)
                           : FLUID_FAILED;
        if (id == FLUID_FAILED) throw ESynthError(SoundFontLoadFailure(soundFont));
        sfont_ = fluid_synth_get_sfont_by_id(owner_.get(), id);
    }

    // Another synthesizer on the SoundFont, for as long as this one lives.
    fluid_synth_t* Add() {
        others_.push_back(Make(settings_));
        return others_.back().get();
    }
    // A fresh one for a note alone: FluidSynth's voices remember their last
    // note's loudness and start the next one from it.
    SharedSynth Solo() const { return Make(soloSettings_); }

private:
    SharedSynth Make(const FluidSettings& settings) const {
        SharedSynth synth(new_fluid_synth(settings.get()), LetGo{sfont_});
        if (!synth || fluid_synth_add_sfont(synth.get(), sfont_) == FLUID_FAILED)
            throw ESynthError(msg::SynthSetupFailed);
        return synth;
    }

    // Declared first: every synthesizer needs them until it is gone.
    FluidSettings settings_, soloSettings_;
    FluidSynth owner_;  // owns the SoundFont
    fluid_sfont_t* sfont_ = nullptr;
    std::vector<SharedSynth> others_;  // last: gone before the owner
};

// Adds count frames of the synthesizer to left/right.
void AddFrames(fluid_synth_t* synth, int64_t count, float* left, float* right) {
    for (int64_t done = 0; done < count;) {
        const int n = static_cast<int>(std::min(count - done, kChunk));
        float* out[2] = {left + done, right + done};
        fluid_synth_process(synth, n, 0, nullptr, 2, out);
        done += n;
    }
}

// Lets count frames of a silent synthesizer pass.
void DropFrames(fluid_synth_t* synth, int64_t count) {
    static thread_local std::array<float, size_t{2} * kBlock> scratch;
    for (; count > 0; count -= kBlock)
        AddFrames(synth, std::min<int64_t>(count, kBlock), scratch.data(), scratch.data() + kBlock);
}

struct NoteKey {
    int channel, program, key, velocity;
    int64_t blocks;  // held
    auto operator<=>(const NoteKey&) const = default;
};

// A note's samples from its first frame on: the left channel, then the
// right. Where the right channel is the left one scaled (a mono sample,
// panned), only the left one is kept, with the scale.
struct Sound {
    std::vector<float> samples;
    bool panned = false;
    float rightGain = 0.0f;
    int64_t Frames() const {
        return static_cast<int64_t>(panned ? samples.size() : samples.size() / 2);
    }
    const float* Left() const { return samples.data(); }
    const float* Right() const { return samples.data() + Frames(); }
    size_t Bytes() const { return samples.size() * sizeof(float); }
};

// Far below a 16-bit step (2^-15): a right channel this close to the scaled
// left one is kept as the scale.
constexpr float kMonoError = 1.0f / (1 << 22);

// Renders notes one at a time, each on a synthesizer of its own.
class SoloNotes {
public:
    explicit SoloNotes(const SoundFontSynths& synths) : synths_(synths) {}

    // Null when the note must be played live.
    std::shared_ptr<const Sound> Render(const NoteKey& note) {
        if (note.blocks * kBlock > kMaxSoloFrames) return nullptr;
        const SharedSynth owned = synths_.Solo();
        fluid_synth_t* synth = owned.get();
        fluid_synth_program_change(synth, note.channel, note.program);
        fluid_synth_noteon(synth, note.channel, note.key, note.velocity);
        if (ActsOnOthers(synth)) return nullptr;
        int64_t frames = Append(synth, 0, note.blocks * kBlock);
        fluid_synth_noteoff(synth, note.channel, note.key);
        while (fluid_synth_get_active_voice_count(synth) > 0) {
            if (frames >= kMaxSoloFrames) return nullptr;
            frames = Append(synth, frames, int64_t{16} * kBlock);
        }
        return Keep(frames);
    }

private:
    // An exclusive class stops other notes; a note of more voices than a solo
    // synthesizer has would lose some.
    static bool ActsOnOthers(fluid_synth_t* synth) {
        std::array<fluid_voice_t*, kSoloVoices> voices{};
        fluid_synth_get_voicelist(synth, voices.data(), kSoloVoices, -1);
        return fluid_synth_get_active_voice_count(synth) >= kSoloVoices ||
               std::any_of(voices.begin(), voices.end(), [](fluid_voice_t* voice) {
                   return voice && fluid_voice_gen_get(voice, GEN_EXCLUSIVECLASS) != 0;
               });
    }
    int64_t Append(fluid_synth_t* synth, int64_t at, int64_t count) {
        const auto end = static_cast<size_t>(at + count);
        if (left_.size() < end) {
            left_.resize(end);
            right_.resize(end);
        }
        std::fill_n(left_.data() + at, count, 0.0f);
        std::fill_n(right_.data() + at, count, 0.0f);
        AddFrames(synth, count, left_.data() + at, right_.data() + at);
        return at + count;
    }
    std::shared_ptr<const Sound> Keep(int64_t frames) const {
        const float *left = left_.data(), *right = right_.data();
        while (frames > 0 && left[frames - 1] == 0.0f && right[frames - 1] == 0.0f) --frames;
        const float* loudest = std::max_element(
            left, left + frames, [](float a, float b) { return std::fabs(a) < std::fabs(b); });
        const float gain = frames > 0 && *loudest != 0.0f ? right[loudest - left] / *loudest : 0.0f;
        bool panned = true;
        for (int64_t i = 0; i < frames && panned; ++i)
            panned = std::fabs(right[i] - gain * left[i]) <= kMonoError;
        auto sound = std::make_shared<Sound>();
        sound->samples.assign(left, left + frames);
        if (panned) {
            sound->panned = true;
            sound->rightGain = gain;
        } else {
            sound->samples.insert(sound->samples.end(), right, right + frames);
        }
        return sound;
    }

    const SoundFontSynths& synths_;
    std::vector<float> left_, right_;  // the note being rendered
};

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

// A note of the melody: where it starts, which sound, and how it is sent
// live when its sound cannot be kept.
struct NoteUse {
    int64_t frame;
    int program;
    SynthEvent on;
    uint64_t onOrder;
    int64_t endFrame = -1;  // none: held to the end
    uint64_t endOrder = 0;
    size_t note = 0;  // index into the distinct notes
};

struct DistinctNote {
    NoteKey key;
    std::vector<int64_t> uses;  // start frames, in order
    size_t started = 0;
    bool live = false;
    std::shared_ptr<const Sound> sound;
};

// Splits the messages into notes; false when some message is neither a note
// nor a program, as renders of single notes cannot reproduce it.
bool CollectNotes(const std::vector<SynthEvent>& events, int64_t frameCount,
                  std::vector<NoteUse>& uses, std::vector<DistinctNote>& notes) {
    std::array<int, 16> program{};
    std::map<int, size_t> held;  // channel << 8 | key -> index in uses
    for (size_t i = 0; i < events.size(); ++i) {
        const SynthEvent& e = events[i];
        const int type = e.status & 0xF0, channel = e.status & 0x0F;
        const uint64_t order = 2 * i + 1;
        if (type != 0x80 && type != 0x90 && type != 0xC0) return false;
        if (e.data1 > 127 || e.data2 > 127) continue;  // as a synthesizer refuses it
        if (type == 0xC0) {
            program[channel] = e.data1;
            continue;
        }
        const int key = channel << 8 | e.data1;
        if (auto h = held.find(key); h != held.end()) {
            // Ended, or struck again: FluidSynth then releases the sounding one first.
            uses[h->second].endFrame = e.frame;
            uses[h->second].endOrder = order - 1;
            held.erase(h);
        }
        if (type == 0x90 && e.data2 > 0) {
            held[key] = uses.size();
            uses.push_back({e.frame, program[channel], e, order});
        }
    }
    std::map<NoteKey, size_t> index;
    for (NoteUse& use : uses) {
        const int64_t until = use.endFrame < 0 ? frameCount : use.endFrame;
        const NoteKey key{use.on.status & 0x0F, use.program, use.on.data1, use.on.data2,
                          (std::max<int64_t>(until - use.frame, 0) + kBlock - 1) / kBlock};
        auto [it, added] = index.try_emplace(key, notes.size());
        if (added) notes.push_back(DistinctNote{key, {}, 0, false, nullptr});
        use.note = it->second;
        notes[use.note].uses.push_back(use.frame);
    }
    return true;
}

// The adds of the mix, on four frames at a time (the compiler's vectors);
// four sounds at once, so that the window is read and written a quarter as
// often.
using Floats = float __attribute__((vector_size(16)));
constexpr int64_t kLanes = 4;
Floats Load(const float* p) {
    Floats v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
void Store(float* p, Floats v) { std::memcpy(p, &v, sizeof v); }

void Add1(float* __restrict to, const float* __restrict a, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) Store(to + i, Load(to + i) + Load(a + i));
    for (; i < count; ++i) to[i] += a[i];
}

void Add4(float* __restrict to, const float* __restrict a, const float* __restrict b,
          const float* __restrict c, const float* __restrict d, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes)
        Store(to + i, Load(to + i) + ((Load(a + i) + Load(b + i)) + (Load(c + i) + Load(d + i))));
    for (; i < count; ++i) to[i] += (a[i] + b[i]) + (c[i] + d[i]);
}

// A panned sound adds to the right channel its left one, scaled.
void AddPanned1(float* __restrict left, float* __restrict right, const float* __restrict a,
                float gain, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        const Floats x = Load(a + i);
        Store(left + i, Load(left + i) + x);
        Store(right + i, Load(right + i) + gain * x);
    }
    for (; i < count; ++i) {
        left[i] += a[i];
        right[i] += gain * a[i];
    }
}

void AddPanned4(float* __restrict left, float* __restrict right, const float* __restrict a,
                const float* __restrict b, const float* __restrict c, const float* __restrict d,
                const std::array<float, 4>& g, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        const Floats xa = Load(a + i), xb = Load(b + i), xc = Load(c + i), xd = Load(d + i);
        Store(left + i, Load(left + i) + ((xa + xb) + (xc + xd)));
        Store(right + i, Load(right + i) + ((g[0] * xa + g[1] * xb) + (g[2] * xc + g[3] * xd)));
    }
    for (; i < count; ++i) {
        left[i] += (a[i] + b[i]) + (c[i] + d[i]);
        right[i] += (g[0] * a[i] + g[1] * b[i]) + (g[2] * c[i] + g[3] * d[i]);
    }
}

// Sounds that cover the same frames, added four at a time.
class Batch {
public:
    Batch(float* left, float* right, int64_t count, bool panned)
        : left_(left), right_(right), count_(count), panned_(panned) {}

    // right is null for a panned sound.
    void Put(const float* left, const float* right, float gain) {
        fromLeft_[size_] = left;
        fromRight_[size_] = right;
        gain_[size_++] = gain;
        if (size_ == kSize) Flush();
    }
    void Flush() {
        const auto& l = fromLeft_;
        const auto& r = fromRight_;
        if (size_ == kSize && panned_) {
            AddPanned4(left_, right_, l[0], l[1], l[2], l[3], gain_, count_);
        } else if (size_ == kSize) {
            Add4(left_, l[0], l[1], l[2], l[3], count_);
            Add4(right_, r[0], r[1], r[2], r[3], count_);
        } else {
            for (int j = 0; j < size_; ++j) {
                if (panned_) {
                    AddPanned1(left_, right_, l[j], gain_[j], count_);
                } else {
                    Add1(left_, l[j], count_);
                    Add1(right_, r[j], count_);
                }
            }
        }
        size_ = 0;
    }

private:
    static constexpr int kSize = 4;
    float *left_, *right_;
    int64_t count_;
    bool panned_;
    std::array<const float*, kSize> fromLeft_{}, fromRight_{};
    std::array<float, kSize> gain_{};
    int size_ = 0;
};

struct Sounding {
    int64_t frame;
    std::shared_ptr<const Sound> sound;
    int64_t End() const { return frame + sound->Frames(); }
};

// One stretch of the output: the notes sounding in it, and its samples as
// they are added up, slice by slice.
struct MixWindow {
    static constexpr int kSlices = 8;
    int64_t at = 0, count = 0;
    std::vector<float> left = std::vector<float>(kChunk), right = std::vector<float>(kChunk);
    std::vector<Sounding> notes;
    std::atomic<int> next{kSlices}, done{kSlices};

    void MixSlice(int slice) {
        const int64_t size = (count + kSlices - 1) / kSlices;
        const int64_t from = at + slice * size, to = std::min(at + count, from + size);
        Batch stereo(&left[from - at], &right[from - at], to - from, false);
        Batch panned(&left[from - at], &right[from - at], to - from, true);
        for (const Sounding& n : notes) {
            const int64_t a = std::max(from, n.frame), b = std::min(to, n.End());
            if (a >= b) continue;
            const Sound& s = *n.sound;
            const float* l = s.Left() + (a - n.frame);
            const float* r = s.panned ? nullptr : s.Right() + (a - n.frame);
            if (a == from && b == to) {
                (s.panned ? panned : stereo).Put(l, r, s.rightGain);
            } else {
                Batch single(&left[a - at], &right[a - at], b - a, s.panned);
                single.Put(l, r, s.rightGain);
                single.Flush();
            }
        }
        stereo.Flush();
        panned.Flush();
    }
};

// Renders notes ahead of the mix, on a synthesizer and SoundFont of its own
// (FluidSynth's synthesizers that share a SoundFont may not play on two
// threads), in the order the melody first needs them.
class Prerender {
public:
    explicit Prerender(const std::vector<DistinctNote>& notes)
        : notes_(notes), claim_(notes.size()), sound_(notes.size()) {}

    // On the helper thread, before the first Step.
    void Open(const std::string& soundFont) {
        try {
            synths_ = std::make_unique<SoundFontSynths>(soundFont);
            solo_ = std::make_unique<SoloNotes>(*synths_);
        } catch (const std::exception&) {
            // The mix renders every note itself then.
        }
    }
    void Close() {
        solo_.reset();
        synths_.reset();
    }

    // Renders a note the mix will need before the horizon; false when there is none.
    // It works down from the last such note, as the mix works up from its next one.
    bool Step() {
        if (!solo_) return false;
        const size_t top = top_;
        while (top_ < notes_.size() && notes_[top_].uses.front() < horizon_) ++top_;
        if (top_ > top) runs_.emplace_back(top, top_);  // the notes now due, done first
        while (!runs_.empty()) {
            auto& [low, high] = runs_.back();
            if (low == high) {
                runs_.pop_back();
                continue;
            }
            const size_t note = --high;
            int unclaimed = kUnclaimed;
            if (!claim_[note].compare_exchange_strong(unclaimed, kAhead)) {
                // The mix got here: it has taken every note below.
                runs_.clear();
                return false;
            }
            int done = kReady;
            try {
                sound_[note] = solo_->Render(notes_[note].key);
            } catch (const std::exception&) {
                done = kFailed;  // the mix tries itself, and says why
                solo_.reset();
            }
            {
                std::lock_guard lock(mutex_);
                claim_[note] = done;
            }
            ready_.notify_all();
            return done == kReady;
        }
        return false;
    }

    void Ahead(int64_t horizon) { horizon_ = horizon; }

    // The note's first render, if it was made ahead: true with sound set
    // (null: the note is played live); false when the caller renders it.
    bool Take(size_t note, std::shared_ptr<const Sound>& sound) {
        int unclaimed = kUnclaimed;
        if (claim_[note].compare_exchange_strong(unclaimed, kMix)) return false;
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return claim_[note] == kReady || claim_[note] == kFailed; });
        if (claim_[note] == kFailed) return false;
        sound = std::move(sound_[note]);
        return true;
    }

private:
    enum { kUnclaimed, kAhead, kReady, kFailed, kMix };
    const std::vector<DistinctNote>& notes_;
    std::vector<std::atomic<int>> claim_;
    std::vector<std::shared_ptr<const Sound>> sound_;
    std::atomic<int64_t> horizon_{0};
    // The helper's: the notes below top_ are due; runs_ are those not yet
    // rendered, [low, high) each, the newest last.
    size_t top_ = 0;
    std::vector<std::pair<size_t, size_t>> runs_;
    std::unique_ptr<SoundFontSynths> synths_;
    std::unique_ptr<SoloNotes> solo_;
    std::mutex mutex_;
    std::condition_variable ready_;
};

// Where there is a second core, a helper adds up the windows' notes with the
// calling thread (the samples are memory to be read, many times over) and,
// while no window waits, renders notes ahead. Each frame adds its notes in
// the window's order, whoever adds them.
class Helper {
public:
    Helper(Prerender& ahead, const std::string& soundFont) : ahead_(ahead) {
        if (std::thread::hardware_concurrency() > 1)
            thread_ = std::thread([this, soundFont] {
                ahead_.Open(soundFont);
                Run();
                ahead_.Close();
            });
    }
    ~Helper() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        published_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    // The window is complete but for its notes: the helper may start on them.
    void Publish(MixWindow& window) {
        window.done = 0;
        window.next = 0;
        {
            std::lock_guard lock(mutex_);
            window_ = &window;
            ++generation_;
        }
        published_.notify_all();
    }

    // Mixes the slices nobody has taken yet, then waits for the others.
    void Finish(MixWindow& window) {
        Work(window);
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [&] { return window.done == MixWindow::kSlices; });
    }

private:
    void Work(MixWindow& window) {
        for (int slice; (slice = window.next++) < MixWindow::kSlices;) {
            window.MixSlice(slice);
            if (++window.done == MixWindow::kSlices) {
                std::lock_guard lock(mutex_);
                finished_.notify_all();
            }
        }
    }
    void Run() {
        for (uint64_t seen = 0;;) {
            MixWindow* window = nullptr;
            {
                std::unique_lock lock(mutex_);
                published_.wait(lock, [&] { return stop_ || generation_ != seen; });
                if (stop_) return;
                seen = generation_;
                window = window_;
            }
            Work(*window);
            while (generation_ == seen && !stop_ && ahead_.Step()) {
            }
        }
    }

    Prerender& ahead_;
    std::mutex mutex_;
    std::condition_variable published_, finished_;
    MixWindow* window_ = nullptr;
    std::atomic<uint64_t> generation_ = 0;
    std::atomic<bool> stop_ = false;
    std::thread thread_;  // last: it uses the members above
};

// The notes in the mix: kept ones added from their samples, the others sent
// live, and the kept samples held for their next use.
class NoteMix {
public:
    NoteMix(const SoundFontSynths& solo, LivePool& live, Prerender& ahead)
        : solo_(solo), live_(live), ahead_(ahead) {}

    // Starts the notes before at + count, sets window up with what sounds in it,
    // and renders the live notes into it.
    void Prepare(MixWindow& window, int64_t at, int64_t count, const std::vector<NoteUse>& uses,
                 std::vector<DistinctNote>& notes, size_t keptBytes) {
        std::erase_if(sounding_, [&](const Sounding& s) { return s.End() <= at; });
        ahead_.Ahead(at + kAheadFrames);
        for (; next_ < uses.size() && uses[next_].frame < at + count; ++next_)
            Start(uses[next_], notes);
        Limit(notes, keptBytes);
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
            note.live = !note.sound;
            if (note.sound) kept_ += note.sound->Bytes();
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
        if (note.started == note.uses.size()) Drop(note);
    }

    // Keeps within keptBytes by letting go of the notes needed again last.
    void Limit(std::vector<DistinctNote>& notes, size_t keptBytes) {
        while (kept_ > keptBytes) {
            DistinctNote* last = nullptr;
            for (DistinctNote& n : notes)
                if (n.sound && (!last || n.uses[n.started] > last->uses[last->started])) last = &n;
            if (!last) return;
            Drop(*last);
        }
    }

    void Drop(DistinctNote& note) {
        kept_ -= note.sound->Bytes();
        note.sound.reset();
    }

    SoloNotes solo_;
    LivePool& live_;
    Prerender& ahead_;
    std::vector<Sounding> sounding_;
    size_t next_ = 0;  // the next use to start
    size_t kept_ = 0;
};

int16_t ToSample(float value) {
    const float scaled = value * 32768.0f;
    return static_cast<int16_t>(std::clamp(std::lrint(scaled), -32768L, 32767L));
}

}  // namespace

bool RenderOffline(const std::string& soundFont, const std::vector<SynthEvent>& events,
                   int64_t frameCount,
                   const std::function<bool(const int16_t* samples, size_t frames)>& sink,
                   float gain, size_t keptBytes) {
    SilenceSoundLibraries();
    SoundFontSynths synths(soundFont);  // first: FluidSynth sets itself up on the first one
    LivePool live(synths);
    std::vector<NoteUse> uses;
    std::vector<DistinctNote> notes;
    const bool kept = CollectNotes(events, frameCount, uses, notes);
    if (!kept) uses.clear();
    Prerender ahead(notes);
    NoteMix mix(synths, live, ahead);
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
