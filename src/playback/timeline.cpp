#include "playback/timeline.h"

#include <string>

#include "common/messages.h"
#include "playback/maps.h"

void MelodyTimeline::Append(int32_t key, int32_t durationMs,
                            std::optional<int32_t> lengthExponent) {
    if (durationMs < 0) throw ETimelineError(msg::InvalidNoteDuration(durationMs));
    events_.push_back({endMs_, durationMs, key, lengthExponent});
    endMs_ += durationMs;
}

MelodyTimeline TimelineOf(const std::vector<MelodyNote>& melody) {
    MelodyTimeline timeline;
    for (const MelodyNote& note : melody) timeline.Append(note.Key, note.DurationMs);
    return timeline;
}

MelodyTimeline BuildTimeline(IPlaybackHost& host, std::vector<std::string>* members) {
    MelodySequences melody = ReadMelodySequences(host);
    MelodyTimeline timeline;
    while (!melody.Notes.AtEnd()) {
        const std::string_view note = melody.Notes.Take();
        const std::string_view tempo = melody.Tempi.Take();
        const int32_t key = host.GetKeyOrTempo(LookupKind::Key, note);
        const int32_t durationMs = host.GetKeyOrTempo(LookupKind::DurationMs, tempo);
        timeline.Append(key, durationMs, host.GetKeyOrTempo(LookupKind::LengthExponent, tempo));
        if (members) members->emplace_back(note);
    }
    return timeline;
}
