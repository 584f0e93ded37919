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

void MelodyTimeline::Append(const NoteEvent& element) {
    Append(element.Key, element.DurationMs, element.LengthExponent);
    events_.back().Velocity = element.Velocity;
    events_.back().Pan = element.Pan;
}

MelodyTimeline TimelineOf(const std::vector<MelodyNote>& melody) {
    MelodyTimeline timeline;
    for (const MelodyNote& note : melody)
        timeline.Append({0, note.DurationMs, note.Key, std::nullopt, note.Velocity, note.Pan});
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
        const int32_t exponent = host.GetKeyOrTempo(LookupKind::LengthExponent, tempo);
        const NoteExpression expression = TakeExpression(host, melody);
        timeline.Append({0, durationMs, key, exponent, expression.Velocity, expression.Pan});
        if (members) members->emplace_back(note);
    }
    return timeline;
}
