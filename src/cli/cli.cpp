#include "cli/cli.h"

#include <csignal>
#include <ostream>

#include "cli/ensemble_cli.h"
#include "cli/host.h"
#include "cli/options.h"
#include "cli/output.h"
#include "common/convert.h"
#include "common/errors.h"
#include "common/messages.h"
#include "common/quote.h"
#include "common/termination.h"
#include "common/text.h"
#include "melodyfile/export_formats.h"
#include "midi/clock.h"
#include "midi/midi.h"
#include "midi/midi_in.h"
#include "midi/midi_out.h"
#include "midi/port_list.h"
#include "playback/maps.h"
#include "playback/run.h"
#include "playback/scales.h"
#include "playback/startup.h"
#include "setup/setup_file.h"
#include "sources/data_file.h"
#include "sources/oeis.h"

namespace {

// The formula frame as the options fill it.
void SetFormula(CliSource& source, const Arguments& a, const std::string& formula,
                const std::string& countOption, const std::string& startOption) {
    source.Kind = SourceKind::Formula;
    source.Formula = formula;
    if (a.Has(countOption)) source.Count = a.Value(countOption);
    if (a.Has(startOption)) source.StartValues = SplitValues(a.Value(startOption));
}

int Eval(const Arguments& a, std::ostream& out, std::ostream& err) {
    if (a.operands.empty()) throw ECliUsage("eval braucht eine Formel");
    if (a.operands.size() > 1) throw ECliUsage(msg::SurplusArgument(a.operands[1]));
    CliSource source;
    SetFormula(source, a, a.operands[0], "--count", "--start");
    try {
        source.Generate(a.Has("--zero"));
    } catch (const Exception& e) {
        out << source.ExplicitList << '\n';
        err << ErrorBoxText(e.Message()) << '\n';
        return kExitFailure;
    }
    out << source.ExplicitList << '\n';
    return kExitOk;
}

// The formula frame after the formula was typed and the field left (the
// start-value table fitted to it), and start values typed into its rows.
void SetFormula(SourceSetup& source, const Arguments& a, const std::string& formula,
                const std::string& countOption, const std::string& startOption) {
    source.Selected = SourceKind::Formula;
    source.Formula.Text = formula;
    if (a.Has(countOption)) source.Formula.Count = a.Value(countOption);
    CliSource frame;
    frame.Formula = formula;
    frame.StartTable = source.Formula.StartValues;
    if (a.Has(startOption)) frame.StartValues = SplitValues(a.Value(startOption));
    source.Formula.StartValuesShown = frame.FitStartTable();
    source.Formula.StartValues = frame.StartTable;
}

// --time, or the meter there was.
TimeSignature TimeOption(const Arguments& a, const TimeSignature& fallback) {
    if (!a.Has("--time")) return fallback;
    try {
        return ParseTimeSignature(a.Value("--time"));
    } catch (const EInvalidInput& e) {
        throw ECliUsage("--time: " + e.Message());
    }
}

// --velocity-* or --pan-*: the expression's map and its own sequence; any of
// them turns the expression on.
void ConfigureExpression(ExpressionSetup& expression, const Arguments& a,
                         const std::string& prefix) {
    const std::string map = prefix + "-map", list = prefix + "-list", formula = prefix + "-formula";
    if (a.Has(list) && a.Has(formula))
        throw ECliUsage("Nur eine eigene Folge ist möglich: " + list + " oder " + formula);
    for (const std::string& name : {prefix + "-count", prefix + "-start"})
        RequireWith(a, name, formula);
    if (a.Has(map)) {
        expression.Used = true;
        expression.Map = SplitValues(a.Value(map));
        if (expression.Map.empty()) throw ECliUsage(map + " braucht mindestens einen Wert");
    }
    if (a.Has(list)) {
        expression.Used = expression.OwnSequence = true;
        expression.Sequence.Selected = SourceKind::Explicit;
        expression.Sequence.ExplicitList = a.Value(list);
    }
    if (a.Has(formula)) {
        expression.Used = expression.OwnSequence = true;
        SetFormula(expression.Sequence, a, a.Value(formula), prefix + "-count", prefix + "-start");
    }
}

// The note sequence's list from --list-file: the column --column names, or
// the file's default one. Dropped signs are said on err; the list plays all the same.
void ReadListFile(VoiceSetup& voice, const Arguments& a, std::ostream& err) {
    const std::string& path = a.Value("--list-file");
    if (path.empty()) throw ECliUsage(msg::NeedsFileName("--list-file"));
    const std::string column = a.Has("--column") ? a.Value("--column") : "";
    if (a.Has("--column") && Trimmed(column).empty())
        throw ECliUsage("--column braucht die Nummer (ab 1) oder den Namen einer Spalte");
    const std::string text = ReadDataFile(path);
    DataList read;
    try {
        read = ReadDataList(text, column);
    } catch (const EDataFileError& e) {
        throw EDataFileError(DataFileMessage(path, e.Message()));
    }
    if (read.NegativeValues) err << kDataSignsNotRead << '\n';
    voice.Notes.Selected = SourceKind::Explicit;
    voice.Notes.ExplicitList = read.List;
}

// The note sequence's source as --list, --formula or --oeis give it.
void SetNoteSource(MelodySetup& setup, const Arguments& a) {
    VoiceSetup& voice = setup.Voices.front();
    if (a.Has("--list")) {
        voice.Notes.Selected = SourceKind::Explicit;
        voice.Notes.ExplicitList = a.Value("--list");
    }
    if (a.Has("--formula")) SetFormula(voice.Notes, a, a.Value("--formula"), "--count", "--start");
    if (a.Has("--oeis")) {
        voice.Notes.Selected = SourceKind::Oeis;
        voice.Notes.Oeis = OeisSetup{a.Value("--oeis"), "", "", ""};
        setup.OeisWholeSequences = a.Has("--oeis-all");
    }
}

// The setup that the options make of base (the start-up values or a file).
void ConfigureSetup(MelodySetup& setup, const Arguments& a, bool sourceRequired,
                    std::ostream& err) {
    NoOperands(a);
    const int sources =
        a.Has("--list") + a.Has("--list-file") + a.Has("--formula") + a.Has("--oeis");
    if (sources == 0 && sourceRequired)
        throw ECliUsage(
            std::string(CommandName(a.command)) +
            " braucht eine Quelle: --list, --list-file, --formula, --oeis oder --setup");
    if (sources > 1)
        throw ECliUsage("Nur eine Quelle ist möglich: --list, --list-file, --formula oder --oeis");
    RequireWith(a, "--column", "--list-file");
    if (a.Has("--tempo-list") && a.Has("--tempo-formula"))
        throw ECliUsage("Nur eine Tempofolge ist möglich: --tempo-list oder --tempo-formula");
    for (const char* name : {"--count", "--start"}) RequireWith(a, name, "--formula");
    for (const char* name : {"--tempo-count", "--tempo-start"})
        RequireWith(a, name, "--tempo-formula");
    // Also with the expressions' own formulas, which the voice's box counts for too.
    if (a.Has("--zero") && !a.Has("--formula") && !a.Has("--tempo-formula") &&
        !a.Has("--velocity-formula") && !a.Has("--pan-formula"))
        throw ECliUsage("Die Option --zero gilt nur zusammen mit --formula oder --tempo-formula");
    RequireWith(a, "--oeis-all", "--oeis");
    if (a.Has("--note-map") && (a.Has("--scale") || a.Has("--scale-steps") || a.Has("--root")))
        throw ECliUsage("--note-map und --scale/--scale-steps/--root schließen einander aus");
    if (setup.Voices.size() != 1) throw Exception(msg::NotOneVoice(setup.Voices.size()));

    SetNoteSource(setup, a);
    VoiceSetup& voice = setup.Voices.front();
    if (a.Has("--tempo-list")) {
        voice.TempoSequenceUsed = true;
        voice.Tempi.Selected = SourceKind::Explicit;
        voice.Tempi.ExplicitList = a.Value("--tempo-list");
    }
    if (a.Has("--tempo-formula")) {
        voice.TempoSequenceUsed = true;
        SetFormula(voice.Tempi, a, a.Value("--tempo-formula"), "--tempo-count", "--tempo-start");
    }
    if (a.Has("--zero")) voice.ZeroNatural = true;

    // A preset box set rewrites the note map from both boxes, as in the window;
    // index 0 of either is "-keine Vorgabe-" and leaves the map as it is.
    if (a.Has("--scale") || a.Has("--scale-steps") || a.Has("--root")) {
        // Own steps choose "Eigene...", which has no meaning without them.
        voice.ScaleIndex =
            IntegerOption(a, "--scale", 0, static_cast<int>(kTonartEntries.size()) - 1,
                          a.Has("--scale-steps") ? kOwnScaleIndex : voice.ScaleIndex);
        const std::string own = "--scale " + std::to_string(kOwnScaleIndex) + " (Eigene...)";
        if (a.Has("--scale-steps")) {
            if (voice.ScaleIndex != kOwnScaleIndex)
                throw ECliUsage("--scale-steps gilt nur zusammen mit " + own);
            try {
                voice.OwnScaleSteps = ParseScaleSteps(a.Value("--scale-steps"));
            } catch (const EInvalidInput& e) {
                throw ECliUsage("--scale-steps: " + e.Message());
            }
        }
        if (voice.ScaleIndex == kOwnScaleIndex && voice.OwnScaleSteps.empty())
            throw ECliUsage(own + " braucht --scale-steps");
        voice.RootIndex = IntegerOption(
            a, "--root", 0, static_cast<int>(kGrundtonEntries.size()) - 1, voice.RootIndex);
        ValueListTable map = MapTable(voice.NoteMap);
        ApplyScalePreset(map, voice.ScaleIndex, voice.RootIndex, voice.OwnScaleSteps);
        voice.NoteMap = VoiceSetup::ValuesOf(map);
    }
    for (const auto& [name, values] :
         {std::pair{"--note-map", &voice.NoteMap}, {"--tempo-map", &voice.TempoMap}}) {
        if (!a.Has(name)) continue;
        *values = SplitValues(a.Value(name));
        if (values->empty()) throw ECliUsage(std::string(name) + " braucht mindestens einen Wert");
    }
    setup.Tempo = IntegerOption(a, "--tempo", kTempoMin, kTempoMax, setup.Tempo);
    setup.Meter = TimeOption(a, setup.Meter);
    voice.Instrument = IntegerOption(a, "--instrument", 0, 127, voice.Instrument);
    ConfigureExpression(voice.Dynamics, a, "--velocity");
    ConfigureExpression(voice.Panorama, a, "--pan");
    // Last: every mistake of the command line is said before the file is read.
    if (a.Has("--list-file")) ReadListFile(voice, a, err);
}

// The start-up values, or the file that --setup names.
MelodySetup BaseSetup(const Arguments& a) {
    if (!a.Has("--setup")) return MelodySetup{};
    if (a.Value("--setup").empty()) throw ECliUsage(msg::NeedsFileName("--setup"));
    return ReadSetupFile(a.Value("--setup"));
}

extern "C" void OnInterrupt(int) {
    RequestStop();
    // The second Ctrl+C still silences the notes; a third ends the program at once.
    if (SilenceRequested()) {
        std::signal(SIGINT, SIG_DFL);
        NoteTerminationSignal(SIGINT);
    }
}

// Sounds the melody as the play button does; true when it ran to its end.
// With steps, each Note On of that input sounds the next member, once through the melody.
bool Play(MidiUnit& midi, CliHost& host, std::ostream& err, MidiInQueue* steps = nullptr) {
    // From the open output on, a signal first silences what sounds.
    TidyingScope tidying;
    OpenPlayOutput(midi, err);
    // Note Off for whatever still sounds, however the run ends.
    InterruptibleClock clock;
    midi.SetClock(&clock);
    struct Release {
        MidiUnit& midi;
        ~Release() {
            midi.ReleaseMidiOut();
            midi.SetClock(nullptr);
        }
    } release{midi};
    if (StopRequested()) return false;
    PlaybackRun run(host, midi);
    if (steps) run.SetStepInput({steps, true});
    host.Run = &run;
    const RealTimeScope realTime;  // the rhythm kept on a busy machine too
    run.Press();
    host.Run = nullptr;
    return !StopRequested();
}

// Several --setup files, an --offset, or a file of several voices: an ensemble.
bool IsEnsemble(const Arguments& a) {
    if (a.voiceFiles.size() > 1 || a.Has("--offset")) return true;
    if (a.voiceFiles.empty()) return false;
    try {
        return ReadSetupFile(a.voiceFiles.front().Path).Voices.size() > 1;
    } catch (const Exception&) {
        return false;  // the one-voice path reports it
    }
}

// The settings of several voices stand in their files, not in options.
void OnlyEnsembleOptions(const Arguments& a) {
    for (const OptionInfo& option : kOptions) {
        const std::string name = option.name;
        if (a.Has(name) && name != "--setup" && name != "--offset" && name != "--play" &&
            name != "--out" && name != "--quality")
            throw ECliUsage("Die Option " + name +
                            " gilt nicht für mehrere Stimmen; sie stehen in ihren Dateien");
    }
}

int Ensemble(MidiUnit& midi, const Arguments& a, std::ostream& out, std::ostream& err) {
    NoOperands(a);
    OnlyEnsembleOptions(a);
    const std::optional<OutFile> file = OutOption(a);
    return EnsembleMelody(
        midi, a.voiceFiles, a.Has("--play"), file ? &*file : nullptr,
        [] { std::signal(SIGINT, OnInterrupt); }, out, err);
}

int Melody(MidiUnit& midi, const Arguments& a, std::ostream& out, std::ostream& err) {
    if (IsEnsemble(a)) return Ensemble(midi, a, out, err);
    const std::optional<OutFile> file = OutOption(a);
    CliHost host;
    try {
        MelodySetup setup = BaseSetup(a);
        ConfigureSetup(setup, a, !a.Has("--setup"), err);
        host.Load(setup);
        // The title names the source as it was chosen, before a formula's members
        // take its place.
        const SourceKind source = host.Notes.Kind;
        const MelodyTimeline melody = BuildTimeline(host);
        for (const CliSource* frame : {&host.Notes, &host.Tempi, &host.Dynamics, &host.Panorama})
            for (const std::string& notice : frame->OeisNotices) err << notice << '\n';
        // The input before anything is written: a port that is not there ends the call.
        std::unique_ptr<MidiInPort> stepInput;
        if (a.Has("--step-input"))
            stepInput =
                OpenMidiInPort(ResolveMidiInPort(ListMidiInPorts(), a.Value("--step-input")));
        const bool play = a.Has("--play") || stepInput;
        // From here on, Ctrl+C means: stop the melody.
        if (play) std::signal(SIGINT, OnInterrupt);
        // The file first: a reader that stops reading the listing (| head)
        // ends the program, and the file is kept.
        std::string fileFailure;  // said after the listing, which is printed all the same
        if (file) {
            try {
                const ScalePreset preset = PresetOfNoteMap(setup.Voices.front().NoteMap);
                file->Format.WriteOne(
                    file->Path,
                    {melody, host.Tempo, host.Program,
                     SourceTitle(source, host.Notes.Formula, host.Notes.OeisTitle),
                     preset.ScaleIndex, preset.RootIndex, setup.Meter, file->Quality},
                    {});
            } catch (const Exception& e) {
                fileFailure = e.Message();
            }
        }
        PrintMelody(out, melody, kNoteVelocity, HasExpression(melody));
        if (OutputLost(out, err)) return kExitFailure;
        if (!fileFailure.empty()) throw Exception(fileFailure);
        // The sources have been read: the run plays the list a formula or a
        // lookup left, as a second press of the button would.
        if (play && !Play(midi, host, err, stepInput ? &stepInput->Queue() : nullptr))
            return kExitStopped;
    } catch (const Exception& e) {
        err << ErrorBoxText(e.Message()) << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

// save DATEI QUELLE [OPTIONEN]: the setup that melody would play, as a file.
// A lookup is made now, as "Los!" would, so the file plays without one.
int Save(Arguments a, std::ostream& err) {
    if (a.operands.empty() || a.operands.front().empty())
        throw ECliUsage("save braucht den Namen der Datei");
    if (a.voiceFiles.size() > 1) throw ECliUsage("save nimmt nur eine --setup-Datei");
    const std::string path = a.operands.front();
    a.operands.erase(a.operands.begin());
    try {
        MelodySetup setup = BaseSetup(a);
        if (setup.Voices.size() > 1) {
            // An ensemble is written as its file holds it.
            NoOperands(a);
            OnlyEnsembleOptions(a);
            SaveSetupFile(path, setup);
            return kExitOk;
        }
        ConfigureSetup(setup, a, !a.Has("--setup"), err);
        OeisSetup& oeis = setup.Voices.front().Notes.Oeis;
        if (a.Has("--oeis")) {
            const OeisHit hit = OeisLookup().Run(oeis.Query, setup.OeisWholeSequences);
            for (const std::string& notice : hit.notices) err << notice << '\n';
            oeis.ANumber = hit.linkCaption;
            oeis.Name = hit.name;
            oeis.Terms = hit.terms;
        }
        SaveSetupFile(path, setup);
    } catch (const Exception& e) {
        err << ErrorBoxText(e.Message()) << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

int Ports(MidiUnit& midi, const std::vector<std::string>& args, std::ostream& out,
          std::ostream& err) {
    if (!args.empty()) throw ECliUsage(msg::SurplusArgument(args.front()));
    const std::string notice = MidiOutRequestNotice(midi);
    if (!notice.empty()) err << notice << '\n';
    for (const std::string& name : midi.Devices().Names()) out << name << '\n';
    return kExitOk;
}

int RunCommand(MidiUnit& midi, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err) {
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (arg == "--help" || arg == "-h") {
            out << HelpText();
            return kExitOk;
        }
    }
    try {
        try {
            if (args.empty())
                throw ECliUsage("Kein Befehl angegeben (eval, melody, save oder ports)");
            const std::string& command = args[0];
            const std::vector<std::string> rest(args.begin() + 1, args.end());
            if (command == "eval") return Eval(ParseArguments(kEval, rest), out, err);
            if (command == "melody") return Melody(midi, ParseArguments(kMelody, rest), out, err);
            if (command == "save") return Save(ParseArguments(kSave, rest), err);
            if (command == "ports") return Ports(midi, rest, out, err);
            throw ECliUsage("Unbekannter Befehl \"" + QuotedText(command) +
                            "\" (eval, melody, save oder ports)");
        } catch (const ECliUsage& e) {
            err << "sonavix-cli: " << e.what() << "\nHilfe: sonavix-cli --help\n";
            return kExitUsage;
        }
    } catch (const std::exception& e) {
        // Faults outside the program's own messages (out of memory, say).
        err << ErrorBoxText(e.what()) << '\n';
        return kExitFailure;
    }
}

}  // namespace

int RunCli(MidiUnit& midi, const std::vector<std::string>& args, std::ostream& out,
           std::ostream& err) {
    // These end the program; while it plays or writes a file they wait for
    // its next check, which silences the notes and removes the unfinished file.
    SetSilencedUnit(&midi);
    SetTerminationEnding(SilenceAndExit);
    for (const int signal : {SIGTERM, SIGHUP, SIGPIPE, SIGINT}) HandleTerminationSignal(signal);
    const int status = RunCommand(midi, args, out, err);
    // Output that did not arrive is no success (a failure has said so already).
    if (status != kExitFailure && OutputLost(out, err)) return kExitFailure;
    return status;
}
