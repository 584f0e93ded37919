#include "playback/ensemble.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "common/errors.h"
#include "midi/clock.h"
#include "midi/midi_out.h"
#include "midi/midinote.h"
#include "playback/maps.h"

namespace {

const VoiceField& kChannel = VoiceFieldOf(&VoiceMix::Channel);
const VoiceField& kVelocity = VoiceFieldOf(&VoiceMix::Velocity);
const VoiceField& kTranspose = VoiceFieldOf(&VoiceMix::Transpose);

bool Within(int value, const VoiceField& field) { return value >= field.Min && value <= field.Max; }

// "1 und 16"
std::string Range(const VoiceField& field) {
    return std::to_string(field.Min) + " und " + std::to_string(field.Max);
}

void Refuse(const std::vector<EnsembleVoice>& voices, size_t index, const std::string& what) {
    throw EInvalidInput(VoiceLabel(static_cast<int>(index), voices[index].Name) + what);
}

// Raw note boundaries before re-struck keys are resolved. At one time, notes
// that sounded before end first, then notes start, then notes of no length end.
struct RawEvent {
    int64_t timeUs;
    int phase;
    EnsembleEvent event;
    std::optional<int8_t> pan{};  // of a Note On
};

int ChannelNoteKey(const EnsembleEvent& e) { return (e.Channel - 1) * 128 + e.Note; }

}  // namespace

std::string VoiceLabel(int index, const std::string& name) {
    std::string label = "Stimme " + std::to_string(index + 1);
    if (!name.empty()) label += " (" + name + ")";
    return label + ": ";
}

int DefaultVoiceChannel(int index) {
    const int channel = index % 15 + 1;
    return channel < kPercussionChannel ? channel : channel + 1;
}

int64_t VoiceOffsetUs(double wholeNotes, int tempo) {
    if (!(wholeNotes >= 0 && wholeNotes <= kMaxVoiceOffsetWholeNotes))
        throw EInvalidInput("Der Einsatz einer Stimme muss zwischen 0 und " +
                            std::to_string(static_cast<int>(kMaxVoiceOffsetWholeNotes)) +
                            " ganzen Noten liegen");
    if (tempo < kTempoMin || tempo > kTempoMax)
        throw EInvalidInput("Das Tempo muss zwischen " + std::to_string(kTempoMin) + " und " +
                            std::to_string(kTempoMax) + " liegen");
    // A whole note is four quarter beats of 60 s / tempo.
    return std::llround(wholeNotes * 240000000.0 / tempo);
}

void CheckEnsemble(const std::vector<EnsembleVoice>& voices) {
    if (voices.size() > kMaxEnsembleVoices)
        throw EInvalidInput("Höchstens " + std::to_string(kMaxEnsembleVoices) +
                            " Stimmen können zusammen spielen");
    for (size_t i = 0; i < voices.size(); ++i) {
        const EnsembleVoice& v = voices[i];
        if (!Within(v.Channel, kChannel))
            Refuse(voices, i,
                   "Der MIDI-Kanal " + std::to_string(v.Channel) + " liegt nicht zwischen " +
                       Range(kChannel));
        if (v.Program < 0 || v.Program > 127)
            Refuse(
                voices, i,
                "Das Instrument " + std::to_string(v.Program) + " liegt nicht zwischen 0 und 127");
        if (!Within(v.Velocity, kVelocity))
            Refuse(voices, i,
                   "Die Anschlagstärke " + std::to_string(v.Velocity) + " liegt nicht zwischen " +
                       Range(kVelocity));
        if (!Within(v.Transpose, kTranspose))
            Refuse(voices, i,
                   "Die Transposition " + std::to_string(v.Transpose) + " liegt nicht zwischen " +
                       Range(kTranspose) + " Halbtönen");
        if (v.OffsetUs < 0) Refuse(voices, i, "Der Einsatz liegt vor dem Anfang");
    }
}

bool VoiceAudible(const std::vector<EnsembleVoice>& voices, size_t index) {
    const bool anySolo = std::any_of(voices.begin(), voices.end(),
                                     [](const EnsembleVoice& v) { return v.Solo && !v.Mute; });
    const EnsembleVoice& voice = voices[index];
    return !voice.Mute && (!anySolo || voice.Solo);
}

int VoiceNote(const EnsembleVoice& voice, int32_t keyNumber) {
    if (keyNumber <= 0) return -1;
    const int64_t note = int64_t{keyNumber} + voice.Transpose + kKeyNoteOffset;
    return note >= 0 && note <= 127 ? static_cast<int>(note) : -1;
}

EnsembleTimeline BuildEnsembleTimeline(const std::vector<EnsembleVoice>& voices, bool everyVoice) {
    CheckEnsemble(voices);
    EnsembleTimeline timeline;
    std::vector<RawEvent> raw;
    for (size_t v = 0; v < voices.size(); ++v) {
        if (!everyVoice && !VoiceAudible(voices, v)) continue;
        const EnsembleVoice& voice = voices[v];
        const auto channel = static_cast<uint8_t>(voice.Channel);
        const bool channelKnown = std::any_of(timeline.Programs.begin(), timeline.Programs.end(),
                                              [&](const auto& p) { return p.first == channel; });
        if (!channelKnown) timeline.Programs.emplace_back(channel, voice.Program);

        const std::vector<NoteEvent>& melody = voice.Melody.Events();
        for (size_t m = 0; m < melody.size(); ++m) {
            const NoteEvent& note = melody[m];
            const int sound = VoiceNote(voice, note.Key);
            if (sound < 0) continue;
            const int64_t startUs = voice.OffsetUs + note.StartMs * 1000;
            const int64_t lengthUs = int64_t{note.DurationMs} * 1000;
            EnsembleEvent e{startUs,
                            static_cast<int>(v),
                            static_cast<int>(m),
                            true,
                            channel,
                            static_cast<uint8_t>(sound),
                            note.Velocity.value_or(static_cast<uint8_t>(voice.Velocity)),
                            note.Key + voice.Transpose,
                            note.Velocity.has_value()};
            raw.push_back({startUs, 1, e, note.Pan});
            e.On = false;
            e.TimeUs = startUs + lengthUs;
            raw.push_back({e.TimeUs, lengthUs == 0 ? 2 : 0, e});
        }
        const int64_t time = voice.OffsetUs + voice.Melody.EndMs() * 1000;
        timeline.EndUs = std::max(timeline.EndUs, time);
    }
    std::stable_sort(raw.begin(), raw.end(), [](const RawEvent& a, const RawEvent& b) {
        if (a.timeUs != b.timeUs) return a.timeUs < b.timeUs;
        if (a.phase != b.phase) return a.phase < b.phase;
        if (a.event.Voice != b.event.Voice) return a.event.Voice < b.event.Voice;
        return a.event.Member < b.event.Member;
    });

    // The note that owns each sounding channel and key.
    std::map<int, EnsembleEvent> owner;
    std::map<uint8_t, PanFollower> pans;  // by channel
    timeline.Events.reserve(raw.size());
    for (const RawEvent& r : raw) {
        const EnsembleEvent& e = r.event;
        const auto it = owner.find(ChannelNoteKey(e));
        if (e.On) {
            if (it != owner.end()) {
                EnsembleEvent off = it->second;
                off.On = false;
                off.TimeUs = e.TimeUs;
                timeline.Events.push_back(off);
            }
            owner[ChannelNoteKey(e)] = e;
            timeline.Events.push_back(e);
            timeline.Events.back().PanController = pans[e.Channel].Before(r.pan);
        } else if (it != owner.end() && it->second.Voice == e.Voice &&
                   it->second.Member == e.Member) {
            owner.erase(it);
            timeline.Events.push_back(e);
        }
    }
    return timeline;
}

namespace {

class EnsembleSender {
public:
    EnsembleSender(IMidiOutput& output, IClock& clock, IEnsembleObserver& observer)
        : output_(output), clock_(clock), observer_(observer), lastPollUs_(clock.NowUs()) {}
    EnsembleSender(const EnsembleSender&) = delete;
    EnsembleSender& operator=(const EnsembleSender&) = delete;
    // A failure on the way out still silences what sounds, as far as the
    // output lets it.
    ~EnsembleSender() { Silence(/*quietly=*/true); }

    // Waits until deadlineUs; false when the observer stopped the run meanwhile.
    bool WaitUntil(int64_t deadlineUs) {
        for (;;) {
            const int64_t now = clock_.NowUs();
            const bool pollDue = now - lastPollUs_ >= kEnsemblePollUs;
            if (now >= deadlineUs) {
                // A run that has fallen behind still hears a stop, if not as often.
                if (now - lastPollUs_ >= 5 * kEnsemblePollUs) return Poll(now);
                return true;
            }
            if (pollDue && deadlineUs - now >= kEnsemblePollMarginUs) {
                if (!Poll(now)) return false;
                continue;
            }
            const int64_t nextPoll = lastPollUs_ + kEnsemblePollUs;
            clock_.SleepUntilUs(nextPoll < deadlineUs - kEnsemblePollMarginUs
                                    ? std::max(nextPoll, now)
                                    : deadlineUs);
        }
    }

    void Send(EnsembleEvent e) {
        const int key = ChannelNoteKey(e);
        if (e.On) {
            // The channel's pan as the timeline reckons it, even before a silent note.
            if (e.PanController) output_.ControlChange(e.Channel, kPanController, *e.PanController);
            const std::optional<uint8_t> velocity = observer_.LiveVelocity(e.Voice, e.Velocity);
            if (!velocity) return;  // a silent voice's note; its end is dropped too
            if (!e.MapVelocity) e.Velocity = *velocity;
            output_.NoteOn(e.Channel, e.Note, e.Velocity);
            sounding_[key] = e;
            observer_.NoteStarted(e);
        } else {
            const auto sounding = sounding_.find(key);
            if (sounding == sounding_.end() || sounding->second.Voice != e.Voice) return;
            e.Velocity = sounding->second.Velocity;  // the Note Off carries its Note On's
            output_.NoteOff(e.Channel, e.Note, e.Velocity);
            sounding_.erase(key);
            observer_.NoteEnded(e);
        }
    }

    void Silence(bool quietly) {
        while (!sounding_.empty()) {
            EnsembleEvent e = sounding_.begin()->second;
            sounding_.erase(sounding_.begin());
            e.On = false;
            if (!quietly) {
                output_.NoteOff(e.Channel, e.Note, e.Velocity);
                observer_.NoteEnded(e);
                continue;
            }
            try {
                output_.NoteOff(e.Channel, e.Note, e.Velocity);
            } catch (...) {
            }
            try {
                observer_.NoteEnded(e);
            } catch (...) {
            }
        }
    }

private:
    bool Poll(int64_t now) {
        lastPollUs_ = now;
        if (!observer_.KeepPlaying()) return false;
        // A voice muted while it sounds ends its note now.
        for (auto it = sounding_.begin(); it != sounding_.end();) {
            EnsembleEvent e = it->second;
            if (observer_.LiveVelocity(e.Voice, e.Velocity)) {
                ++it;
                continue;
            }
            it = sounding_.erase(it);
            e.On = false;
            output_.NoteOff(e.Channel, e.Note, e.Velocity);
            observer_.NoteEnded(e);
        }
        return true;
    }

    IMidiOutput& output_;
    IClock& clock_;
    IEnsembleObserver& observer_;
    int64_t lastPollUs_;
    std::map<int, EnsembleEvent> sounding_;  // by channel and note, for an orderly silence
};

}  // namespace

bool PlayEnsemble(const EnsembleTimeline& timeline, IMidiOutput& output, IClock& clock,
                  IEnsembleObserver& observer) {
    EnsembleSender sender(output, clock, observer);
    const int64_t startUs = clock.NowUs();
    for (const auto& [channel, program] : timeline.Programs) output.ProgramChange(channel, program);
    for (const EnsembleEvent& e : timeline.Events) {
        if (!sender.WaitUntil(startUs + e.TimeUs)) {
            sender.Silence(/*quietly=*/false);
            return false;
        }
        sender.Send(e);
    }
    if (!sender.WaitUntil(startUs + timeline.EndUs)) return false;
    return true;
}
