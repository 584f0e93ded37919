// The offline render: notes rendered once and added where they are used
// must sound as the same notes played live through FluidSynth.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "midi/synth.h"

namespace {

const char* const kSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

std::vector<int16_t> Render(const std::vector<SynthEvent>& events, int64_t frames,
                            size_t keptBytes = kDefaultKeptBytes) {
    std::vector<int16_t> samples;
    EXPECT_TRUE(RenderOffline(
        kSoundFont, events, frames,
        [&](const int16_t* s, size_t n) {
            samples.insert(samples.end(), s, s + 2 * n);
            return true;
        },
        1.0f, keptBytes));
    return samples;
}

SynthEvent On(int64_t frame, int channel, int key, int velocity = 100) {
    return {frame, static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(key),
            static_cast<uint8_t>(velocity)};
}
SynthEvent Off(int64_t frame, int channel, int key) {
    return {frame, static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(key), 0};
}
SynthEvent Program(int channel, int program) {
    return {0, static_cast<uint8_t>(0xC0 | channel), static_cast<uint8_t>(program), 0};
}

TEST(RenderOffline, KeptNotesSoundAsTheSameNotesPlayedLive) {
    if (access(kSoundFont, R_OK) != 0) GTEST_SKIP() << kSoundFont << " missing";
    struct Case {
        const char* name;
        std::vector<SynthEvent> events;
    };
    const std::vector<Case> cases = {
        {"a repeated melody off the block grid, two programs",
         {Program(0, 0), Program(1, 40), On(0, 0, 60), On(1001, 1, 67), Off(5513, 0, 60),
          On(5513, 0, 64), Off(7000, 1, 67), Off(11025, 0, 64), On(11070, 0, 60), Off(16583, 0, 60),
          On(16600, 1, 67), Off(22000, 1, 67)}},
        {"a key struck again while it sounds, a note of no length, one held to the end",
         {Program(2, 73), On(100, 2, 72), On(3000, 2, 72), Off(6000, 2, 72), On(6001, 2, 50),
          Off(6001, 2, 50), On(9999, 2, 55)}},
        {"hi-hats of one exclusive class cut each other on the drum channel",
         {On(0, 9, 46), On(4410, 9, 42), Off(4500, 9, 42), On(8820, 9, 46), Off(8900, 9, 46),
          On(8821, 0, 48), Off(20000, 0, 48)}},
        {"a program change between two uses of the same key",
         {Program(3, 0),
          On(0, 3, 60),
          Off(4000, 3, 60),
          {6000, 0xC3, 19, 0},
          On(6000, 3, 60),
          Off(10000, 3, 60)}},
    };
    constexpr int64_t kFrames = 44100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Volume 100 is FluidSynth's default, and a controller makes the whole melody live.
        std::vector<SynthEvent> live = c.events;
        live.insert(live.begin(), {0, 0xB0, 7, 100});
        const std::vector<int16_t> kept = Render(c.events, kFrames), played = Render(live, kFrames);
        ASSERT_EQ(kept.size(), played.size());
        int peak = 0, worst = 0;
        for (size_t i = 0; i < kept.size(); ++i) {
            peak = std::max(peak, std::abs(int{played[i]}));
            worst = std::max(worst, std::abs(kept[i] - played[i]));
        }
        EXPECT_GT(peak, 1000);
        EXPECT_LE(worst, 1) << "peak " << peak;  // rounding only
    }
}

// Notes starting at different places in FluidSynth's block sound on
// different synthesizers; a closed hi-hat must still stop the open one, held
// or let go, as it does when both start at the same place. The mix adds the
// synthesizers, so taking away the closed hi-hat alone leaves the open one,
// stopped at the same block either way.
TEST(RenderOffline, AClosedHiHatStopsTheOpenOneWhereverInTheBlockItStarts) {
    if (access(kSoundFont, R_OK) != 0) GTEST_SKIP() << kSoundFont << " missing";
    constexpr int64_t kFrames = 44100, kSamePlace = 4416, kOtherPlace = 4410;
    const auto openLeft = [](int64_t closedAt, int64_t openOff) {
        std::vector<SynthEvent> both = {On(0, 9, 46), Off(openOff, 9, 46)};
        const std::vector<SynthEvent> closed = {On(closedAt, 9, 42), Off(closedAt + 90, 9, 42)};
        both.insert(both.end(), closed.begin(), closed.end());
        std::sort(both.begin(), both.end(),
                  [](const SynthEvent& a, const SynthEvent& b) { return a.frame < b.frame; });
        std::vector<int16_t> open = Render(both, kFrames);
        const std::vector<int16_t> alone = Render(closed, kFrames);
        for (size_t i = 0; i < open.size(); ++i) open[i] = static_cast<int16_t>(open[i] - alone[i]);
        return open;
    };
    for (const int64_t openOff : {int64_t{30000}, int64_t{2000}}) {
        SCOPED_TRACE(openOff);
        const std::vector<int16_t> same = openLeft(kSamePlace, openOff),
                                   other = openLeft(kOtherPlace, openOff),
                                   ringing = Render({On(0, 9, 46), Off(openOff, 9, 46)}, kFrames);
        int worst = 0;
        double stopped = 0, rung = 0;
        // From twice the stop's frame on, in samples of both channels.
        const auto later = static_cast<size_t>(kSamePlace) * 4;
        for (size_t i = 0; i < same.size(); ++i) {
            worst = std::max(worst, std::abs(same[i] - other[i]));
            if (i >= later) {
                stopped += std::abs(same[i]);
                rung += std::abs(ringing[i]);
            }
        }
        EXPECT_LE(worst, 2);  // the rounding of two renders
        EXPECT_LT(stopped, rung / 4) << "the open hi-hat was not stopped at all";
    }
}

TEST(RenderOffline, NotesLetGoAndRenderedAgainSoundAsTheKeptOnes) {
    if (access(kSoundFont, R_OK) != 0) GTEST_SKIP() << kSoundFont << " missing";
    // Four seconds, so the mix's windows (1.5 s) take turns: keeping no
    // bytes lets every note go after each window and renders it again.
    constexpr int64_t kSecond = 44100;
    std::vector<SynthEvent> events = {Program(0, 0), Program(1, 40)};
    for (int64_t at = 0; at < 4 * kSecond; at += kSecond / 4) {
        const int key = 60 + static_cast<int>(at / (kSecond / 4) % 3) * 4;
        events.insert(events.end(), {On(at, 0, key), On(at + 300, 1, 79), Off(at + 5000, 0, key),
                                     Off(at + 8000, 1, 79)});
    }
    const std::vector<int16_t> kept = Render(events, 5 * kSecond),
                               again = Render(events, 5 * kSecond, 0);
    ASSERT_EQ(kept.size(), again.size());
    const auto differ = std::mismatch(kept.begin(), kept.end(), again.begin());
    EXPECT_TRUE(differ.first == kept.end()) << "at sample " << differ.first - kept.begin();
    EXPECT_GT(*std::max_element(kept.begin(), kept.end()), 1000);
}

}  // namespace
