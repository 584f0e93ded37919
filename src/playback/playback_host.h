#pragma once
// What a playback run and the melody built without sounding it both read: the
// window that hosts them, and the members it gives, one note at a time.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "playback/expression.h"
#include "playback/maps.h"
#include "playback/seqtext.h"

// What the run needs from the window that hosts it. Every call reads the
// controls as they are at that moment.
class IPlaybackHost {
public:
    virtual ~IPlaybackHost() = default;
    // Index of the instrument box, 0..127.
    virtual int InstrumentProgram() = 0;
    // The raw text of the note frame's source, after asking a formula or
    // lookup source for its members where one is selected.
    virtual std::string ReadNoteSource() = 0;
    // Whether "Für Tempo eigene Folge verwenden" is ticked, and that frame's raw text.
    virtual bool TempoSequenceUsed() = 0;
    virtual std::string ReadTempoSource() = 0;
    // What kind asks of a member through the maps: a note member's key number,
    // or a tempo member's duration in ms or length exponent. A member is its
    // decimal digits, of any length.
    virtual int32_t GetKeyOrTempo(LookupKind kind, std::string_view member) = 0;
    // "Melodie auf Klaviatur anzeigen", and the keyboard window.
    virtual bool KeyboardWanted() = 0;
    virtual void ShowKeyboard() = 0;
    virtual void MarkKey(int32_t keyNumber) = 0;
    virtual void UnmarkKey(int32_t keyNumber) = 0;
    // The six source controls ("Los!" of both sub-frames and the explicit list, in both frames).
    virtual void SetSourceControlsEnabled(bool enabled) = 0;
    virtual void SetPlayCaption(const std::string& caption) = 0;
    virtual void ProcessPendingMessages() = 0;
    // The member (counted from 0) whose note is about to sound, with its
    // value and the tempo member that gives its length. For displays.
    virtual void NoteStarting(size_t /*index*/, std::string_view /*member*/,
                              std::string_view /*tempoMember*/) {}
    // The expression maps (playback/expression.h), read like the tempo map:
    // whether kind is on (off, the notes carry no such value), whether it takes
    // its own sequence, that frame's raw text, and what a member of it gives
    // (a velocity, or a pan with the voice's offset). A host without these
    // plays as before.
    virtual bool ExpressionUsed(Expression /*kind*/) { return false; }
    virtual bool ExpressionSequenceUsed(Expression /*kind*/) { return false; }
    virtual std::string ReadExpressionSource(Expression /*kind*/) { return {}; }
    virtual int ExpressionValue(Expression /*kind*/, std::string_view /*member*/) { return 0; }
};

// The members a run walks: the note sequence, and the tempo sequence lined up
// with it (repeated as often as needed).
struct MelodySequences {
    SequenceCursor Notes;
    SequenceCursor Tempi;
    // Those of the expressions that are on, lined up likewise.
    std::optional<SequenceCursor> Dynamics{};
    std::optional<SequenceCursor> Panorama{};
};

// Reads both sources as a run does when it starts: the note text, the tempo
// text (or the note text again), normalised; an empty tempo text under notes
// is replaced by the note text.
MelodySequences ReadMelodySequences(IPlaybackHost& host);

// What the expressions that are on give a note: each takes its next member.
struct NoteExpression {
    std::optional<uint8_t> Velocity;
    std::optional<int8_t> Pan;
};
NoteExpression TakeExpression(IPlaybackHost& host, MelodySequences& melody);
// Passes one member of each expression over, in step with a note passed over.
void SkipExpression(MelodySequences& melody);

// One note of a melody: the key number (<= 0 a rest) and its duration, with
// its velocity and pan where the expression maps give them.
struct MelodyNote {
    int32_t Key;
    int32_t DurationMs;
    std::optional<uint8_t> Velocity{};
    std::optional<int8_t> Pan{};
    bool operator==(const MelodyNote&) const = default;
};
