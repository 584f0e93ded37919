#pragma once
// The program's MIDI unit: the one output that the whole program uses, the
// channel it plays on, and the only three routes to it.
#include <cstdint>
#include <functional>
#include <memory>

class IClock;
class IMidiOutService;

// channel := 1; opens device 0 as the program's output. Throws what
// GetMidiOutput throws (the output then stays empty).
void InitMidiOut();

// Sounds key keyNumber (MIDI note keyNumber + 8, velocity 110) for durationMs,
// blocking for the whole duration. Key numbers <= 0, and those whose note would
// exceed 127, are rests of the same duration. A negative duration is refused
// (EInvalidInput). Without an output nothing is sent, but the wait still runs.
void PlayNote(int32_t keyNumber, int32_t durationMs);

// General MIDI program change on the program's channel; nothing without an output.
void SelectInstrument(int32_t program);

// Releases the output (program end): Note Off for every sounding note, then close.
void ReleaseMidiOut();

// True while InitMidiOut has given the program an output.
bool HasMidiOut();

// The playback run's rhythm: between BeginRhythm and EndRhythm every note's end
// is an absolute deadline that continues from the previous note's deadline,
// so per-note overhead does not accumulate. A note is never cut below half its
// duration: when the chain has fallen behind by more than that, it re-anchors
// on the clock and the note sounds in full.
// Outside a rhythm each PlayNote waits its duration from the moment it is called.
void BeginRhythm();
void EndRhythm();

// Platform plumbing, set at program start or by tests.
void SetMidiOutService(std::shared_ptr<IMidiOutService> service);
// Without a service set, the first use creates CreateDefaultMidiOutService().
// Setting a service releases the output and forgets the device registry.
IMidiOutService& MidiOutService();
std::shared_ptr<IMidiOutService> CurrentMidiOutService();
void SetMidiClock(IClock* clock);  // nullptr: the system clock
IClock& MidiClock();
// Called every kWaitSliceUs while a note's wait goes on, so that a window can
// repaint during long notes; nullptr: one uninterrupted wait.
void SetWaitHook(std::function<void()> hook);
inline constexpr int64_t kWaitSliceUs = 20000;
