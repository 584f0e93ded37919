#include "midi/synth_offline_plan.h"

#include <algorithm>
#include <array>
#include <map>

namespace offline {

bool CollectNotes(const std::vector<SynthEvent>& events, int64_t frameCount,
                  std::vector<NoteUse>& uses, std::vector<DistinctNote>& notes) {
    std::array<int, 16> program{};
    std::array<int, 16> pan;
    pan.fill(-1);
    std::map<int, size_t> held;  // channel << 8 | key -> index in uses
    for (size_t i = 0; i < events.size(); ++i) {
        const SynthEvent& e = events[i];
        const int type = e.status & 0xF0, channel = e.status & 0x0F;
        const uint64_t order = 2 * i + 1;
        const bool panning = type == 0xB0 && e.data1 == kPanControllerNumber;
        if (type != 0x80 && type != 0x90 && type != 0xC0 && !panning) return false;
        if (e.data1 > 127 || e.data2 > 127) continue;  // as a synthesizer refuses it
        if (type == 0xC0) {
            program[channel] = e.data1;
            continue;
        }
        if (panning) {
            pan[channel] = e.data2;
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
            uses.push_back({e.frame, program[channel], pan[channel], e, order});
        }
    }
    std::map<NoteKey, size_t> index;
    for (NoteUse& use : uses) {
        const int64_t until = use.endFrame < 0 ? frameCount : use.endFrame;
        const NoteKey key{use.on.status & 0x0F,
                          use.program,
                          use.on.data1,
                          use.on.data2,
                          use.pan,
                          (std::max<int64_t>(until - use.frame, 0) + kBlock - 1) / kBlock};
        auto [it, added] = index.try_emplace(key, notes.size());
        if (added) notes.push_back(DistinctNote{key, {}, 0, false, nullptr});
        use.note = it->second;
        notes[use.note].uses.push_back(use.frame);
    }
    return true;
}

}  // namespace offline
