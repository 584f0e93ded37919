#include "cli/cli.h"

#include <cctype>
#include <csignal>
#include <map>
#include <optional>
#include <ostream>

#include "cli/ensemble_cli.h"
#include "cli/host.h"
#include "cli/output.h"
#include "common/convert.h"
#include "common/errors.h"
#include "common/quote.h"
#include "common/termination.h"
#include "common/text.h"
#include "melodyfile/midifile.h"
#include "melodyfile/score.h"
#include "melodyfile/wavfile.h"
#include "midi/clock.h"
#include "midi/midi.h"
#include "midi/midi_out.h"
#include "midi/port_list.h"
#include "playback/maps.h"
#include "playback/run.h"
#include "playback/scales.h"
#include "playback/startup.h"
#include "setup/setup_file.h"
#include "sources/oeis.h"

namespace {

enum Command { kEval = 1, kMelody = 2, kSave = 4 };
// What melody plays, save writes.
constexpr int kSetup = kMelody | kSave;

struct OptionInfo {
    const char* name;
    bool takesValue;
    int commands;  // Command bits
};

const OptionInfo kOptions[] = {
    {"--count", true, kEval | kSetup}, {"--zero", false, kEval | kSetup},
    {"--start", true, kEval | kSetup}, {"--list", true, kSetup},
    {"--formula", true, kSetup},       {"--oeis", true, kSetup},
    {"--tempo-list", true, kSetup},    {"--tempo-formula", true, kSetup},
    {"--tempo-count", true, kSetup},   {"--tempo-start", true, kSetup},
    {"--scale", true, kSetup},         {"--scale-steps", true, kSetup},
    {"--root", true, kSetup},          {"--note-map", true, kSetup},
    {"--tempo-map", true, kSetup},     {"--tempo", true, kSetup},
    {"--instrument", true, kSetup},    {"--play", false, kMelody},
    {"--out", true, kMelody},          {"--setup", true, kSetup},
    {"--offset", true, kMelody},       {"--oeis-all", false, kSetup},
};

std::string HelpText() {
    std::string scales;
    for (size_t i = 0; i < kTonartEntries.size(); ++i)
        scales += "                          " + std::to_string(i) + " " + kTonartEntries[i] + "\n";
    return "Sonavix auf der Kommandozeile: Zahlenfolgen als Melodien.\n"
           "\n"
           "Aufruf:\n"
           "  sonavix-cli eval [--count N] [--zero] [--start W1,W2,...] FORMEL\n"
           "  sonavix-cli melody QUELLE [OPTIONEN]\n"
           "  sonavix-cli save DATEI.sonavix QUELLE [OPTIONEN]\n"
           "  sonavix-cli ports\n"
           "  sonavix-cli --help\n"
           "\n"
           "eval berechnet die Folge einer Formel wie \"Los!\" im Notenrahmen und gibt sie\n"
           "als eine Zeile aus, z. B. \"1, 4, 9\".\n"
           "  --count N             Anzahl Folgeglieder (Vorgabe 30)\n"
           "  --zero                0 ist eine natürliche Zahl (Index ab 0)\n"
           "  --start W1,W2,...     Startwerte von x_1, x_2, ... (fehlende sind 0)\n"
           "\n"
           "melody gibt die Melodie aus, die \"Abspielen\" spielen würde: je Note eine\n"
           "Zeile mit Tastennummer und Dauer in Millisekunden (Tasten <= 0 sind Pausen).\n"
           "QUELLE der Notenfolge, genau eine von:\n"
           "  --list TEXT           explizite Angabe, z. B. \"1, 2, 3\"\n"
           "  --formula FORMEL      Formel, mit --count, --zero und --start wie bei eval\n"
           "  --oeis SUCHE          Suche in der OEIS (A-Nummer, Suchwort oder Glieder)\n"
           "  --oeis-all            mit --oeis: alle Glieder aus der b-Datei der Folge\n"
           "                        (bis 10 000) statt der kurzen Liste\n"
           "  --setup DATEI         eine Sonavix-Datei; die Optionen ändern einzelne\n"
           "                        Einstellungen (eine Quelle ersetzt die der Notenfolge)\n"
           "MEHRERE STIMMEN: --setup A.sonavix --setup B.sonavix ... (oder eine Datei mit\n"
           "mehreren Stimmen) spielt die Stimmen zusammen; je Note eine Zeile mit Nummer\n"
           "der Stimme, Tastennummer und Dauer. Nur --play und --out gelten dann;\n"
           "  --offset W            Einsatz der Stimmen der --setup-Datei davor in ganzen\n"
           "                        Noten (z. B. 1 oder 0,5; ein Kanon ist dieselbe Datei\n"
           "                        zweimal mit Einsatz); Stimmen aus Dateien mit einer\n"
           "                        Stimme spielen auf Kanal 1, 2, ... (ohne 10)\n"
           "  --out DATEI.mid       eine MIDI-Datei mit einer Spur je Stimme (Format 1),\n"
           "  --out DATEI.wav       alle Stimmen gemischt\n"
           "OPTIONEN:\n"
           "  --tempo-list TEXT     eigene Folge für die Notenlängen (explizit)\n"
           "  --tempo-formula F     eigene Folge für die Notenlängen (Formel), mit\n"
           "  --tempo-count N       ihrer Anzahl Folgeglieder (Vorgabe 30) und\n"
           "  --tempo-start W,...   ihren Startwerten\n"
           "  --scale INDEX         Tonleiter (Vorgabe 7):\n" +
           scales +
           "  --scale-steps TEXT    eigene Tonleiter (--scale 15): Schritte in Halbtönen von\n"
           "                        Ton zu Ton, zusammen höchstens 12, z. B. \"2 2 1 2 2 2 1\"\n"
           "  --root INDEX          Grundton als Tastennummer 1 bis 77 (Vorgabe 40 = c');\n"
           "                        0 = -keine Vorgabe-\n"
           "  --note-map W,W,...    Notenwerte der Zeilen 0, 1, ... statt --scale/--root\n"
           "  --tempo-map W,W,...   Notenlängen der Zeilen 0, 1, ... (Vorgabe 2 = Viertel)\n"
           "  --tempo T             Tempo 20 bis 220 (Vorgabe 90)\n"
           "  --instrument N        General-MIDI-Instrument 0 bis 127 (Vorgabe 0)\n"
           "  --play                spielt die Melodie auf MIDI-Gerät 0 (Strg+C beendet sie,\n"
           "                        wenn die klingende und die nächste Note gespielt sind,\n"
           "                        ein zweites Strg+C sofort; SONAVIX_MIDI_OUT wählt den\n"
           "                        Anschluss)\n"
           "  --out DATEI.mid       schreibt die Melodie als Standard-MIDI-Datei;\n"
           "  --out DATEI.wav       als WAV-Datei (44,1 kHz, Stereo) über den eingebauten\n"
           "                        Synthesizer (SONAVIX_SOUNDFONT wählt die SoundFont);\n"
           "  --out DATEI.musicxml  als MusicXML-Partitur; --out DATEI.ly als LilyPond-Satz\n"
           "\n"
           "save schreibt die Einstellungen, die melody spielen würde, als Sonavix-Datei\n"
           "(ohne --play und --out); eine Suche in der OEIS geschieht dabei sofort, so dass\n"
           "die Datei ohne Netz dasselbe spielt.\n"
           "\n"
           "ports zeigt die MIDI-Ausgänge, je Zeile einen, Gerät 0 zuerst.\n"
           "\n"
           "Die Suche in der OEIS fragt https://oeis.org/ oder die Adresse in\n"
           "SONAVIX_OEIS_BASE.\n"
           "\n"
           "Exit-Status: 0 erfolgreich, 1 Fehler (Meldung auf der Fehlerausgabe; eval gibt\n"
           "die bis dahin berechneten Glieder aus), 2 fehlerhafter Aufruf, 128 + Nummer\n"
           "des Signals, wenn ein Signal das Programm beendet (130 nach Strg+C, 143 nach\n"
           "SIGTERM); eine klingende Note verstummt vorher.\n";
}

// The command line, read but not yet checked against what each command needs.
struct Arguments {
    Command command;
    std::map<std::string, std::string> options;  // flags hold ""
    std::vector<std::string> operands;
    std::vector<VoiceFileArgument> voiceFiles;  // every --setup, each with the --offset after it
    bool Has(const std::string& name) const { return options.count(name) != 0; }
    const std::string& Value(const std::string& name) const { return options.at(name); }
};

const char* CommandName(Command command) {
    return command == kEval ? "eval" : command == kMelody ? "melody" : "save";
}

Arguments ParseArguments(Command command, const std::vector<std::string>& args) {
    Arguments parsed{command, {}, {}, {}};
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // A formula may begin with "-" ("-x+3"): only "--" starts an option.
        if (optionsEnded || !arg.starts_with("--")) {
            parsed.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const OptionInfo* known = nullptr;
        for (const OptionInfo& candidate : kOptions)
            if (name == candidate.name) known = &candidate;
        if (!known) throw ECliUsage("Unbekannte Option \"" + QuotedText(name) + "\"");
        if (!(known->commands & command))
            throw ECliUsage("Die Option " + name + " gilt nicht für " + CommandName(command));
        const bool repeatable = name == "--setup" || name == "--offset";
        if (parsed.Has(name) && !repeatable)
            throw ECliUsage("Die Option " + name + " ist mehrfach angegeben");
        std::string value;
        if (!known->takesValue) {
            if (equals != std::string::npos)
                throw ECliUsage("Die Option " + name + " nimmt keinen Wert");
        } else if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            throw ECliUsage("Der Option " + name + " fehlt ihr Wert");
        }
        if (name == "--setup") parsed.voiceFiles.push_back({value, std::nullopt});
        if (name == "--offset") {
            if (parsed.voiceFiles.empty() || parsed.voiceFiles.back().Offset)
                throw ECliUsage("--offset gilt für die --setup-Datei davor; dort steht keine");
            parsed.voiceFiles.back().Offset = value;
        }
        parsed.options[name] = value;
    }
    return parsed;
}

// "1, 2,3" -> {"1", "2", "3"}: values as they are typed into table cells,
// without the blanks around them; "" -> no values.
std::vector<std::string> SplitValues(const std::string& text) {
    std::vector<std::string> values;
    if (text.find_first_not_of(" \t") == std::string::npos) return values;
    size_t begin = 0;
    while (true) {
        const size_t end = text.find(',', begin);
        std::string value =
            text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        values.push_back(Trimmed(value));
        if (end == std::string::npos) return values;
        begin = end + 1;
    }
}

int IntegerOption(const Arguments& a, const std::string& name, int low, int high, int fallback) {
    if (!a.Has(name)) return fallback;
    int32_t value = 0;
    if (!TryStrToInt(a.Value(name), value) || value < low || value > high)
        throw ECliUsage(name + " erwartet eine ganze Zahl von " + std::to_string(low) + " bis " +
                        std::to_string(high) + ", nicht \"" + QuotedText(a.Value(name)) + "\"");
    return value;
}

void RequireWith(const Arguments& a, const std::string& name, const std::string& needed) {
    if (a.Has(name) && !a.Has(needed))
        throw ECliUsage("Die Option " + name + " gilt nur zusammen mit " + needed);
}

void NoOperands(const Arguments& a) {
    if (!a.operands.empty())
        throw ECliUsage("Überzähliges Argument \"" + QuotedText(a.operands.front()) + "\"");
}

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
    if (a.operands.size() > 1)
        throw ECliUsage("Überzähliges Argument \"" + QuotedText(a.operands[1]) + "\"");
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

// The setup that the options make of base (the start-up values or a file).
void ConfigureSetup(MelodySetup& setup, const Arguments& a, bool sourceRequired) {
    NoOperands(a);
    const int sources = a.Has("--list") + a.Has("--formula") + a.Has("--oeis");
    if (sources == 0 && sourceRequired)
        throw ECliUsage(std::string(CommandName(a.command)) +
                        " braucht eine Quelle: --list, --formula, --oeis oder --setup");
    if (sources > 1) throw ECliUsage("Nur eine Quelle ist möglich: --list, --formula oder --oeis");
    if (a.Has("--tempo-list") && a.Has("--tempo-formula"))
        throw ECliUsage("Nur eine Tempofolge ist möglich: --tempo-list oder --tempo-formula");
    for (const char* name : {"--count", "--start"}) RequireWith(a, name, "--formula");
    for (const char* name : {"--tempo-count", "--tempo-start"})
        RequireWith(a, name, "--tempo-formula");
    if (a.Has("--zero") && !a.Has("--formula") && !a.Has("--tempo-formula"))
        throw ECliUsage("Die Option --zero gilt nur zusammen mit --formula oder --tempo-formula");
    RequireWith(a, "--oeis-all", "--oeis");
    if (a.Has("--note-map") && (a.Has("--scale") || a.Has("--scale-steps") || a.Has("--root")))
        throw ECliUsage("--note-map und --scale/--scale-steps/--root schließen einander aus");
    if (a.Has("--out") && a.Value("--out").empty())
        throw ECliUsage("--out braucht einen Dateinamen");
    if (setup.Voices.size() != 1)
        throw Exception("Die Einstellungen enthalten " + std::to_string(setup.Voices.size()) +
                        " Stimmen; gespielt wird genau eine");

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
    voice.Instrument = IntegerOption(a, "--instrument", 0, 127, voice.Instrument);
}

// The start-up values, or the file that --setup names.
MelodySetup BaseSetup(const Arguments& a) {
    if (!a.Has("--setup")) return MelodySetup{};
    if (a.Value("--setup").empty()) throw ECliUsage("--setup braucht einen Dateinamen");
    return ReadSetupFile(a.Value("--setup"));
}

bool IsWavPath(const std::string& path) { return EndsWithIgnoringCase(path, ".wav"); }

void WriteScore(const std::string& path, const CliHost& host, const VoiceSetup& voice,
                SourceKind source, const MelodyTimeline& melody) {
    const Score score{SourceTitle(source, host.Notes.Formula, host.Notes.OeisTitle),
                      host.Tempo,
                      voice.ScaleIndex,
                      voice.RootIndex,
                      {{melody, host.Program}}};
    if (IsMusicXmlPath(path))
        WriteMusicXmlFile(path, score);
    else
        WriteLilyPondFile(path, score);
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
bool Play(MidiUnit& midi, CliHost& host, std::ostream& err) {
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
            name != "--out")
            throw ECliUsage("Die Option " + name +
                            " gilt nicht für mehrere Stimmen; sie stehen in ihren Dateien");
    }
}

int Ensemble(MidiUnit& midi, const Arguments& a, std::ostream& out, std::ostream& err) {
    NoOperands(a);
    OnlyEnsembleOptions(a);
    if (a.Has("--out") && a.Value("--out").empty())
        throw ECliUsage("--out braucht einen Dateinamen");
    return EnsembleMelody(
        midi, a.voiceFiles, a.Has("--play"), a.Has("--out") ? &a.Value("--out") : nullptr,
        [] { std::signal(SIGINT, OnInterrupt); }, out, err);
}

int Melody(MidiUnit& midi, const Arguments& a, std::ostream& out, std::ostream& err) {
    if (IsEnsemble(a)) return Ensemble(midi, a, out, err);
    CliHost host;
    try {
        MelodySetup setup = BaseSetup(a);
        ConfigureSetup(setup, a, !a.Has("--setup"));
        host.Load(setup);
        // The title names the source as it was chosen, before a formula's members
        // take its place.
        const SourceKind source = host.Notes.Kind;
        const MelodyTimeline melody = BuildTimeline(host);
        // From here on, Ctrl+C means: stop the melody.
        if (a.Has("--play")) std::signal(SIGINT, OnInterrupt);
        // The file first: a reader that stops reading the listing (| head)
        // ends the program, and the file is kept.
        std::string fileFailure;  // said after the listing, which is printed all the same
        if (a.Has("--out")) {
            const std::string& path = a.Value("--out");
            try {
                if (IsWavPath(path))
                    WriteWavFile(path, melody, host.Program);
                else if (IsMusicXmlPath(path) || IsLilyPondPath(path))
                    WriteScore(path, host, setup.Voices.front(), source, melody);
                else
                    WriteMidiFile(path, melody, host.Tempo, host.Program);
            } catch (const Exception& e) {
                fileFailure = e.Message();
            }
        }
        for (const NoteEvent& note : melody.Events())
            out << note.Key << ' ' << note.DurationMs << '\n';
        if (OutputLost(out, err)) return kExitFailure;
        if (!fileFailure.empty()) throw Exception(fileFailure);
        // The sources have been read: the run plays the list a formula or a
        // lookup left, as a second press of the button would.
        if (a.Has("--play") && !Play(midi, host, err)) return kExitStopped;
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
        ConfigureSetup(setup, a, !a.Has("--setup"));
        OeisSetup& oeis = setup.Voices.front().Notes.Oeis;
        if (a.Has("--oeis")) {
            const OeisHit hit = OeisLookup().Run(oeis.Query, setup.OeisWholeSequences);
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
    if (!args.empty())
        throw ECliUsage("Überzähliges Argument \"" + QuotedText(args.front()) + "\"");
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
