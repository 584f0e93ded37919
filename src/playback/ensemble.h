#pragma once
// Several voices sounded together. Every voice's notes are placed on one
// timeline and sent at absolute deadlines from the ensemble's start, so no
// voice waits for another and the run does not drift.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "playback/timeline.h"
#include "playback/voice_fields.h"

class IClock;
class IMidiOutput;

inline constexpr int kMaxEnsembleVoices = 16;
inline constexpr int kPercussionChannel = 10;

struct EnsembleVoice {
    std::string Name{};
    MelodyTimeline Melody{};               // as the voice's own maps and tempo give it
    int Channel = 1;                       // 1..16; channel 10 sounds General MIDI percussion
    int Program = 0;                       // General MIDI program 0..127
    int Transpose = 0;                     // semitones
    int Velocity = kDefaultVoiceVelocity;  // 1..127, for Note On and Note Off alike
    int64_t OffsetUs = 0;                  // start after the ensemble's start
    bool Mute = false;
    bool Solo = false;
    int Tempo = 0;  // what the melody was made at, for a score's note values; 0: unknown
};

// "Stimme 2 (Bass): ", how a message names a voice (index counted from 0).
std::string VoiceLabel(int index, const std::string& name);

// The channel a voice gets when nothing names one: 1, 2, ... by its place
// (counted from 0), passing over the percussion channel, then from 1 again.
int DefaultVoiceChannel(int index);

// A start offset in whole notes at a tempo (quarter beats per minute).
// Refuses offsets outside 0..kMaxVoiceOffsetWholeNotes (EInvalidInput).
int64_t VoiceOffsetUs(double wholeNotes, int tempo);

// Refuses an ensemble that cannot be played, naming the voice: more than
// kMaxEnsembleVoices voices, a channel, program, velocity, transposition or offset
// out of range (EInvalidInput).
void CheckEnsemble(const std::vector<EnsembleVoice>& voices);

// Muted voices never sound; once any voice is soloed, only soloed voices do.
bool VoiceAudible(const std::vector<EnsembleVoice>& voices, size_t index);

// The sound of a key number in a voice: its note, or -1 for a rest (keys <= 0,
// and transposed notes outside 0..127).
int VoiceNote(const EnsembleVoice& voice, int32_t keyNumber);

struct EnsembleEvent {
    int64_t TimeUs;  // after the ensemble's start
    int Voice;       // index into the voices
    int Member;      // index of the element in the voice's melody
    bool On;
    uint8_t Channel;  // 1..16
    uint8_t Note;
    uint8_t Velocity;
    int32_t Key;  // the transposed key number, for the keyboard
    // The velocity came from the voice's dynamics map: a live mix decides
    // only whether it sounds, not how loud.
    bool MapVelocity = false;
    // Controller 10 to send on the channel right before this Note On (the
    // pan rule of playback/expression.h per channel).
    std::optional<uint8_t> PanController{};
    bool operator==(const EnsembleEvent&) const = default;
};

struct EnsembleTimeline {
    // The program of each channel in use, in the order the voices first use it.
    std::vector<std::pair<uint8_t, uint8_t>> Programs;
    // In sending order: by time; at one time the notes ending come before
    // those starting, a note of no length ending right after its start. A
    // key struck again on its channel while it sounds is ended first; the
    // earlier note's own end is then dropped, so it cannot cut the new one.
    std::vector<EnsembleEvent> Events;
    int64_t EndUs = 0;  // the end of the longest audible voice, rests included
};

// The audible voices on one timeline, or every voice (for a run whose mix may
// change while it plays: the observer's LiveVelocity then decides). Checks the
// ensemble first (CheckEnsemble).
EnsembleTimeline BuildEnsembleTimeline(const std::vector<EnsembleVoice>& voices,
                                       bool everyVoice = false);

// What a window or a command line sees of a run, on the playing thread.
class IEnsembleObserver {
public:
    virtual ~IEnsembleObserver() = default;
    virtual void NoteStarted(const EnsembleEvent&) {}
    virtual void NoteEnded(const EnsembleEvent&) {}
    // Polled while the run waits, about every kEnsemblePollUs but never in
    // the last kEnsemblePollMarginUs before a note: false stops the run.
    virtual bool KeepPlaying() { return true; }
    // Live mixing: the velocity a voice's next note sounds with, or none while
    // the voice is silent (muted, or another one soloed). Asked before each
    // note and at each poll, when a voice that fell silent has its notes ended.
    virtual std::optional<uint8_t> LiveVelocity(int /*voice*/, uint8_t velocity) {
        return velocity;
    }
};

inline constexpr int64_t kEnsemblePollUs = 20000;
inline constexpr int64_t kEnsemblePollMarginUs = 2000;

// Sends the timeline to output at clock's deadlines from now: the programs,
// then every event, then waits for the end. On the end, on a stop and on a
// failure every note still sounding gets its Note Off. Returns false when the
// observer stopped the run. A failure of the output propagates.
bool PlayEnsemble(const EnsembleTimeline& timeline, IMidiOutput& output, IClock& clock,
                  IEnsembleObserver& observer);
