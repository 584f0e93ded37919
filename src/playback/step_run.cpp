#include "playback/step_run.h"

#include <algorithm>
#include <string>

#include "midi/clock.h"
#include "midi/midi.h"
#include "midi/midi_out.h"
#include "midi/midinote.h"

namespace {
// How often the queue is looked at; well below what a player hears.
constexpr int64_t kPollUs = 3000;

bool OnKeyboard(int32_t key) { return key >= 1 && key <= 88; }
}  // namespace

StepRun::StepRun(std::vector<MelodyNote> melody, IMidiOutput* output, uint8_t channel)
    : melody_(std::move(melody)), output_(output), channel_(channel) {}

StepRun::~StepRun() {
    try {
        Silence();
    } catch (...) {
        // An output that refuses is released by its own destructor, silent.
    }
}

std::optional<size_t> StepRun::Feed(const MidiInEvent& event, int64_t nowMs) {
    const int kind = event.Status & 0xF0;
    const bool press = kind == 0x90 && event.Data2 > 0;
    const bool release = kind == 0x80 || (kind == 0x90 && event.Data2 == 0);
    if (release && held_ && held_->inputNote == event.Data1) Silence();
    if (!press || melody_.empty()) return std::nullopt;
    Silence();
    const size_t member = presses_++ % melody_.size();
    const MelodyNote& note = melody_[member];
    held_ = Held{member, event.Data1, nowMs + std::max(0, note.DurationMs)};
    if (output_ && KeySounds(note.Key))
        output_->NoteOn(channel_, KeyNote(note.Key), std::min<uint8_t>(event.Data2, 127));
    return member;
}

void StepRun::Tick(int64_t nowMs) {
    if (held_ && nowMs >= held_->endMs) Silence();
}

void StepRun::Silence() {
    if (!held_) return;
    const int32_t key = melody_[held_->member].Key;
    held_.reset();
    if (output_ && KeySounds(key)) output_->NoteOff(channel_, KeyNote(key), kNoteVelocity);
}

std::optional<size_t> StepRun::Sounding() const {
    if (!held_) return std::nullopt;
    return held_->member;
}

void RunSteps(IPlaybackHost& host, MidiUnit& midi, MelodySequences& melody, MidiInQueue& input,
              bool once, const bool& playing) {
    // The members and their lengths as the run starts; the strings are kept
    // for the displays.
    std::vector<MelodyNote> notes;
    std::vector<std::string> members, tempoMembers;
    while (!melody.Notes.AtEnd()) {
        members.emplace_back(melody.Notes.Take());
        tempoMembers.emplace_back(melody.Tempi.Take());
        notes.push_back({host.GetKeyOrTempo(LookupKind::Key, members.back()),
                         host.GetKeyOrTempo(LookupKind::DurationMs, tempoMembers.back())});
    }
    if (notes.empty()) return;
    int32_t marked = 0;
    struct Unmark {
        IPlaybackHost& host;
        int32_t& marked;
        ~Unmark() {
            if (marked) host.UnmarkKey(marked);
        }
    } unmark{host, marked};
    // Keys pressed before the run do not count.
    input.Clear();
    StepRun steps(notes, midi.Output());
    IClock& clock = midi.Clock();
    const auto follow = [&] {
        const std::optional<size_t> sounding = steps.Sounding();
        const int32_t wanted = sounding && host.KeyboardWanted() && OnKeyboard(notes[*sounding].Key)
                                   ? notes[*sounding].Key
                                   : 0;
        if (wanted == marked) return;
        if (marked) host.UnmarkKey(marked);
        marked = wanted;
        if (marked) host.MarkKey(marked);
    };
    while (playing) {
        const int64_t nowUs = clock.NowUs();
        while (const std::optional<MidiInEvent> event = input.Pop()) {
            if (const std::optional<size_t> started = steps.Feed(*event, nowUs / 1000))
                host.NoteStarting(*started, members[*started], tempoMembers[*started]);
            follow();
        }
        steps.Tick(nowUs / 1000);
        follow();
        if (once && steps.Presses() >= notes.size() && !steps.Sounding()) break;
        host.ProcessPendingMessages();
        clock.SleepUntilUs(nowUs + kPollUs);
    }
}
