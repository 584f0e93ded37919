#include "midi/midi.h"

#include <algorithm>
#include <string>

#include "common/errors.h"
#include "common/messages.h"
#include "midi/clock.h"
#include "midi/midi_out.h"
#include "midi/midinote.h"
#include "midi/platform.h"

MidiUnit::MidiUnit(std::shared_ptr<IMidiOutService> service, IClock* clock)
    : service_(std::move(service)), clock_(clock) {}

MidiUnit::~MidiUnit() { ReleaseMidiOut(); }

// Waits until the deadline; with a hook set, in slices with the hook between them.
void MidiUnit::WaitUntil(int64_t deadlineUs) {
    IClock& clock = Clock();
    const std::function<void()> hook = whileWaiting_;  // a copy: the hook may replace it
    if (!hook) {
        clock.SleepUntilUs(deadlineUs);
        return;
    }
    for (int64_t now = clock.NowUs(); now < deadlineUs; now = clock.NowUs()) {
        clock.SleepUntilUs(std::min(deadlineUs, now + kWaitSliceUs));
        if (clock.NowUs() < deadlineUs) hook();
    }
}

void MidiUnit::InitMidiOut() {
    channel_ = 1;
    output_.reset();
    output_ = GetMidiOutput(0);
}

void MidiUnit::PlayNote(int32_t keyNumber, int32_t durationMs, uint8_t velocity,
                        std::optional<uint8_t> panController) {
    if (durationMs < 0) throw EInvalidInput(msg::InvalidNoteDuration(durationMs));
    IClock& clock = Clock();
    const int64_t durationUs = int64_t{durationMs} * 1000;
    const int64_t now = clock.NowUs();

    // In a rhythm the note starts where the previous one ended, so the time
    // spent between notes is taken from the note rather than added to it. A
    // hitch that would cut the note below half its length re-anchors the chain
    // instead: the note sounds in full from now.
    int64_t start = now;
    if (inRhythm_ && chained_ && now - chainDeadlineUs_ <= durationUs / 2) start = chainDeadlineUs_;
    const int64_t deadline = start + durationUs;
    if (inRhythm_) {
        chained_ = true;
        chainDeadlineUs_ = deadline;
    }

    // Notes above 127 do not exist; such keys are rests like keys <= 0.
    const bool sounds = output_ && KeySounds(keyNumber);
    const uint8_t note = sounds ? KeyNote(keyNumber) : 0;
    clock.SleepUntilUs(start);
    if (sounds && panController)
        Send([&] { output_->ControlChange(channel_, kPanController, *panController); });
    if (sounds) Send([&] { output_->NoteOn(channel_, note, velocity); });
    WaitUntil(deadline);
    // The output may have been released while waiting (program end).
    if (sounds && output_) Send([&] { output_->NoteOff(channel_, note, velocity); });
}

// A device that refuses a message has gone (a sound server that died): it is
// released at once, its sounding notes tried once more, so that the next
// listing shows what is left; the failure goes on to the caller.
void MidiUnit::Send(const std::function<void()>& message) {
    try {
        message();
    } catch (const EJclMIDIError&) {
        output_.reset();
        throw;
    }
}

void MidiUnit::SelectInstrument(int32_t program) {
    const uint8_t low = static_cast<uint8_t>(program & 0xFF);
    if (!output_ || low > 127) return;
    Send([&] { output_->ProgramChange(channel_, low); });
}

void MidiUnit::ReleaseMidiOut() { output_.reset(); }

void MidiUnit::CloseAllMidiOuts() noexcept {
    if (output_) output_->Close();
    if (devices_) devices_->CloseOpenOutputs();
    output_.reset();
}

void MidiUnit::BeginRhythm() {
    inRhythm_ = true;
    chained_ = false;
}

void MidiUnit::EndRhythm() {
    inRhythm_ = false;
    chained_ = false;
}

void MidiUnit::SetService(std::shared_ptr<IMidiOutService> service) {
    output_.reset();
    devices_.reset();
    service_ = std::move(service);
}

std::shared_ptr<IMidiOutService> MidiUnit::SharedService() {
    if (!service_) service_ = CreateDefaultMidiOutService();
    return service_;
}

IClock& MidiUnit::Clock() { return clock_ ? *clock_ : SystemClock(); }

MidiOutputDevices& MidiUnit::Devices() {
    if (!devices_) {
        devices_ = std::make_shared<MidiOutputDevices>(SharedService());
        devices_->Names();  // the listing as of now, before anything opens
    }
    return *devices_;
}

std::shared_ptr<IMidiOutput> MidiUnit::GetMidiOutput(int32_t deviceId) {
    Devices();
    return MidiOutputDevices::Get(devices_, deviceId);
}
