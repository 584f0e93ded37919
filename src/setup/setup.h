#pragma once
// Everything the window holds for a melody, as plain values: what a setup
// file stores, what the window shows after opening one and what the command
// line plays. A default-constructed MelodySetup holds the start-up values.
//
// A file lists its voices; the window plays one voice, so it opens files with
// exactly one. New settings become new fields with a start-up default, so
// files without them still open.
#include <cstdint>
#include <string>
#include <vector>

#include "playback/ensemble.h"
#include "playback/expression.h"
#include "playback/meter.h"
#include "playback/startup.h"
#include "playback/voice_fields.h"
#include "sources/source_frame.h"

// The formula frame: its fields as typed, and the start-value table.
struct FormulaSetup {
    std::string Text = kStartFormula;
    std::string Count = kStartCount;
    // Values of the rows "1", "2", ...; the table always has a row.
    std::vector<std::string> StartValues{"0"};
    bool StartValuesShown = false;

    bool operator==(const FormulaSetup&) const = default;
};

// The lookup frame as a lookup left it, so the file plays without a new one.
struct OeisSetup {
    std::string Query;
    std::string ANumber;  // "A000045" after a lookup, empty before the first
    std::string Name;     // the sequence's name
    std::string Terms;    // the result text the lookup wrote
    bool operator==(const OeisSetup&) const = default;
};

// One sequence-source frame.
struct SourceSetup {
    SourceKind Selected = SourceKind::Formula;
    FormulaSetup Formula;
    OeisSetup Oeis;
    std::string ExplicitList = kDefaultExplicitList;
    bool operator==(const SourceSetup&) const = default;
};

// Expression: how loud (Dynamics) and where (Panorama) each note of a voice
// sounds, two settings of one kind. Off (Used false) the voice sounds as it
// always did: every note at the voice's velocity, no controller 10. On, the
// expression's sequence is the note sequence, or with OwnSequence the frame
// Sequence, lined up with the notes and repeated as the tempo sequence is; a
// member's remainder modulo the length of Map picks its row (velocities 1 to
// 127, pans -64 left, 0 centre, 63 right; rows as typed, like NoteMap). The
// voice's Pan (VoiceMix) offsets the pan rows, the sum clamped to -64..63; a
// voice pan other than 0 without a panorama map places all its notes there.
// Controller 10 (pan + 64) goes out before the first note with a pan and
// before each note whose pan differs from the last sent on its channel.
struct ExpressionSetup {
    bool Used = false;
    bool OwnSequence = false;  // "eigene Folge verwenden"
    SourceSetup Sequence{};
    std::vector<std::string> Map{};
    bool operator==(const ExpressionSetup&) const = default;
};

// One voice: its sequences, maps and instrument, and how it sounds in an
// ensemble (a one-voice file keeps those defaults).
struct VoiceSetup : VoiceMix {
    SourceSetup Notes;
    bool TempoSequenceUsed = false;
    SourceSetup Tempi;
    bool ZeroNatural = false;  // the two "0 ist eine natürliche Zahl" boxes agree
    // Preset box indices; 0 is "-keine Vorgabe-".
    int ScaleIndex = kStartScaleIndex;
    int RootIndex = kStartRootIndex;
    // The steps of "Eigene..." in semitones; empty until some were given.
    std::vector<int> OwnScaleSteps;
    std::vector<std::string> NoteMap = ValuesOf(StartNoteMap());
    std::vector<std::string> TempoMap{kStartTempoMapValue};
    int Instrument = kStartInstrument;
    ExpressionSetup Dynamics{.Map = {kStartVelocityMapValue}};
    ExpressionSetup Panorama{.Map = {kStartPanMapValue}};

    bool operator==(const VoiceSetup&) const = default;
    static std::vector<std::string> ValuesOf(const ValueListTable& table);
};

struct MelodySetup {
    int Tempo = kStartTempo;
    bool ShowOnKeyboard = true;  // "Melodie auf Klaviatur anzeigen"
    // Lookups load the whole b-file of their hit instead of its short list.
    bool OeisWholeSequences = false;
    std::vector<VoiceSetup> Voices{1};
    TimeSignature Meter{};  // the bars of a score; files keep it only when not 4/4

    // Where the file came from; written on save, read for information only.
    std::string ProgramVersion;
    std::string SavedAt;  // UTC, "2026-12-09T00:30:00Z"

    bool operator==(const MelodySetup&) const = default;
};

// The map rows as a table holds them.
ValueListTable MapTable(const std::vector<std::string>& values);
