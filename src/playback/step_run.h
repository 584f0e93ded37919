#pragma once
// Stepping through a melody from a MIDI keyboard: each key pressed on the
// input sounds the next member, with the pressed velocity, until that key is
// released or the member's length has passed, whichever comes first; a new
// press ends the member that still sounds. After the last member the first
// comes again.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "midi/midi_in.h"
#include "playback/playback_host.h"

class IMidiOutput;
class MidiUnit;

class StepRun {
public:
    // output may be null: nothing sounds, the members are stepped all the same.
    StepRun(std::vector<MelodyNote> melody, IMidiOutput* output, uint8_t channel = 1);
    // Ends the member that sounds.
    ~StepRun();
    StepRun(const StepRun&) = delete;
    StepRun& operator=(const StepRun&) = delete;

    // An input message at nowMs; the index of the member it started, if any.
    // Other messages than Note On and Note Off, on any channel, are passed over.
    std::optional<size_t> Feed(const MidiInEvent& event, int64_t nowMs);
    // Ends the sounding member once its length has passed.
    void Tick(int64_t nowMs);
    // Ends the sounding member now.
    void Silence();
    // The member that sounds (a rest too, for its time), if any.
    std::optional<size_t> Sounding() const;
    // Members started so far, counting every pass.
    size_t Presses() const { return presses_; }

private:
    struct Held {
        size_t member;
        uint8_t inputNote;
        int64_t endMs;
    };

    std::vector<MelodyNote> melody_;
    IMidiOutput* output_;
    uint8_t channel_;
    size_t presses_ = 0;
    std::optional<Held> held_;
};

// What PlaybackRun does instead of its timed run while an input steps it:
// reads the melody from melody as the timed run would, then steps until
// playing is cleared, or with once until every member has sounded once.
// Each started member is announced through host.NoteStarting and marked on
// the keyboard as in a timed run; host.ProcessPendingMessages runs between
// the checks of the queue.
void RunSteps(IPlaybackHost& host, MidiUnit& midi, MelodySequences& melody, MidiInQueue& input,
              bool once, const bool& playing);
