#include "midi/midi.h"

#include <algorithm>
#include <string>

#include "common/errors.h"
#include "midi/clock.h"
#include "midi/midi_out.h"
#include "midi/midinote.h"
#include "midi/platform.h"

namespace {

struct MidiUnit {
    std::shared_ptr<IMidiOutService> service;
    IClock* clock = nullptr;
    uint8_t channel = 1;
    bool inRhythm = false;
    bool chained = false;  // chainDeadlineUs holds the last note's end
    int64_t chainDeadlineUs = 0;
    std::function<void()> whileWaiting;
    // Declared last so that it is released first at exit.
    std::shared_ptr<IMidiOutput> output;
};

MidiUnit& Unit() {
    static MidiUnit unit;
    return unit;
}

// Waits until the deadline; with a hook set, in slices with the hook between them.
void WaitUntil(IClock& clock, int64_t deadlineUs) {
    const std::function<void()> hook = Unit().whileWaiting;  // a copy: the hook may replace it
    if (!hook) {
        clock.SleepUntilUs(deadlineUs);
        return;
    }
    for (int64_t now = clock.NowUs(); now < deadlineUs; now = clock.NowUs()) {
        clock.SleepUntilUs(std::min(deadlineUs, now + kWaitSliceUs));
        if (clock.NowUs() < deadlineUs) hook();
    }
}
}  // namespace

void InitMidiOut() {
    MidiUnit& unit = Unit();
    unit.channel = 1;
    unit.output.reset();
    unit.output = GetMidiOutput(0);
}

void PlayNote(int32_t keyNumber, int32_t durationMs) {
    if (durationMs < 0)
        throw EInvalidInput("Ungültige Notendauer: " + std::to_string(durationMs) + " ms");
    MidiUnit& unit = Unit();
    IClock& clock = MidiClock();
    const int64_t durationUs = int64_t{durationMs} * 1000;
    const int64_t now = clock.NowUs();

    // In a rhythm the note starts where the previous one ended, so the time
    // spent between notes is taken from the note rather than added to it. A
    // hitch that would cut the note below half its length re-anchors the chain
    // instead: the note sounds in full from now.
    int64_t start = now;
    if (unit.inRhythm && unit.chained && now - unit.chainDeadlineUs <= durationUs / 2)
        start = unit.chainDeadlineUs;
    const int64_t deadline = start + durationUs;
    if (unit.inRhythm) {
        unit.chained = true;
        unit.chainDeadlineUs = deadline;
    }

    // Notes above 127 do not exist; such keys are rests like keys <= 0.
    const bool sounds = unit.output && KeySounds(keyNumber);
    const uint8_t note = sounds ? KeyNote(keyNumber) : 0;
    clock.SleepUntilUs(start);
    if (sounds) unit.output->NoteOn(unit.channel, note, kNoteVelocity);
    WaitUntil(clock, deadline);
    // The output may have been released while waiting (program end).
    if (sounds && unit.output) unit.output->NoteOff(unit.channel, note, kNoteVelocity);
}

void SelectInstrument(int32_t program) {
    MidiUnit& unit = Unit();
    const uint8_t low = static_cast<uint8_t>(program & 0xFF);
    if (!unit.output || low > 127) return;
    unit.output->ProgramChange(unit.channel, low);
}

void ReleaseMidiOut() { Unit().output.reset(); }

bool HasMidiOut() { return Unit().output != nullptr; }

void BeginRhythm() {
    MidiUnit& unit = Unit();
    unit.inRhythm = true;
    unit.chained = false;
}

void EndRhythm() {
    MidiUnit& unit = Unit();
    unit.inRhythm = false;
    unit.chained = false;
}

void SetMidiOutService(std::shared_ptr<IMidiOutService> service) {
    MidiUnit& unit = Unit();
    unit.output.reset();
    ResetMidiOutputDevices();
    unit.service = std::move(service);
}

std::shared_ptr<IMidiOutService> CurrentMidiOutService() {
    MidiUnit& unit = Unit();
    if (!unit.service) unit.service = CreateDefaultMidiOutService();
    return unit.service;
}

IMidiOutService& MidiOutService() { return *CurrentMidiOutService(); }

void SetMidiClock(IClock* clock) { Unit().clock = clock; }

void SetWaitHook(std::function<void()> hook) { Unit().whileWaiting = std::move(hook); }

IClock& MidiClock() {
    IClock* clock = Unit().clock;
    return clock ? *clock : SystemClock();
}
