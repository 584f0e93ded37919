#pragma once
// A melody as note events on one time axis, rests included: what every export
// of a melody writes (MIDI and WAV files, scores), so that they all agree on
// which element starts when. One timeline is one voice; an ensemble is a list
// of them.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/errors.h"
#include "midi/midinote.h"
#include "playback/playback_host.h"

// A melody whose times cannot be laid out (a negative duration).
class ETimelineError : public EInvalidInput {
    using EInvalidInput::EInvalidInput;
};

struct NoteEvent {
    int64_t StartMs;  // since the start of the melody
    int32_t DurationMs;
    int32_t Key;  // key number; an element that does not sound is a rest
    // The tempo map's value behind the duration, where the melody came from the
    // maps: score exports write note values, not times.
    std::optional<int32_t> LengthExponent;
    // From the expression maps (playback/expression.h); none where the map is
    // off: the voice's velocity, no pan sent.
    std::optional<uint8_t> Velocity{};  // 1..127
    std::optional<int8_t> Pan{};        // -64..63, the voice's offset included

    int64_t EndMs() const { return StartMs + DurationMs; }
    bool Sounds() const { return KeySounds(Key); }
};

class MelodyTimeline {
public:
    // The next element, right after the previous one. Throws ETimelineError
    // for a negative duration.
    void Append(int32_t key, int32_t durationMs, std::optional<int32_t> lengthExponent = {});
    // The same with the expression of the element.
    void Append(const NoteEvent& element);

    const std::vector<NoteEvent>& Events() const { return events_; }
    // Where the last element ends; 0 for an empty melody.
    int64_t EndMs() const { return endMs_; }

private:
    std::vector<NoteEvent> events_;
    int64_t endMs_ = 0;
};

// The notes one after the other, without length exponents.
MelodyTimeline TimelineOf(const std::vector<MelodyNote>& melody);

// The same for a writer, which reports the failure in its own error class.
template <class Error>
MelodyTimeline TimelineFor(const std::vector<MelodyNote>& melody) {
    try {
        return TimelineOf(melody);
    } catch (const ETimelineError& e) {
        throw Error(e.Message());
    }
}

// The melody that a press of the play button would sound, with each element's
// length exponent, without sounding it. members, where given, receives the
// note member behind each element.
MelodyTimeline BuildTimeline(IPlaybackHost& host, std::vector<std::string>* members = nullptr);
