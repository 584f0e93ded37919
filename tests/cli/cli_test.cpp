// The command-line tool run as a program: what it prints, what it reports and
// how it exits, and the MIDI files it writes read back independently.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/smf_reader.h"
#include "sources/http_test_server.h"
#include "support/program.h"

namespace {
namespace fs = std::filesystem;
using Args = std::vector<std::string>;

constexpr const char* kDefaultList = "234, 382, 2349, 1, -34, 234, 49, 23, 91, 4, 34";

ProgramResult Cli(const Args& args, const std::vector<std::string>& env = {}) {
    return RunProgram(SONAVIX_CLI, args, env);
}

std::string ArgsText(const Args& args) {
    std::string text;
    for (const auto& a : args) text += " [" + a + "]";
    return text;
}

struct Case {
    Args args;
    std::string out, err;
    int status;
};

void ExpectCases(const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        const ProgramResult r = Cli(c.args);
        EXPECT_EQ(r.out, c.out) << ArgsText(c.args);
        EXPECT_EQ(r.err, c.err) << ArgsText(c.args);
        EXPECT_EQ(r.status, c.status) << ArgsText(c.args);
    }
}

// "k d" lines of a melody whose notes all last the same.
std::string Lines(const std::vector<int>& keys, int durationMs) {
    std::string text;
    for (int key : keys) text += std::to_string(key) + " " + std::to_string(durationMs) + "\n";
    return text;
}

std::string Zeros(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += i ? ", 0" : "0";
    return text;
}

// A fresh folder for the files of one test, removed afterwards.
class TempDir {
public:
    TempDir()
        : path_(fs::temp_directory_path() / ("sonavix-cli-files-" + std::to_string(getpid()))) {
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

std::vector<uint8_t> FileBytes(const std::string& path) {
    const std::string text = ReadWholeFile(path);
    return {text.begin(), text.end()};
}

TestResponse Answer(int status, std::string body) {
    TestResponse response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

}  // namespace

TEST(CliEval, MembersAsTheFormulaFrameWritesThem) {
    ExpectCases({
        {{"eval", "0"}, Zeros(30) + "\n", "", 0},
        {{"eval", "--count", "3", "x"}, "1, 2, 3\n", "", 0},
        {{"eval", "--zero", "--count=3", "x"}, "0, 1, 2\n", "", 0},
        {{"eval", "--count", "3", "-x"}, "-1, -2, -3\n", "", 0},
        {{"eval", "x_1+x_2", "--start", "1,0", "--count", "5"}, "1, 2, 3, 5, 8\n", "", 0},
        {{"eval", "x_1-5", "--start", "0", "--count", "3"}, "-5, -10, -15\n", "", 0},
        // A negative start value is read back as its 32-bit pattern.
        {{"eval", "x_1/2", "--start", "-4", "--count", "1"}, "-2\n", "", 0},
        {{"eval", "x*2000000000", "--count", "2"}, "2000000000, 4000000000\n", "", 0},
        // Only x_3 is used, yet all three rows are loaded; rows not given stay 0.
        {{"eval", "x_3", "--start", "0, 0, 7", "--count", "2"}, "7, 0\n", "", 0},
        {{"eval", "x_2+1", "--start", "5", "--count", "3"}, "1, 6, 2\n", "", 0},
        {{"eval", "x", "--count", "0"}, "\n", "", 0},
        {{"eval", "x", "--count", "-4"}, "\n", "", 0},
    });
}

TEST(CliEval, FailuresKeepTheMembersBeforeAndExitWithOne) {
    ExpectCases({
        // 1/2 rounds to the even 0; x = 3 divides by zero.
        {{"eval", "1/(3-x)", "--count", "5"}, "0, 1\n", "Gleitkommadivision durch Null.\n", 1},
        {{"eval", "x", "--count", "abc"}, "\n", "'abc' ist kein gültiger Integerwert.\n", 1},
        {{"eval", "x_1+x_2", "--start", "1,zwei"},
         "\n",
         "'zwei' ist kein gültiger Integerwert.\n",
         1},
        {{"eval", "x_1+x_2", "--start", " ,3"}, "\n", "'' ist kein gültiger Integerwert.\n", 1},
    });
    const ProgramResult r = Cli({"eval", "(x+1)(x+2)"});
    EXPECT_EQ(r.out, "\n");
    EXPECT_TRUE(r.err.starts_with("Die Formel '(x+1)(x+2)' ist ungültig")) << r.err;
    EXPECT_TRUE(r.err.ends_with(".\n")) << r.err;
    EXPECT_EQ(r.status, 1);
}

TEST(CliMelody, KeysAndDurationsAsThePlayButtonWouldSoundThem) {
    ExpectCases({
        {{"melody", "--list", kDefaultList},
         Lines({46, 50, 49, 41, 50, 46, 41, 51, 47, 44, 50}, 667),
         "",
         0},
        // 1, 4, 9, ..., 144 on the twelve chromatic rows from c' (key 40).
        {{"melody", "--formula", "x^2", "--count", "12"},
         Lines({41, 44, 49, 44, 41, 40, 41, 44, 49, 44, 41, 40}, 667),
         "",
         0},
        {{"melody", "--formula", "x", "--count", "3", "--zero"}, Lines({40, 41, 42}, 667), "", 0},
        // Anything but digits separates members.
        {{"melody", "--list", "3.5"}, Lines({43, 45}, 667), "", 0},
        {{"melody", "--list", "-7"}, Lines({47}, 667), "", 0},
        {{"melody", "--list", "keine Ziffern"}, "", "", 0},
        // Members of any size select their row by their remainder (13! is 0 mod 12).
        {{"melody", "--list", "6227020800, 10000000000000000000000003"},
         Lines({40, 47}, 667),
         "",
         0},
        {{"melody", "--formula", "x*2000000000", "--count", "2"}, Lines({48, 44}, 667), "", 0},
        // Major on C (key 4); the eighth member wraps to the root.
        {{"melody", "--list", "0,1,2,3,4,5,6,7", "--scale", "1", "--root", "4"},
         Lines({4, 6, 8, 9, 11, 13, 15, 4}, 667),
         "",
         0},
        // Scales after the specified ones, and an own scale.
        {{"melody", "--list", "0,1,2,3,4,5", "--scale", "11", "--root", "4"},
         Lines({4, 6, 8, 11, 13, 4}, 667),
         "",
         0},
        {{"melody", "--list", "0,1,2,3", "--scale-steps", "3 4 5"},
         Lines({40, 43, 47, 40}, 667),
         "",
         0},
        // "-keine Vorgabe-" keeps the map the window starts with.
        {{"melody", "--list", "1", "--scale", "0", "--root", "4"}, Lines({41}, 667), "", 0},
        {{"melody", "--list", "1,2,3", "--note-map", "0, 88"}, Lines({88, 0, 88}, 667), "", 0},
        {{"melody", "--list", "0", "--tempo", "120", "--tempo-map", "0"}, "40 2000\n", "", 0},
        {{"melody", "--list", "0", "--tempo", "20", "--tempo-map", "-1"}, "40 24000\n", "", 0},
        // Velocity and pan as third and fourth column, from the notes or their own sequence.
        {{"melody", "--list", "1,2,3", "--velocity-map", "30,60,90"},
         "41 667 60 0\n42 667 90 0\n43 667 30 0\n",
         "",
         0},
        {{"melody", "--list", "1,2", "--pan-map", "-64,63", "--pan-list", "1"},
         "41 667 110 63\n42 667 110 63\n",
         "",
         0},
        {{"melody", "--list", "5,5,5", "--velocity-formula", "x", "--velocity-count", "2",
          "--velocity-map", "10,20"},
         "45 667 20 0\n45 667 10 0\n45 667 20 0\n",
         "",
         0},
        {{"melody", "--list", "0,0", "--velocity-formula", "x", "--velocity-count", "2", "--zero",
          "--velocity-map", "10,20"},
         "40 667 10 0\n40 667 20 0\n",
         "",
         0},
    });
}

// The file's column plays as the list typed; dropped signs are a notice, a
// file that is no text a failure naming it.
TEST(CliMelody, ListFilePlaysItsColumnAsTheExplicitList) {
    TempDir dir;
    const std::string csv = dir.File("werte.csv"), binary = dir.File("bild.png");
    std::ofstream(csv) << "Datum;Wert;Menge\n01.02.;3,5;7\n02.02.;-4,5;8\n";
    std::ofstream(binary) << std::string("\x89PNG\r\n\0", 7);
    const ProgramResult typed = Cli({"melody", "--list", "4, 4"});
    const ProgramResult read = Cli({"melody", "--list-file", csv});
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.out, typed.out);
    EXPECT_EQ(read.err,
              "Die Spalte hat negative Werte; ihre Vorzeichen stehen nicht in der Liste (\"-\" "
              "trennt Glieder), es zählen nur die Beträge\n");
    EXPECT_EQ(Cli({"melody", "--list-file", csv, "--column", "menge"}).out,
              Cli({"melody", "--list", "7, 8"}).out);
    const ProgramResult refused = Cli({"melody", "--list-file", binary});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "Die Datei \"" + binary +
                               "\" lässt sich nicht als Liste lesen: Zeile 2 enthält das "
                               "Steuerzeichen 0x00, das ist keine Textdatei.\n");
}

TEST(CliMelody, SeparateTempoSequence) {
    ExpectCases({
        // Two tempo members under five notes: 1, 2, 1, 2, 1.
        {{"melody", "--list", "1,2,3,4,5", "--tempo-list", "0,1", "--tempo-map", "2,3"},
         "41 667\n42 333\n43 667\n44 333\n45 667\n",
         "",
         0},
        {{"melody", "--list", "0,0,0", "--tempo-formula", "x", "--tempo-count", "2", "--tempo-map",
          "1,2,3"},
         "40 667\n40 333\n40 667\n",
         "",
         0},
        // One "0 ist eine natürliche Zahl" for both frames.
        {{"melody", "--list", "0,0", "--tempo-formula", "x", "--tempo-count", "2", "--zero",
          "--tempo-map", "2,3"},
         "40 667\n40 333\n",
         "",
         0},
        {{"melody", "--list", "0,0", "--tempo-formula", "x_1+1", "--tempo-start", "1",
          "--tempo-map", "2,3,4"},
         "40 167\n40 667\n",
         "",
         0},
        // A tempo list without members: the notes give their own lengths.
        {{"melody", "--list", "1,2", "--tempo-list", "nichts", "--tempo-map", "2,3"},
         "41 333\n42 667\n",
         "",
         0},
    });
}

TEST(CliMelody, FailuresReportTheMessageAndExitWithOne) {
    ExpectCases({
        {{"melody", "--formula", "1/(3-x)"}, "", "Gleitkommadivision durch Null.\n", 1},
        {{"melody", "--list", "1", "--note-map", "5,x"},
         "",
         "'x' ist kein gültiger Integerwert.\n",
         1},
        {{"melody", "--list", "1", "--tempo-map", "-30"},
         "",
         "Die Notenlänge -30 ergibt bei Tempo 90 keine gültige Dauer.\n",
         1},
        {{"melody", "--list", "1", "--tempo-formula", "x/0"},
         "",
         "Gleitkommadivision durch Null.\n",
         1},
        {{"melody", "--list", "1,2", "--velocity-map", "64,0"},
         "",
         "Anschlagtabelle, Zeile 1: 0 liegt nicht zwischen 1 und 127.\n",
         1},
        {{"melody", "--list", "1", "--pan-map", "0", "--pan-formula", "x/0"},
         "",
         "Panoramafolge: Gleitkommadivision durch Null.\n",
         1},
    });
}

TEST(CliUsage, MistakesOnTheCommandLineExitWithTwo) {
    const struct {
        Args args;
        const char* message;
    } cases[] = {
        {{}, "Kein Befehl angegeben"},
        {{"play"}, "Unbekannter Befehl \"play\""},
        {{"eval"}, "eval braucht eine Formel"},
        {{"eval", "x", "y"}, "Überzähliges Argument \"y\""},
        {{"eval", "--bogus", "x"}, "Unbekannte Option \"--bogus\""},
        {{"eval", "--tempo", "100", "x"}, "Die Option --tempo gilt nicht für eval"},
        {{"eval", "x", "--count"}, "Der Option --count fehlt ihr Wert"},
        {{"eval", "--count", "3", "--count", "4", "x"},
         "Die Option --count ist mehrfach angegeben"},
        {{"eval", "--zero=1", "x"}, "Die Option --zero nimmt keinen Wert"},
        {{"eval", "x_1", "--start", "1,2"},
         "Zu viele Startwerte: die Formel \"x_1\" verwendet nur x_1 bis x_1"},
        {{"eval", "x", "--start", "1"},
         "Zu viele Startwerte: die Formel \"x\" verwendet keine früheren Glieder"},
        {{"melody"}, "melody braucht eine Quelle"},
        {{"melody", "--list", "1", "2"}, "Überzähliges Argument \"2\""},
        {{"melody", "--list", "1", "--formula", "x"}, "Nur eine Quelle ist möglich"},
        {{"melody", "--list", "1", "--tempo-list", "1", "--tempo-formula", "x"},
         "Nur eine Tempofolge ist möglich"},
        {{"melody", "--list", "1", "--count", "3"},
         "Die Option --count gilt nur zusammen mit --formula"},
        {{"melody", "--list", "1", "--tempo-start", "3"},
         "--tempo-start gilt nur zusammen mit --tempo-formula"},
        {{"melody", "--list", "1", "--zero"},
         "--zero gilt nur zusammen mit --formula oder --tempo-formula"},
        {{"melody", "--formula", "x", "--start", "1"}, "Zu viele Startwerte"},
        {{"melody", "--list", "1", "--tempo", "300"},
         "--tempo erwartet eine ganze Zahl von 20 bis 220, nicht \"300\""},
        {{"melody", "--list", "1", "--tempo", "19"},
         "--tempo erwartet eine ganze Zahl von 20 bis 220"},
        {{"melody", "--list", "1", "--tempo", "schnell"}, "nicht \"schnell\""},
        // What the terminal would act on is named, not echoed.
        {{"melody", "--list", "1", "--tempo", "\x1B[2J"}, "nicht \"<U+001B>[2J\""},
        {{"melody", "--list", "1", "--instrument", "128"},
         "--instrument erwartet eine ganze Zahl von 0 bis 127"},
        {{"melody", "--list", "1", "--scale", "16"},
         "--scale erwartet eine ganze Zahl von 0 bis 15"},
        {{"melody", "--list", "1", "--scale", "15"},
         "--scale 15 (Eigene...) braucht --scale-steps"},
        {{"melody", "--list", "1", "--scale", "1", "--scale-steps", "2"},
         "--scale-steps gilt nur zusammen mit --scale 15 (Eigene...)"},
        {{"melody", "--list", "1", "--scale-steps", "7 7"},
         "--scale-steps: Die Schritte ergeben zusammen 14 Halbtöne"},
        {{"melody", "--list", "1", "--note-map", "1", "--scale-steps", "2"},
         "schließen einander aus"},
        {{"melody", "--list", "1", "--root", "78"}, "--root erwartet eine ganze Zahl von 0 bis 77"},
        {{"melody", "--list", "1", "--note-map", " "}, "--note-map braucht mindestens einen Wert"},
        {{"melody", "--list", "1", "--note-map", "1", "--root", "4"}, "schließen einander aus"},
        {{"melody", "--list", "1", "--out="}, "--out braucht einen Dateinamen"},
        {{"melody", "--list", "1", "--velocity-map", ""},
         "--velocity-map braucht mindestens einen Wert"},
        {{"melody", "--list", "1", "--pan-list", "1", "--pan-formula", "x"},
         "Nur eine eigene Folge ist möglich: --pan-list oder --pan-formula"},
        {{"melody", "--list", "1", "--velocity-count", "3"},
         "--velocity-count gilt nur zusammen mit --velocity-formula"},
        // An ending it does not write is no MIDI file under another name, for several voices too.
        {{"melody", "--list", "1", "--out", "x.flac.txt"},
         "--out schreibt nur Dateien mit den Endungen .mid, .midi, .wav, .musicxml, .xml, .ly, "
         ".flac, .ogg, .mp3, nicht \"x.flac.txt\""},
        {{"melody", "--setup", "a", "--setup", "a", "--out", "kanon"}, "nicht \"kanon\""},
        {{"melody", "--list", "1", "--out", "x.mp3", "--quality", "1,5"},
         "--quality erwartet eine Zahl von 0 bis 1, z. B. 0,6, nicht \"1,5\""},
        {{"melody", "--list", "1", "--out", "x.flac", "--quality", "1"},
         "--quality gilt nur für Dateien mit den Endungen .ogg, .mp3"},
    };
    for (const auto& c : cases) {
        const ProgramResult r = Cli(c.args);
        EXPECT_EQ(r.status, 2) << ArgsText(c.args);
        EXPECT_EQ(r.out, "") << ArgsText(c.args);
        EXPECT_TRUE(r.err.starts_with("sonavix-cli: ")) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << ArgsText(c.args) << "\n" << r.err;
        EXPECT_TRUE(r.err.ends_with("Hilfe: sonavix-cli --help\n")) << r.err;
    }
}

TEST(CliHelp, GermanHelpNamesEveryOption) {
    for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"melody", "--list", "1", "--help"}}) {
        const ProgramResult r = Cli(args);
        EXPECT_EQ(r.status, 0) << ArgsText(args);
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.out.find("Aufruf:"), std::string::npos);
        // The first Ctrl+C lets the element after the sounding note play, as the run does.
        EXPECT_NE(r.out.find("wenn die klingende und die nächste Note gespielt sind"),
                  std::string::npos);
        // Each option where the help lists it: at the start of a line, then its
        // value or its explanation.
        for (const OptionInfo& option : kOptions)
            EXPECT_NE(r.out.find("\n  " + std::string(option.name) + " "), std::string::npos)
                << option.name;
        for (const char* text :
             {"eval", "melody", "save", "ports", "15 Eigene...", "Chromatisch (12-Ton)"})
            EXPECT_NE(r.out.find(text), std::string::npos) << text;
    }
}

TEST(CliMidiFile, HeaderTempoProgramNotesAndRests) {
    TempDir dir;
    const std::string path = dir.File("melodie.mid");
    // Key 0 is a rest, key 120 would be note 128 and rests too.
    const ProgramResult r = Cli({"melody", "--list", "0, 1, 2, 1", "--note-map", "0,40,120",
                                 "--instrument", "73", "--tempo", "120", "--out", path});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0 500\n40 500\n120 500\n40 500\n");
    const Smf smf = ReadSmf(FileBytes(path));
    EXPECT_EQ(smf.format, 0);
    EXPECT_EQ(smf.trackCount, 1);
    EXPECT_EQ(smf.division, 480);
    EXPECT_EQ(smf.TempoUs(), 500000);
    EXPECT_EQ(smf.Programs(), (std::vector<std::pair<int, int>>{{1, 73}}));
    // At 120 beats a 500 ms quarter is 480 ticks.
    EXPECT_EQ(smf.Notes(),
              (std::vector<SmfNote>{{48, 110, 110, 480, 960}, {48, 110, 110, 1440, 1920}}));
    EXPECT_EQ(smf.EndTick(), 1920);
    // Tempo and program come before the first note.
    ASSERT_GE(smf.events.size(), 3u);
    EXPECT_EQ(smf.events[0].tick, 0);
    EXPECT_EQ(smf.events[1].tick, 0);
}

TEST(CliMidiFile, TimeIsExactToTheTickOverTheWholeMelody) {
    TempDir dir;
    const std::string path = dir.File("achtel.mid");
    // Eighths sound 333 ms at 90 beats; the file writes them as the eighths
    // they are, 240 ticks each, rests alike.
    const ProgramResult r = Cli(
        {"melody", "--list", "0,0,0,1", "--note-map", "40,0", "--tempo-map", "3", "--out", path});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "40 333\n40 333\n40 333\n0 333\n");
    const Smf smf = ReadSmf(FileBytes(path));
    EXPECT_EQ(smf.TempoUs(), 666667);  // 60000000 / 90, rounded
    EXPECT_EQ(smf.Programs(), (std::vector<std::pair<int, int>>{{1, 0}}));
    EXPECT_EQ(smf.Notes(),
              (std::vector<SmfNote>{
                  {48, 110, 110, 0, 240}, {48, 110, 110, 240, 480}, {48, 110, 110, 480, 720}}));
    EXPECT_EQ(smf.EndTick(), 960);
}

TEST(CliMidiFile, FailuresWriteNoFile) {
    TempDir dir;
    const std::string missingFolder = dir.File("fehlt") + "/melodie.mid";
    ProgramResult r = Cli({"melody", "--list", "1", "--out", missingFolder});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "41 667\n");
    EXPECT_EQ(r.err, "Die Datei \"" + missingFolder +
                         "\" kann nicht geschrieben werden: der Ordner existiert nicht.\n");

    const std::string path = dir.File("nie.mid");
    r = Cli({"melody", "--list", "1", "--note-map", "x", "--out", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(path));
}

// Output that does not arrive fails with its cause; a file asked for is written all the same.
TEST(CliOutput, LostOutputIsAFailureAndKeepsTheFile) {
    TempDir dir;
    const std::string expectedFile = dir.File("soll.mid"), file = dir.File("melodie.mid");
    ASSERT_EQ(Cli({"melody", "--list", "1, 2", "--out", expectedFile}).status, 0);
    const std::string full = "kein Platz mehr auf dem Datenträger";
    const std::string closed = "sie ist geschlossen oder nur zum Lesen geöffnet";
    const struct {
        Args args;
        std::string target, cause;
    } cases[] = {
        {{"eval", "x^2", "--count", "3"}, "/dev/full", full},
        {{"eval", "x^2", "--count", "3"}, kClosedOutput, closed},
        {{"--help"}, "/dev/full", full},
        {{"melody", "--list", "1, 2", "--out", file}, "/dev/full", full},
        // A closed output is not taken over by the file being written.
        {{"melody", "--list", "1, 2", "--out", file}, kClosedOutput, closed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ArgsText(c.args) + " > " + c.target);
        fs::remove(file);
        const ProgramResult r = RunProgram(SONAVIX_CLI, c.args, {}, c.target);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "Die Standardausgabe lässt sich nicht schreiben: " + c.cause + ".\n");
        if (c.args[0] == "melody") {
            EXPECT_EQ(FileBytes(file), FileBytes(expectedFile));
        }
    }
    // A reader that stops (| head -c 10) ends the listing as SIGPIPE does; the file is there.
    const Args longMelody = {"melody", "--formula", "x", "--count", "5000", "--out"};
    Args wanted = longMelody, cut = longMelody;
    wanted.push_back(expectedFile);
    cut.push_back(file);
    ASSERT_EQ(Cli(wanted).status, 0);
    EXPECT_EQ(RunProgram(SONAVIX_CLI, cut, {}, kBrokenPipe).status, 128 + SIGPIPE);
    EXPECT_EQ(FileBytes(file), FileBytes(expectedFile));
}

// Whether process holds a file below folder ("/tmp/x/") open: the export's
// file, named or not.
bool WritesInto(pid_t process, const std::string& folder) {
    std::error_code ignored;
    for (const auto& fd :
         fs::directory_iterator("/proc/" + std::to_string(process) + "/fd", ignored))
        if (fs::read_symlink(fd.path(), ignored).string().starts_with(folder)) return true;
    return false;
}

// A signal during an export removes the unfinished file and ends with 128 + the signal.
TEST(CliSignals, AnInterruptedExportLeavesNothingBehind) {
    if (access("/usr/share/sounds/sf2/TimGM6mb.sf2", R_OK) != 0)
        GTEST_SKIP() << "no SoundFont (timgm6mb-soundfont)";
    TempDir dir;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        ChildProgram cli(SONAVIX_CLI, {"melody", "--formula", "x", "--count", "4000", "--out",
                                       dir.File("m.wav")});
        // Signalled once the file is being written (bounded).
        for (int i = 0; i < 500 && cli.Running() && !WritesInto(cli.Pid(), dir.File("")); ++i)
            usleep(10000);
        ASSERT_TRUE(cli.Running()) << "the export ended before the signal";
        cli.Signal(signal);
        EXPECT_EQ(cli.Wait().status, 128 + signal);
        EXPECT_TRUE(fs::is_empty(dir.File(""))) << "a file is left in the folder";
    }
}

TEST(CliOeis, LookupFillsTheSequenceThatIsPlayed) {
    TestHttpServer server([](const TestRequest&) {
        return Answer(
            200, R"([{"number": 45, "data": "0,1,1,2,3,5,8,13", "name": "Fibonacci numbers."}])");
    });
    const ProgramResult r =
        Cli({"melody", "--oeis", "fibonacci"}, {"SONAVIX_OEIS_BASE=" + server.Url("/")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, Lines({40, 41, 41, 42, 43, 45, 48, 41}, 667));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].target.find("q=fibonacci"), std::string::npos) << requests[0].target;
}

TEST(CliOeis, FactorialsPlayWholeThoughMostExceedEveryIntegerType) {
    TestHttpServer server([](const TestRequest&) {
        return Answer(
            200,
            R"([{"number": 142, "name": "Factorial numbers n!.", "data": ")"
            "1,1,2,6,24,120,720,5040,40320,362880,3628800,39916800,479001600,6227020800,"
            "87178291200,1307674368000,20922789888000,355687428096000,6402373705728000,"
            "121645100408832000,2432902008176640000,51090942171709440000,1124000727777607680000"
            R"("}])");
    });
    const ProgramResult r =
        Cli({"melody", "--oeis", "A000142"}, {"SONAVIX_OEIS_BASE=" + server.Url("/")});
    EXPECT_EQ(r.status, 0) << r.err;
    // 0! to 3! leave 1, 1, 2, 6 by 12; every later factorial is a multiple of 12.
    std::vector<int> keys = {41, 41, 42, 46};
    keys.resize(23, 40);
    EXPECT_EQ(r.out, Lines(keys, 667));
}

TEST(CliOeis, FailedLookupReportsTheLookupsMessage) {
    TestHttpServer server([](const TestRequest&) { return Answer(404, "nothing here"); });
    const ProgramResult r =
        Cli({"melody", "--oeis", "1, 2, 3"}, {"SONAVIX_OEIS_BASE=" + server.Url("/")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "Die OEIS-Suche nach \"1, 2, 3\" ist fehlgeschlagen: der Server antwortete mit dem "
              "Status 404.\n");
}

TEST(CliSetup, SavedOptionsPlayByteForByteTheSameFile) {
    TempDir dir;
    const std::string setup = dir.File("melodie.sonavix");
    const Args options = {"--formula",    "x_1+x_2", "--start", "1",  "--count", "9",
                          "--tempo-list", "2, 3, 1", "--scale", "6",  "--root",  "33",
                          "--instrument", "40",      "--tempo", "132"};
    Args save = {"save", setup};
    save.insert(save.end(), options.begin(), options.end());
    ProgramResult r = Cli(save);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");

    Args direct = {"melody", "--out", dir.File("direkt.mid")};
    direct.insert(direct.end(), options.begin(), options.end());
    const ProgramResult expected = Cli(direct);
    ASSERT_EQ(expected.status, 0) << expected.err;
    r = Cli({"melody", "--setup", setup, "--out", dir.File("datei.mid")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected.out);
    EXPECT_EQ(FileBytes(dir.File("datei.mid")), FileBytes(dir.File("direkt.mid")));

    // An option overrides its one setting and keeps the rest of the file.
    r = Cli({"melody", "--setup", setup, "--list", "0, 1", "--tempo", "60"});
    EXPECT_EQ(r.out, "33 1000\n35 1000\n");
}

TEST(CliSetup, SavedLookupPlaysWithoutTheServer) {
    TempDir dir;
    const std::string setup = dir.File("fibonacci.sonavix");
    {
        TestHttpServer server([](const TestRequest&) {
            return Answer(200, R"([{"number": 45, "data": "0,1,1,2,3", "name": "Fibonacci."}])");
        });
        const ProgramResult r =
            Cli({"save", setup, "--oeis", "fibonacci"}, {"SONAVIX_OEIS_BASE=" + server.Url("/")});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const ProgramResult r =
        Cli({"melody", "--setup", setup}, {"SONAVIX_OEIS_BASE=http://127.0.0.1:9/"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Lines({40, 41, 41, 42, 43}, 667));
}

TEST(CliSetup, BrokenFilesAndMissingNames) {
    TempDir dir;
    const std::string broken = dir.File("kaputt.sonavix");
    std::ofstream(broken) << R"({"format": "sonavix-setup", "formatVersion": 1, "tempo": 5})";
    ExpectCases({
        {{"melody", "--setup", broken},
         "",
         "Die Datei \"" + broken +
             "\" ist fehlerhaft: tempo muss eine ganze Zahl von 20 bis 220 sein, nicht 5.\n",
         1},
        {{"save"},
         "",
         "sonavix-cli: save braucht den Namen der Datei\nHilfe: sonavix-cli --help\n",
         2},
        {{"save", "", "--list", "1"},
         "",
         "sonavix-cli: save braucht den Namen der Datei\nHilfe: sonavix-cli --help\n",
         2},
        {{"save", dir.File("a.sonavix")},
         "",
         "sonavix-cli: save braucht eine Quelle: --list, --list-file, --formula, --oeis oder "
         "--setup\n"
         "Hilfe: sonavix-cli --help\n",
         2},
    });
}

TEST(CliSetup, SavingAnEnsembleWritesItsVoices) {
    TempDir dir;
    const std::string ensemble = dir.File("ensemble.sonavix");
    std::ofstream(ensemble) << R"({"format": "sonavix-setup", "formatVersion": 1, "voices": [
        {"notes": {"source": "explicit", "explicit": "1, 2"}},
        {"notes": {"source": "explicit", "explicit": "3"}, "channel": 2, "transpose": 12}]})";
    const std::string copy = dir.File("kopie.sonavix");
    const ProgramResult saved = Cli({"save", copy, "--setup", ensemble});
    ASSERT_EQ(saved.status, 0) << saved.err;
    // The copy sounds as the original: voices, channels and transposition.
    const ProgramResult played = Cli({"melody", "--setup", copy, "--out", dir.File("a.mid")});
    EXPECT_EQ(played.out, "1 41 667\n1 42 667\n2 43 667\n") << played.err;
    ASSERT_EQ(Cli({"melody", "--setup", ensemble, "--out", dir.File("b.mid")}).status, 0);
    EXPECT_EQ(FileBytes(dir.File("a.mid")), FileBytes(dir.File("b.mid")));
    ExpectCases({{{"save", copy, "--setup", ensemble, "--list", "1"},
                  "",
                  "sonavix-cli: Die Option --list gilt nicht für mehrere Stimmen; sie stehen in "
                  "ihren Dateien\nHilfe: sonavix-cli --help\n",
                  2}});
}

TEST(CliSetup, SeveralVoicesPlayTogetherFromTheirFiles) {
    TempDir dir;
    const std::string voice = dir.File("stimme.sonavix");
    ASSERT_EQ(Cli({"save", voice, "--list", "1, 2", "--tempo", "120", "--instrument", "40"}).status,
              0);
    const std::string midi = dir.File("kanon.mid");
    const ProgramResult r =
        Cli({"melody", "--setup", voice, "--setup", voice, "--offset", "0,5", "--out", midi});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1 41 500\n1 42 500\n2 41 500\n2 42 500\n");
    const std::vector<Smf> tracks = ReadSmfTracks(FileBytes(midi));
    ASSERT_EQ(tracks.size(), 3u);
    // The second file's voice plays on channel 2, half a whole note later.
    EXPECT_EQ(tracks[2].Programs(), (std::vector<std::pair<int, int>>{{2, 40}}));
    EXPECT_EQ(tracks[2].Notes(),
              (std::vector<SmfNote>{{49, 110, 110, 960, 1440}, {50, 110, 110, 1440, 1920}}));
    // A score by the ending: a staff per voice, the second after a half rest.
    const std::string score = dir.File("kanon.ly");
    ASSERT_EQ(Cli({"melody", "--setup", voice, "--setup", voice, "--offset", "0,5", "--out", score})
                  .status,
              0);
    const std::string text = ReadWholeFile(score);
    EXPECT_NE(text.find("cis4 d4 r2 |"), std::string::npos) << text;
    EXPECT_NE(text.find("r2 cis4 d4 |"), std::string::npos) << text;

    const std::string usage = "\nHilfe: sonavix-cli --help\n";
    ExpectCases({
        {{"melody", "--offset", "1", "--setup", voice},
         "",
         "sonavix-cli: --offset gilt für die --setup-Datei davor; dort steht keine" + usage,
         2},
        {{"melody", "--setup", voice, "--offset", "-1", "--setup", voice},
         "",
         "sonavix-cli: --offset erwartet ganze Noten von 0 bis 10000, z. B. 1 oder 0,5, nicht "
         "\"-1\"" +
             usage,
         2},
        {{"melody", "--setup", voice, "--setup", voice, "--tempo", "90"},
         "",
         "sonavix-cli: Die Option --tempo gilt nicht für mehrere Stimmen; sie stehen in ihren "
         "Dateien" +
             usage,
         2},
    });
}

TEST(CliOeis, WholeSequenceComesFromTheBFile) {
    TestHttpServer server([](const TestRequest& r) {
        if (r.target == "/A000045/b000045.txt")
            return Answer(200, "# b\n0 0\n1 1\n2 1\n3 2\n4 3\n");
        return Answer(200, R"([{"number": 45, "data": "0,1", "name": "Fibonacci numbers."}])");
    });
    const ProgramResult r = Cli({"melody", "--oeis", "fibonacci", "--oeis-all"},
                                {"SONAVIX_OEIS_BASE=" + server.Url("/")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Lines({40, 41, 41, 42, 43}, 667));
    EXPECT_EQ(Cli({"melody", "--list", "1", "--oeis-all"}).err,
              "sonavix-cli: Die Option --oeis-all gilt nur zusammen mit --oeis\n"
              "Hilfe: sonavix-cli --help\n");
}

TEST(CliOeis, MissingBFileAndDroppedSignsAreNoticesNotFailures) {
    TestHttpServer server([](const TestRequest& r) {
        if (r.target == "/A033999/b033999.txt") return Answer(404, "Not Found");
        if (r.target == "/A000045/b000045.txt") return Answer(200, "0 0\n1 -1\n");
        const bool signs = r.target.find("q=signs") != std::string::npos;
        return Answer(200, signs ? R"([{"number": 33999, "data": "1,-1,1", "name": "(-1)^n."}])"
                                 : R"([{"number": 45, "data": "0,1", "name": "Fibonacci."}])");
    });
    const std::string base = "SONAVIX_OEIS_BASE=" + server.Url("/");
    const ProgramResult r = Cli({"melody", "--oeis", "signs", "--oeis-all"}, {base});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Lines({41, 41, 41}, 667));
    EXPECT_EQ(r.err,
              "Zu A033999 gibt es keine b-Datei (der Server antwortete mit dem Status 404); "
              "geladen ist die kurze Liste der Glieder\n"
              "A033999 hat negative Glieder; ihre Vorzeichen werden nicht gelesen, es zählen nur "
              "die Beträge\n");
    // save looks the sequence up itself.
    TempDir dir;
    const ProgramResult saved =
        Cli({"save", dir.File("f.sonavix"), "--oeis", "fibonacci", "--oeis-all"}, {base});
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(saved.err,
              "A000045 hat negative Glieder; ihre Vorzeichen werden nicht gelesen, es zählen nur "
              "die Beträge\n");
}

TEST(CliScore, OutWritesMusicXmlOrLilyPondByTheEnding) {
    TempDir dir;
    // A minor (from C major: no signature) on key 25; the formula is the title.
    for (const char* name : {"melodie.musicxml", "melodie.ly"}) {
        const ProgramResult r = Cli({"melody", "--formula", "x", "--count", "2", "--scale", "6",
                                     "--root", "25", "--out", dir.File(name)});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "27 667\n28 667\n");
    }
    const std::string xml = ReadWholeFile(dir.File("melodie.musicxml"));
    EXPECT_NE(xml.find("<work-title>x</work-title>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<fifths>0</fifths>"), std::string::npos) << xml;
    const std::string ly = ReadWholeFile(dir.File("melodie.ly"));
    EXPECT_NE(ly.find("title = \"x\""), std::string::npos) << ly;
    EXPECT_NE(ly.find("b,,4 c,4 r2 |"), std::string::npos) << ly;

    // The meter from --time, kept by save; several voices take the first file's.
    const std::string waltz = dir.File("walzer.sonavix");
    ASSERT_EQ(Cli({"save", waltz, "--list", "1, 2, 3, 4", "--time", "3/4"}).status, 0);
    const std::string out = dir.File("walzer.ly");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"melody", "--setup", waltz, "--out", out},
          {"melody", "--setup", waltz, "--setup", waltz, "--out", out}}) {
        ASSERT_EQ(Cli(args).status, 0);
        const std::string text = ReadWholeFile(out);
        EXPECT_NE(text.find("\\time 3/4"), std::string::npos) << text;
        EXPECT_NE(text.find("e4 r4 r4 |"), std::string::npos) << text;
    }
    EXPECT_EQ(Cli({"melody", "--list", "1", "--time", "3/5"}).err,
              "sonavix-cli: --time: '3/5' ist keine gültige Taktart: erlaubt sind 1 bis 16 Schläge "
              "auf Halbe, Viertel, Achtel oder Sechzehntel (2, 4, 8, 16), z. B. 3/4 oder 6/8\n"
              "Hilfe: sonavix-cli --help\n");
}
