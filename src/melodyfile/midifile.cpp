#include "melodyfile/midifile.h"

#include <algorithm>

#include "common/file_write.h"
#include "common/messages.h"
#include "midi/midinote.h"
#include "playback/maps.h"

namespace {
constexpr int64_t kMaxDeltaTicks = 0x0FFFFFFF;  // the most a variable-length delta holds
constexpr uint8_t kChannelBits = 0;             // channel 1, as the program plays on

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutVariableLength(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t groups[4];
    int n = 0;
    do {
        groups[n++] = value & 0x7F;
        value >>= 7;
    } while (value);
    while (n > 1) out.push_back(groups[--n] | 0x80);
    out.push_back(groups[0]);
}

// The tick nearest to elapsedMs after the start: ms * 480 * tempo / 60000,
// which is ms * tempo / 125. 125 is odd, so no time lies halfway between two
// ticks. Split by 125 first so that long melodies cannot overflow.
int64_t TickAt(int64_t elapsedMs, int tempo) {
    const int64_t whole = elapsedMs / 125, rest = elapsedMs % 125;
    return whole * tempo + (rest * tempo * 2 + 125) / 250;
}

// Where the timeline's length exponents are known, positions are exact note
// values: L lasts 1920 / 2^L ticks (480 a quarter). They are added up in units
// of 2^-kTickFractionBits ticks, so that halvings far below one tick add up
// without drift, and each event lies on the tick nearest to its exact place.
constexpr int kTickFractionBits = 40;
using ExactTicks = __int128;

ExactTicks LengthInUnits(int32_t lengthExponent) {
    // 1920 << 40 over 2^L; beyond 40 halvings above a whole note no file holds it.
    if (lengthExponent < -kTickFractionBits)
        return ExactTicks{kMaxDeltaTicks + 1} << kTickFractionBits;
    const int shift = kTickFractionBits - lengthExponent;
    if (shift >= 0) return ExactTicks{4} * kMidiFileTicksPerQuarter << shift;
    return -shift >= 12 ? 0 : ExactTicks{4} * kMidiFileTicksPerQuarter >> -shift;
}

// The nearest tick, halves to the even one.
int64_t NearestTick(ExactTicks units) {
    const ExactTicks whole = units >> kTickFractionBits;
    const ExactTicks rest = units - (whole << kTickFractionBits);
    const ExactTicks half = ExactTicks{1} << (kTickFractionBits - 1);
    const bool up = rest > half || (rest == half && (whole & 1) != 0);
    return static_cast<int64_t>(whole + (up ? 1 : 0));
}

class Track {
public:
    void Event(int64_t tick, std::initializer_list<uint8_t> bytes) {
        Delta(tick);
        data_.insert(data_.end(), bytes);
    }
    // A meta event holding a text.
    void Text(int64_t tick, uint8_t type, const std::string& text) {
        Delta(tick);
        data_.insert(data_.end(), {0xFF, type});
        PutVariableLength(data_, static_cast<uint32_t>(text.size()));
        data_.insert(data_.end(), text.begin(), text.end());
    }
    const std::vector<uint8_t>& Data() const { return data_; }

private:
    void Delta(int64_t tick) {
        // Places rounded apart may meet: an event never goes back in time.
        tick = std::max(tick, last_);
        if (tick - last_ > kMaxDeltaTicks)
            throw EMidiFileError(
                "Eine Note oder Pause der Melodie ist für eine MIDI-Datei zu lang "
                "(höchstens " +
                std::to_string(kMaxDeltaTicks) + " Ticks)");
        PutVariableLength(data_, static_cast<uint32_t>(tick - last_));
        last_ = tick;
    }

    std::vector<uint8_t> data_;
    int64_t last_ = 0;
};

// The tick nearest to elapsedUs: us * 480 * tempo / 60000000, which is
// us * tempo / 125000; split first so that long melodies cannot overflow.
int64_t TickAtUs(int64_t elapsedUs, int tempo) {
    const int64_t whole = elapsedUs / 125000, rest = elapsedUs % 125000;
    return whole * tempo + (rest * tempo * 2 + 125000) / 250000;
}

void CheckTempo(int tempo) {
    if (tempo < kTempoMin || tempo > kTempoMax)
        throw EMidiFileError(msg::InvalidTempo(tempo, kTempoMin, kTempoMax));
}

void TempoEvent(Track& track, int tempo) {
    // Microseconds per quarter note; 60000000 / tempo is never a half for 20..220.
    const uint32_t usPerQuarter = static_cast<uint32_t>((60000000 + tempo / 2) / tempo);
    track.Event(0, {0xFF, 0x51, 0x03, static_cast<uint8_t>(usPerQuarter >> 16),
                    static_cast<uint8_t>(usPerQuarter >> 8), static_cast<uint8_t>(usPerQuarter)});
}

void PutTrack(std::vector<uint8_t>& file, const Track& track) {
    const std::vector<uint8_t>& events = track.Data();
    if (events.size() > UINT32_MAX)
        throw EMidiFileError("Die Melodie ist für eine MIDI-Datei zu lang");
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    PutBigEndian(file, static_cast<uint32_t>(events.size()), 4);
    file.insert(file.end(), events.begin(), events.end());
}

std::vector<uint8_t> FileHeader(int format, int tracks) {
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd'};
    PutBigEndian(file, 6, 4);
    PutBigEndian(file, format, 2);
    PutBigEndian(file, tracks, 2);
    PutBigEndian(file, kMidiFileTicksPerQuarter, 2);
    return file;
}

}  // namespace

std::vector<uint8_t> MidiFileBytes(const MelodyTimeline& melody, int tempo, int program) {
    CheckTempo(tempo);
    if (program < 0 || program > 127) throw EMidiFileError(msg::InvalidInstrument(program));

    Track track;
    TempoEvent(track, tempo);
    track.Event(0, {static_cast<uint8_t>(0xC0 | kChannelBits), static_cast<uint8_t>(program)});

    const auto& events = melody.Events();
    const bool exact = std::all_of(events.begin(), events.end(),
                                   [](const NoteEvent& e) { return e.LengthExponent.has_value(); });
    ExactTicks position = 0;
    PanFollower pan;
    for (const NoteEvent& note : events) {
        const int64_t start = exact ? NearestTick(position) : TickAt(note.StartMs, tempo);
        if (exact) position += LengthInUnits(*note.LengthExponent);
        const int64_t end = exact ? NearestTick(position) : TickAt(note.EndMs(), tempo);
        if (!note.Sounds()) continue;  // a rest is only time
        const uint8_t key = KeyNote(note.Key);
        const uint8_t velocity = note.Velocity.value_or(kNoteVelocity);
        if (const std::optional<uint8_t> controller = pan.Before(note.Pan))
            track.Event(start,
                        {static_cast<uint8_t>(0xB0 | kChannelBits), kPanController, *controller});
        track.Event(start, {static_cast<uint8_t>(0x90 | kChannelBits), key, velocity});
        track.Event(end, {static_cast<uint8_t>(0x80 | kChannelBits), key, velocity});
    }
    track.Event(exact ? NearestTick(position) : TickAt(melody.EndMs(), tempo), {0xFF, 0x2F, 0x00});

    std::vector<uint8_t> file = FileHeader(0, 1);
    PutTrack(file, track);
    return file;
}

namespace {
// Where a voice's elements lie in the ensemble's ticks. With its length
// exponents and its tempo known, as in its own file: exact note values, scaled
// by the tempo ratio and rounded once per place, after the offset's tick;
// otherwise by the time elapsed.
class VoiceTicks {
public:
    VoiceTicks(const EnsembleVoice& voice, int tempo) : voice_(voice), tempo_(tempo) {
        const auto& events = voice.Melody.Events();
        exact_ = voice.Tempo > 0 &&
                 std::all_of(events.begin(), events.end(),
                             [](const NoteEvent& e) { return e.LengthExponent.has_value(); });
        if (!exact_) return;
        offsetTick_ = TickAtUs(voice.OffsetUs, tempo);
        places_.reserve(events.size() + 1);
        ExactTicks position = 0;
        places_.push_back(position);
        for (const NoteEvent& e : events)
            places_.push_back(position += LengthInUnits(*e.LengthExponent));
    }
    // The tick of the start of element member (member = its count: the end).
    int64_t Start(size_t member) const {
        if (!exact_) {
            const auto& events = voice_.Melody.Events();
            const int64_t ms =
                member < events.size() ? events[member].StartMs : voice_.Melody.EndMs();
            return TickAtUs(voice_.OffsetUs + ms * 1000, tempo_);
        }
        return offsetTick_ + NearestTick(places_[member] * tempo_ / voice_.Tempo);
    }
    int64_t End(size_t member) const { return Start(member + 1); }
    // Whether an event at timeUs is the element's own end, not a cut by a later strike.
    bool OwnEnd(size_t member, int64_t timeUs) const {
        return timeUs == voice_.OffsetUs + voice_.Melody.Events()[member].EndMs() * 1000;
    }

private:
    const EnsembleVoice& voice_;
    int tempo_;
    bool exact_ = false;
    int64_t offsetTick_ = 0;
    std::vector<ExactTicks> places_;
};
}  // namespace

std::vector<uint8_t> EnsembleMidiFileBytes(const std::vector<EnsembleVoice>& voices, int tempo) {
    CheckTempo(tempo);
    const EnsembleTimeline timeline = BuildEnsembleTimeline(voices);
    std::vector<VoiceTicks> ticks;
    ticks.reserve(voices.size());
    int64_t endTick = 0;
    for (size_t v = 0; v < voices.size(); ++v) {
        ticks.emplace_back(voices[v], tempo);
        if (VoiceAudible(voices, v))
            endTick = std::max(endTick, ticks.back().Start(voices[v].Melody.Events().size()));
    }
    Track conductor;
    TempoEvent(conductor, tempo);
    conductor.Event(endTick, {0xFF, 0x2F, 0x00});

    // A track per audible voice: the file holds what is heard.
    std::vector<Track> tracks(voices.size());
    std::vector<size_t> audible;
    for (size_t v = 0; v < voices.size(); ++v) {
        if (!VoiceAudible(voices, v)) continue;
        audible.push_back(v);
        const std::string name =
            voices[v].Name.empty() ? "Stimme " + std::to_string(v + 1) : voices[v].Name;
        tracks[v].Text(0, 0x03, name);
        // The channel's program as the run sends it: the first voice on a channel sets it.
        for (const auto& [channel, program] : timeline.Programs)
            if (channel == voices[v].Channel)
                tracks[v].Event(0, {static_cast<uint8_t>(0xC0 | (channel - 1)), program});
    }
    const auto& events = timeline.Events;
    for (size_t i = 0; i < events.size(); ++i) {
        const EnsembleEvent& e = events[i];
        const VoiceTicks& voice = ticks[e.Voice];
        const auto member = static_cast<size_t>(e.Member);
        int64_t tick = e.On ? voice.Start(member) : voice.End(member);
        // A note cut by the same key struck again ends where that strike lies,
        // the event right after it.
        if (!e.On && !voice.OwnEnd(member, e.TimeUs) && i + 1 < events.size())
            tick = ticks[events[i + 1].Voice].Start(static_cast<size_t>(events[i + 1].Member));
        if (e.PanController)
            tracks[e.Voice].Event(tick, {static_cast<uint8_t>(0xB0 | (e.Channel - 1)),
                                         kPanController, *e.PanController});
        tracks[e.Voice].Event(tick, {static_cast<uint8_t>((e.On ? 0x90 : 0x80) | (e.Channel - 1)),
                                     e.Note, e.Velocity});
    }
    std::vector<uint8_t> file = FileHeader(1, static_cast<int>(audible.size()) + 1);
    PutTrack(file, conductor);
    for (const size_t v : audible) {
        tracks[v].Event(endTick, {0xFF, 0x2F, 0x00});
        PutTrack(file, tracks[v]);
    }
    return file;
}

void WriteEnsembleMidiFile(const std::string& path, const std::vector<EnsembleVoice>& voices,
                           int tempo) {
    WriteFileAtomically(path, EnsembleMidiFileBytes(voices, tempo));
}

std::vector<uint8_t> MidiFileBytes(const std::vector<MelodyNote>& melody, int tempo, int program) {
    return MidiFileBytes(TimelineFor<EMidiFileError>(melody), tempo, program);
}

void WriteMidiFile(const std::string& path, const MelodyTimeline& melody, int tempo, int program) {
    // A melody that cannot be written leaves an existing file untouched.
    WriteFileAtomically(path, MidiFileBytes(melody, tempo, program));
}

void WriteMidiFile(const std::string& path, const std::vector<MelodyNote>& melody, int tempo,
                   int program) {
    WriteMidiFile(path, TimelineFor<EMidiFileError>(melody), tempo, program);
}
