// The kept notes of an offline render, without a SoundFont: which sounds go
// when the bytes run out, that every sound is counted until its end, and the
// vector loops that make a note into steps.
#include "midi/synth_offline_cache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "midi/synth_offline_add.h"

namespace {

TEST(OfflineKeptNotes, TheNotesNeededLastGoFirstAndEverySoundCountsUntilItsEnd) {
    offline::SoundBytes bytes{0};
    EXPECT_EQ(offline::Sound(bytes, 10, false).Bytes(), 40u);  // two channels of 16 bits
    EXPECT_EQ(bytes, 0);

    // Four notes of 2000 bytes each, begun once, needed again at these frames.
    std::vector<offline::DistinctNote> notes;
    offline::KeptNotes kept;
    for (const int64_t next : {50, 400, 100, 300}) {
        notes.push_back({{}, {0, next}, 1, false, nullptr});
        notes.back().sound = std::make_shared<offline::Sound>(bytes, 1000, true);
        kept.Rendered(notes.back());
    }
    const auto sounding = notes[3].sound;  // still in the mix
    EXPECT_EQ(bytes, 8000);

    const auto keptOnes = [&] {
        std::string text;
        for (const offline::DistinctNote& n : notes) text += n.sound ? "k" : "-";
        return text;
    };
    struct Step {
        size_t keptBytes;
        const char* kept;
        int64_t counted;  // the dropped note that still sounds counts on
    };
    const Step steps[] = {
        {8000, "kkkk", 8000},  // within: nothing goes
        {7000, "k-kk", 6000},  // down to 7/8 of 7000: one note, the one needed last
        {5000, "k-k-", 6000},  // the next one needed last; its sound is still sounding
        {0, "----", 2000},     // nothing kept: only the sounding one is left
    };
    for (const Step& step : steps) {
        kept.Limit(notes, step.keptBytes);
        EXPECT_EQ(keptOnes(), step.kept) << step.keptBytes;
        EXPECT_EQ(bytes, step.counted) << step.keptBytes;
    }
    EXPECT_EQ(kept.Bytes(), 0u);
    notes.clear();
    EXPECT_EQ(bytes, 2000);
    EXPECT_EQ(sounding.use_count(), 1);
}

TEST(OfflineKeptNotes, ANoteLetsGoOfItsSoundOnceItsLastUseBegan) {
    offline::SoundBytes bytes{0};
    offline::KeptNotes kept;
    offline::DistinctNote note{{}, {0, 100, 200}, 0, false, nullptr};
    note.sound = std::make_shared<offline::Sound>(bytes, 500, false);
    kept.Rendered(note);
    for (size_t use = 1; use <= note.uses.size(); ++use) {
        note.started = use;
        kept.Began(note);
        EXPECT_EQ(note.sound != nullptr, use < note.uses.size()) << use;
    }
    EXPECT_EQ(kept.Bytes(), 0u);
    EXPECT_EQ(bytes, 0);
}

// Every length around the vectors' eight lanes and their runs, with the
// sample that matters at each place: in a full vector and in the rest.
TEST(OfflineSteps, PeakScaleAndStepsSeeEveryFrame) {
    for (const int64_t count : {1, 7, 8, 9, 255, 256, 257, 300}) {
        for (int64_t at = 0; at < count; at += std::max<int64_t>(1, count / 5)) {
            std::vector<float> left(count, 0.25f), right(count, 0.125f), noisy = left;
            left[at] = -0.75f;
            right[at] = -0.375f;
            noisy[at] = std::nanf("");
            EXPECT_EQ(offline::Peak(left.data(), count), 0.75f) << count << " " << at;
            EXPECT_EQ(offline::Peak(noisy.data(), count), count == 1 ? 0.0f : 0.25f) << count;
            EXPECT_TRUE(offline::Scales(left.data(), right.data(), 0.5f, 1e-6f, count));
            right[at] = -0.37f;
            EXPECT_FALSE(offline::Scales(left.data(), right.data(), 0.5f, 1e-6f, count))
                << count << " " << at;
            EXPECT_FALSE(offline::Scales(noisy.data(), right.data(), 0.5f, 1e-6f, count));

            // Halves go to the even step, as the samples' rounding does.
            std::vector<float> x(count, 2.5f / 4096);
            x[at] = -3.5f / 4096;
            std::vector<int16_t> steps(count);
            offline::ToSteps(x.data(), 4096.0f, steps.data(), count);
            for (int64_t i = 0; i < count; ++i) ASSERT_EQ(steps[i], i == at ? -4 : 2) << count;
        }
    }
}

}  // namespace
