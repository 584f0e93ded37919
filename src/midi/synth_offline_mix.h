#pragma once
// The offline mix on two threads: the output in windows whose kept notes the
// calling thread and a helper add up together, and the notes the helper
// renders ahead of the mix. Private to the midi library.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "midi/synth_offline_cache.h"
#include "midi/synth_offline_plan.h"

namespace offline {

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

    void MixSlice(int slice);
};

// Renders notes ahead of the mix, on a synthesizer and SoundFont of its own
// (FluidSynth's synthesizers that share a SoundFont may not play on two
// threads), in the order the melody first needs them. It goes on while all
// sounds together stay below keptBytes, or its own not yet taken below a
// room of their own: so it shares the work of a start full of new notes
// without raising the bound.
class Prerender {
public:
    Prerender(const std::vector<DistinctNote>& notes, SoundBytes& bytes, size_t keptBytes)
        : notes_(notes),
          bytes_(bytes),
          keptBytes_(static_cast<int64_t>(keptBytes)),
          claim_(notes.size()),
          sound_(notes.size()) {}

    // On the helper thread, before the first Step.
    void Open(const std::string& soundFont);
    void Close();

    // Renders a note the mix will need before the horizon; false when there is
    // none, or when there is no room. It works down from
    // the last such note, as the mix works up from its next one.
    bool Step();

    void Ahead(int64_t horizon) { horizon_ = horizon; }

    // The bytes of the sounds made ahead and not yet taken.
    int64_t HeldBytes() const { return held_; }

    // The note's first render, if it was made ahead: true with sound set
    // (null: the note is played live); false when the caller renders it.
    bool Take(size_t note, std::shared_ptr<const Sound>& sound);

private:
    enum { kUnclaimed, kAhead, kReady, kFailed, kMix };
    const std::vector<DistinctNote>& notes_;
    SoundBytes& bytes_;
    int64_t keptBytes_;
    std::vector<std::atomic<int>> claim_;
    std::vector<std::shared_ptr<const Sound>> sound_;
    std::atomic<int64_t> horizon_{0}, held_{0};
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
    Helper(Prerender& ahead, const std::string& soundFont);
    ~Helper();
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    // The window is complete but for its notes: the helper may start on them.
    void Publish(MixWindow& window);

    // Mixes the slices nobody has taken yet, then waits for the others.
    void Finish(MixWindow& window);

private:
    void Work(MixWindow& window);
    void Run();

    Prerender& ahead_;
    std::mutex mutex_;
    std::condition_variable published_, finished_;
    MixWindow* window_ = nullptr;
    std::atomic<uint64_t> generation_ = 0;
    std::atomic<bool> stop_ = false;
    std::thread thread_;  // last: it uses the members above
};

}  // namespace offline
