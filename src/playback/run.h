#pragma once
// The playback run behind the play button: asks the sources for their members,
// then sounds them one by one, handling pending window messages once per note.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "playback/playback_host.h"

// Which members a run sounds: from First up to and including Last, and again
// from First while Loop holds and nobody stopped it.
struct PlayRange {
    size_t First = 0;
    size_t Last = SIZE_MAX;
    bool Loop = false;
};

// The melody that a press of the play button would sound, without sounding it.
std::vector<MelodyNote> BuildMelody(IPlaybackHost& host);

class MidiUnit;
class MidiInQueue;

// A run stepped by a MIDI input instead of the clock (step_run.h); once: it
// ends when every member has sounded once.
struct StepInput {
    MidiInQueue* Queue = nullptr;
    bool Once = false;
};

class PlaybackRun {
public:
    // Plays on midi, which outlives the run.
    PlaybackRun(IPlaybackHost& host, MidiUnit& midi) : host_(host), midi_(midi) {}

    // The play button: starts a run, or while one is active asks it to stop at
    // its next check. A press while a stopped run winds down is ignored. A
    // failure ends the run and leaves it idle, then propagates.
    void Press(const PlayRange& range = {});
    // Clears the playing flag ("&Beenden"); the active run ends at its next check.
    void Stop();
    bool Playing() const { return playing_; }
    // A run is under way, possibly stopped and sounding its last element.
    bool Active() const { return active_; }
    // From the next press on, runs are stepped by this input; an empty one
    // (the default) gives timed runs.
    void SetStepInput(StepInput input) { step_ = input; }

private:
    void Play(const PlayRange& range);

    IPlaybackHost& host_;
    MidiUnit& midi_;
    bool playing_ = false;
    bool active_ = false;
    StepInput step_;
};

inline const char* const kCaptionPlay = "Abspielen";
inline const char* const kCaptionStop = "Stopp";
