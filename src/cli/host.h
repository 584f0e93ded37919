#pragma once
// The main window's sources, maps and controls as the command line sets them,
// so that the core's melody building and playback run work on them unchanged.
#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/maptable.h"
#include "formula/formulaparser.h"
#include "midi/clock.h"
#include "playback/run.h"
#include "playback/startup.h"
#include "setup/setup.h"
#include "sources/source_frame.h"

// A command line that cannot be carried out as given (exit status 2).
class ECliUsage : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One sequence-source frame: which source is selected, and what each holds.
class CliSource : public ISourceFrame {
public:
    SourceKind Kind = SourceKind::Explicit;
    std::string ExplicitList;                  // the explicit list
    std::string Formula;                       // the formula field
    std::string Count = "30";                  // "Anzahl Folgeglieder:"
    std::vector<std::string> StartTable{"0"};  // the start-value table's rows 1, 2, ...
    std::vector<std::string> StartValues;      // typed into rows 1, 2, ...; the rest stay
    std::string OeisQuery;                     // the lookup's query field
    std::string OeisSequence;                  // the lookup frame's sequence memo
    bool OeisWhole = false;                    // the lookup loads the b-file
    std::string OeisTitle;                 // "A000045: Fibonacci numbers..." once a lookup found it
    std::vector<std::string> OeisNotices;  // what the lookup had to tell, for the error stream

    // The formula frame's "Los!": the members go into the explicit list, which
    // becomes the selected source; on a failure the list holds what the frame's
    // list would hold and the formula stays selected.
    void Generate(bool zeroNatural);
    // Compiles the formula, fits the start-value table to it and types the
    // start values in; true when the formula uses earlier members.
    bool FitStartTable();
    // What a run reads from the frame: asks the formula or lookup source first.
    std::string Read(bool zeroNatural);

    SourceKind SelectedSource() override { return Kind; }
    void GenerateFormula() override { Generate(zeroNatural_); }
    void LookUp() override;
    std::string LookupMembers() override { return OeisSequence; }
    std::string ExplicitListText() override { return ExplicitList; }

    // The frame as a setup holds it, before anything was generated or looked up.
    void Load(const SourceSetup& setup);

private:
    TTerm term_;
    bool zeroNatural_ = false;
};

class MidiUnit;
class PlaybackRun;

class CliHost : public QuietPlaybackHost {
public:
    CliSource Notes;
    CliSource Tempi;
    bool TempoUsed = false;
    // The expressions' own sequences, where they take one.
    CliSource Dynamics;
    CliSource Panorama;
    bool DynamicsOwn = false;
    bool PanoramaOwn = false;
    bool ZeroNatural = false;
    // The run that a stop request (Ctrl+C) ends at its next check; may be null.
    PlaybackRun* Run = nullptr;

    std::string ReadNoteSource() override { return Notes.Read(ZeroNatural); }
    bool TempoSequenceUsed() override { return TempoUsed; }
    std::string ReadTempoSource() override { return Tempi.Read(ZeroNatural); }
    bool ExpressionSequenceUsed(Expression kind) override {
        return kind == Expression::Dynamics ? DynamicsOwn : PanoramaOwn;
    }
    std::string ReadExpressionSource(Expression kind) override {
        return (kind == Expression::Dynamics ? Dynamics : Panorama).Read(ZeroNatural);
    }
    void ProcessPendingMessages() override;

    // Everything a one-voice setup holds; a setup of several voices is refused.
    void Load(const MelodySetup& setup);
};

// Counted from a signal handler: the first Ctrl+C asks the playing melody to
// stop at its next check, the second asks to silence it and end at once.
void RequestStop();
bool StopRequested();
bool SilenceRequested();

// The system clock, but a sleep that a signal cuts short (a second Ctrl+C,
// SIGTERM, SIGHUP, SIGPIPE): the program then ends through its ending.
class InterruptibleClock : public IClock {
public:
    int64_t NowUs() override;
    void SleepUntilUs(int64_t deadlineUs) override;
};

// The tool's ending after a signal: Note Off for whatever sounds, the output
// closed, unfinished files removed, exit status 128 + signal.
[[noreturn]] void SilenceAndExit(int signal);
// The unit that SilenceAndExit silences (the ending is a plain function, so it
// cannot carry it); nullptr: nothing to silence.
void SetSilencedUnit(MidiUnit* midi);

// Opens device 0 as the program's output for --play, after the notice of a
// request that matched no port (on err); a refusal says which device failed.
void OpenPlayOutput(MidiUnit& midi, std::ostream& err);
