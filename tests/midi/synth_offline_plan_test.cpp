// The plan of an offline render, without a SoundFont: which uses share one
// render, and the order in which the helper renders them ahead.
#include "midi/synth_offline_plan.h"

#include <gtest/gtest.h>

#include <string>

namespace {

SynthEvent On(int64_t frame, int channel, int key, int velocity = 100) {
    return {frame, static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(key),
            static_cast<uint8_t>(velocity)};
}
SynthEvent Off(int64_t frame, int channel, int key) {
    return {frame, static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(key), 0};
}
SynthEvent Program(int64_t frame, int channel, int program) {
    return {frame, static_cast<uint8_t>(0xC0 | channel), static_cast<uint8_t>(program), 0};
}

// "channel/program/key/velocity xblocks @starts" for each distinct note, with
// " pPAN" after the velocity where a pan was sent.
std::string Plan(const std::vector<SynthEvent>& events, int64_t frameCount) {
    std::vector<offline::NoteUse> uses;
    std::vector<offline::DistinctNote> notes;
    if (!offline::CollectNotes(events, frameCount, uses, notes)) return "live";
    std::string text;
    for (const offline::DistinctNote& n : notes) {
        const offline::NoteKey& k = n.key;
        text += std::to_string(k.channel) + "/" + std::to_string(k.program) + "/" +
                std::to_string(k.key) + "/" + std::to_string(k.velocity) +
                (k.pan >= 0 ? " p" + std::to_string(k.pan) : "") + " x" + std::to_string(k.blocks) +
                " @";
        for (const int64_t frame : n.uses) text += std::to_string(frame) + ",";
        text += " ";
    }
    return text;
}

TEST(OfflinePlan, UsesOfTheSameNoteShareOneRenderInTheOrderOfTheirFirstUse) {
    struct Case {
        const char* name;
        std::vector<SynthEvent> events;
        const char* plan;
    };
    const std::vector<Case> cases = {
        {"held whole blocks alike: one note, whatever the start; a frame more is a block more",
         {On(0, 0, 60), Off(640, 0, 60), On(1001, 0, 60), Off(1641, 0, 60), On(2000, 0, 60),
          Off(2641, 0, 60)},
         "0/0/60/100 x10 @0,1001, 0/0/60/100 x11 @2000, "},
        {"struck again ends the first; velocity 0 ends a note; the rest held to the end",
         {On(0, 1, 64), On(100, 1, 64, 90), On(228, 1, 64, 0), On(300, 1, 65), On(500, 1, 66),
          Off(500, 1, 66)},
         "1/0/64/100 x2 @0, 1/0/64/90 x2 @100, 1/0/65/100 x11 @300, 1/0/66/100 x0 @500, "},
        {"the program at the start counts, per channel",
         {Program(0, 0, 5), On(0, 0, 72), Off(64, 0, 72), Program(100, 0, 6), On(100, 0, 72),
          Off(164, 0, 72), On(100, 2, 60), Off(164, 2, 60)},
         "0/5/72/100 x1 @0, 0/6/72/100 x1 @100, 2/0/60/100 x1 @100, "},
        {"what a synthesizer refuses is left out",
         {Program(0, 0, 200), On(0, 0, 200), On(10, 0, 60, 128), Off(20, 0, 61), On(30, 0, 62),
          Off(94, 0, 62)},
         "0/0/62/100 x1 @30, "},
        {"a controller cannot be made of single notes", {On(0, 0, 60), {10, 0xB0, 7, 100}}, "live"},
        {"but a pan can: the channel's at the start counts",
         {{0, 0xB0, 10, 0},
          On(0, 0, 60),
          Off(64, 0, 60),
          {100, 0xB0, 10, 127},
          On(100, 0, 60),
          Off(164, 0, 60),
          On(200, 0, 60),
          Off(264, 0, 60),
          On(300, 1, 60),
          Off(364, 1, 60)},
         "0/0/60/100 p0 x1 @0, 0/0/60/100 p127 x1 @100,200, 1/0/60/100 x1 @300, "},
    };
    for (const Case& c : cases) EXPECT_EQ(Plan(c.events, 1000), c.plan) << c.name;
}

}  // namespace
