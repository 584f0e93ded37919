#pragma once
// The program's MIDI unit: the one output that the whole program uses, the
// channel it plays on, and the only three routes to it. main() creates it
// first and releases it last; whoever plays is handed a reference.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "midi/midinote.h"

class IClock;
class IMidiOutput;
class IMidiOutService;
class MidiOutputDevices;

// Called every kWaitSliceUs while a note's wait goes on, so that a window can
// repaint during long notes.
inline constexpr int64_t kWaitSliceUs = 20000;

class MidiUnit {
public:
    // Without a service the first use creates CreateDefaultMidiOutService();
    // without a clock the system clock runs.
    explicit MidiUnit(std::shared_ptr<IMidiOutService> service = nullptr, IClock* clock = nullptr);
    // Releases the output, as ReleaseMidiOut does.
    ~MidiUnit();
    MidiUnit(const MidiUnit&) = delete;
    MidiUnit& operator=(const MidiUnit&) = delete;

    // channel := 1; opens device 0 as the program's output. Throws what
    // GetMidiOutput throws (the output then stays empty).
    void InitMidiOut();

    // Sounds key keyNumber (MIDI note keyNumber + 8) for durationMs,
    // blocking for the whole duration. Key numbers <= 0, and those whose note would
    // exceed 127, are rests of the same duration. A negative duration is refused
    // (EInvalidInput). Without an output nothing is sent, but the wait still runs.
    // A note the output refuses (EJclMIDIError) releases the output. velocity
    // is the Note On's and the Note Off's; panController, when given, goes out
    // as controller 10 right before the Note On.
    void PlayNote(int32_t keyNumber, int32_t durationMs, uint8_t velocity = kNoteVelocity,
                  std::optional<uint8_t> panController = std::nullopt);

    // General MIDI program change on the program's channel; nothing without an output.
    // Refused, it releases the output as PlayNote does.
    void SelectInstrument(int32_t program);

    // Releases the output (program end): Note Off for every sounding note, then close.
    void ReleaseMidiOut();
    // A signal's ending: every output open on the unit's devices silenced and
    // closed (IMidiOutput::Close), whoever holds it; then the unit's own released.
    void CloseAllMidiOuts() noexcept;

    // True while InitMidiOut has given the program an output.
    bool HasMidiOut() const { return output_ != nullptr; }
    // The program's output for a run that times its notes itself; null without one.
    IMidiOutput* Output() const { return output_.get(); }

    // The playback run's rhythm: between BeginRhythm and EndRhythm every note's end
    // is an absolute deadline that continues from the previous note's deadline,
    // so per-note overhead does not accumulate. A note is never cut below half its
    // duration: when the chain has fallen behind by more than that, it re-anchors
    // on the clock and the note sounds in full.
    // Outside a rhythm each PlayNote waits its duration from the moment it is called.
    void BeginRhythm();
    void EndRhythm();

    // Replacing the service releases the output and forgets the device registry.
    void SetService(std::shared_ptr<IMidiOutService> service);
    IMidiOutService& Service() { return *SharedService(); }
    std::shared_ptr<IMidiOutService> SharedService();
    void SetClock(IClock* clock) { clock_ = clock; }  // nullptr: the system clock
    IClock& Clock();
    // nullptr: one uninterrupted wait.
    void SetWaitHook(std::function<void()> hook) { whileWaiting_ = std::move(hook); }

    // The service's devices, built on first use.
    MidiOutputDevices& Devices();
    // Forgets the registry so that the next use rebuilds it (after a port choice).
    // Outputs still open keep working but are no longer shared.
    void ResetDevices() { devices_.reset(); }
    // The shared output of a device; -1 is the mapper (see MidiOutputDevices).
    std::shared_ptr<IMidiOutput> GetMidiOutput(int32_t deviceId);

private:
    void WaitUntil(int64_t deadlineUs);
    void Send(const std::function<void()>& message);

    std::shared_ptr<IMidiOutService> service_;
    std::shared_ptr<MidiOutputDevices> devices_;
    IClock* clock_ = nullptr;
    uint8_t channel_ = 1;
    bool inRhythm_ = false;
    bool chained_ = false;  // chainDeadlineUs_ holds the last note's end
    int64_t chainDeadlineUs_ = 0;
    std::function<void()> whileWaiting_;
    // Declared last so that it is released first.
    std::shared_ptr<IMidiOutput> output_;
};
