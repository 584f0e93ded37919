#include "playback/timeline.h"

#include <gtest/gtest.h>

#include "common/messages.h"
#include "playback/startup.h"
#include "support/expect_error.h"
#include "support/list_host.h"

TEST(BuildTimeline, ElementsFollowEachOtherWithTheirLengthExponents) {
    ListHost host;
    host.notes = "1, 2, 3, 4";
    host.NoteMap.Assign({"40", "0", "-5", "120"});  // a note, two rests, a key past MIDI's notes
    host.TempoMap.Assign({"2", "-1", "3", "0"});
    host.Tempo = 120;
    const MelodyTimeline timeline = BuildTimeline(host);
    const struct {
        int64_t start;
        int32_t duration, key, length;
        bool sounds;
    } expected[] = {{0, 4000, 0, -1, false},
                    {4000, 250, -5, 3, false},
                    {4250, 2000, 120, 0, false},
                    {6250, 500, 40, 2, true}};
    ASSERT_EQ(timeline.Events().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const NoteEvent& e = timeline.Events()[i];
        EXPECT_EQ(e.StartMs, expected[i].start) << i;
        EXPECT_EQ(e.DurationMs, expected[i].duration) << i;
        EXPECT_EQ(e.Key, expected[i].key) << i;
        EXPECT_EQ(e.LengthExponent, expected[i].length) << i;
        EXPECT_EQ(e.Sounds(), expected[i].sounds) << i;
    }
    EXPECT_EQ(timeline.EndMs(), 6750);
}

TEST(MelodyTimeline, ANegativeDurationIsRefusedAndLeavesTheTimelineAsItWas) {
    MelodyTimeline timeline;
    timeline.Append(40, 100);
    EXPECT_EQ(MessageOf<ETimelineError>([&] { timeline.Append(41, -1); }),
              msg::InvalidNoteDuration(-1));
    EXPECT_EQ(timeline.Events().size(), 1u);
    EXPECT_EQ(timeline.EndMs(), 100);
}
