#include "midi/synth_offline_mix.h"

#include <algorithm>
#include <exception>

#include "midi/synth_offline_add.h"

namespace offline {
namespace {

// The room of the sounds made ahead and not yet taken.
constexpr int64_t kAheadBytes = int64_t{16} << 20;

}  // namespace

void MixWindow::MixSlice(int slice) {
    const int64_t size = (count + kSlices - 1) / kSlices;
    const int64_t from = at + slice * size, to = std::min(at + count, from + size);
    Batch stereo(&left[from - at], &right[from - at], to - from, false);
    Batch panned(&left[from - at], &right[from - at], to - from, true);
    for (const Sounding& n : notes) {
        const int64_t a = std::max(from, n.frame), b = std::min(to, n.End());
        if (a >= b) continue;
        const Sound& s = *n.sound;
        const int16_t* l = s.Left() + (a - n.frame);
        const int16_t* r = s.panned ? nullptr : s.Right() + (a - n.frame);
        if (a == from && b == to) {
            (s.panned ? panned : stereo).Put(l, r, s.leftGain, s.rightGain);
        } else {
            Batch single(&left[a - at], &right[a - at], b - a, s.panned);
            single.Put(l, r, s.leftGain, s.rightGain);
            single.Flush();
        }
    }
    stereo.Flush();
    panned.Flush();
}

void Prerender::Open(const std::string& soundFont) {
    try {
        synths_ = std::make_unique<SoundFontSynths>(soundFont);
        solo_ = std::make_unique<SoloNotes>(*synths_, bytes_);
    } catch (const std::exception&) {
        // The mix renders every note itself then.
    }
}

void Prerender::Close() {
    solo_.reset();
    synths_.reset();
}

bool Prerender::Step() {
    if (!solo_ || (held_ >= kAheadBytes && bytes_ >= keptBytes_)) return false;
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
            if (sound_[note]) held_ += static_cast<int64_t>(sound_[note]->Bytes());
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

bool Prerender::Take(size_t note, std::shared_ptr<const Sound>& sound) {
    int unclaimed = kUnclaimed;
    if (claim_[note].compare_exchange_strong(unclaimed, kMix)) return false;
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return claim_[note] == kReady || claim_[note] == kFailed; });
    if (claim_[note] == kFailed) return false;
    sound = std::move(sound_[note]);
    if (sound) held_ -= static_cast<int64_t>(sound->Bytes());
    return true;
}

Helper::Helper(Prerender& ahead, const std::string& soundFont) : ahead_(ahead) {
    if (std::thread::hardware_concurrency() > 1)
        thread_ = std::thread([this, soundFont] {
            ahead_.Open(soundFont);
            Run();
            ahead_.Close();
        });
}

Helper::~Helper() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    published_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void Helper::Publish(MixWindow& window) {
    window.done = 0;
    window.next = 0;
    {
        std::lock_guard lock(mutex_);
        window_ = &window;
        ++generation_;
    }
    published_.notify_all();
}

void Helper::Finish(MixWindow& window) {
    Work(window);
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return window.done == MixWindow::kSlices; });
}

void Helper::Work(MixWindow& window) {
    for (int slice; (slice = window.next++) < MixWindow::kSlices;) {
        window.MixSlice(slice);
        if (++window.done == MixWindow::kSlices) {
            std::lock_guard lock(mutex_);
            finished_.notify_all();
        }
    }
}

void Helper::Run() {
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

}  // namespace offline
