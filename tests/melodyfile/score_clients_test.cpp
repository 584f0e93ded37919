// The score files as real score programs read them: LilyPond compiles every
// .ly without a warning, MuseScore imports every MusicXML file, and the MIDI
// both make of them carries the notes of Sonavix's own MIDI export. Each
// program runs once over all files, as its start-up dominates the time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "cli/smf_reader.h"
#include "melodyfile/midifile.h"
#include "melodyfile/score.h"
#include "playback/maps.h"
#include "playback/scales.h"
#include "playback/startup.h"
#include "support/list_host.h"
#include "support/program.h"

namespace {
namespace fs = std::filesystem;

constexpr const char* kLilyPond = "/usr/bin/lilypond";
constexpr const char* kMuseScore = "/usr/bin/mscore3";
constexpr const char* kXmlLint = "/usr/bin/xmllint";
constexpr int kTempo = 120;  // every length down to a 32nd is a whole number of ms

struct Played {
    int note;
    double on, off;  // in quarter notes
    int velocity;
};

// The notes of every track of a Standard MIDI File, in quarter notes.
std::vector<Played> PlayedNotes(const std::vector<uint8_t>& file) {
    if (file.size() < 14) throw std::runtime_error("no MIDI file");
    const int division = file[12] << 8 | file[13];
    std::vector<Played> notes;
    for (size_t pos = 14; pos + 8 <= file.size();) {
        const size_t length =
            size_t{file[pos + 4]} << 24 | file[pos + 5] << 16 | file[pos + 6] << 8 | file[pos + 7];
        // Each track as a file of its own, for the reader of one track.
        std::vector<uint8_t> one(file.begin(), file.begin() + 14);
        one[9] = 0, one[11] = 1;
        one.insert(one.end(), file.begin() + pos, file.begin() + pos + 8 + length);
        for (const SmfNote& n : ReadSmf(one).Notes())
            notes.push_back(
                {n.note, double(n.onTick) / division, double(n.offTick) / division, n.onVelocity});
        pos += 8 + length;
    }
    std::sort(notes.begin(), notes.end(), [](const Played& a, const Played& b) {
        return a.on != b.on ? a.on < b.on : a.note < b.note;
    });
    return notes;
}

std::vector<uint8_t> Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct Case {
    std::string name;
    Score score;
    std::vector<EnsembleVoice> ensemble{};  // the voices behind a score of several
};

// The melody of the members 0..count-1 through the maps, as the play button makes it.
Case Melody(const std::string& name, int scale, int root, const std::string& notes,
            std::vector<std::string> tempoMap = {"3"}) {
    ListHost host;
    host.Tempo = kTempo;
    if (scale) ApplyScalePreset(host.NoteMap, scale, root);
    host.TempoMap.Assign(tempoMap);
    host.notes = notes;
    return {name, {name, kTempo, scale, root, {{BuildTimeline(host), 0}}}};
}

std::string Members(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += std::to_string(i) + ",";
    return text;
}

std::vector<Case> Cases() {
    std::vector<Case> cases;
    // Every preset on a root with flats (E flat, key 19) and one with sharps (A, key 25),
    // up and down its scale.
    const std::string upDown = "0,1,2,3,4,5,6,7,8,9,10,11,12,11,10,9,8,7,6,5,4,3,2,1,0";
    for (int scale = 1; scale <= 7; ++scale)
        for (int root : {19, 25})
            cases.push_back(Melody("preset-" + std::to_string(scale) + "-" + std::to_string(root),
                                   scale, root, upDown));
    // The other presets on G sharp (key 24): the harmonic minor's F double sharp.
    for (int scale = 8; scale < kOwnScaleIndex; ++scale)
        cases.push_back(Melody("preset-" + std::to_string(scale) + "-24", scale, 24, upDown));
    // From key 1, below C0: written an octave up.
    cases.push_back(Melody("low", 1, 1, upDown, {"2", "3", "1", "3"}));
    // The chromatic start-up map with rests (note map row 12 is 0), every
    // length from -3 to 9 and ties across bars.
    Case lengths = Melody("lengths", 0, 0, Members(26),
                          {"-3", "-2", "-1", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"});
    cases.push_back(lengths);
    // The same in other meters: bars, beats and the dotted beats of compound ones.
    for (const TimeSignature meter : {TimeSignature{3, 4}, TimeSignature{6, 8}, {12, 8}, {2, 2}}) {
        Case other = lengths;
        other.name += "-" + std::to_string(meter.Beats) + "-" + std::to_string(meter.BeatType);
        other.score.Meter = meter;
        cases.push_back(other);
    }
    // A range for the grand staff.
    ListHost wide;
    wide.Tempo = kTempo;
    wide.NoteMap.Assign({"20", "0", "47", "52", "81", "35", "60"});
    wide.TempoMap.Assign({"2", "3", "1"});
    wide.notes = Members(21);
    cases.push_back({"grand", {"grand", kTempo, 0, 0, {{BuildTimeline(wide), 0}}}});
    // A canon of three voices a whole note apart: the second a fifth up on a
    // violin, the third on the drums.
    const MelodyTimeline theme = Melody("", 0, 0, Members(12), {"2", "3"}).score.Voices[0].Melody;
    const std::vector<EnsembleVoice> canon = {{.Name = "Dux", .Melody = theme, .Tempo = kTempo},
                                              {.Name = "Comes",
                                               .Melody = theme,
                                               .Channel = 2,
                                               .Program = 40,
                                               .Transpose = 7,
                                               .OffsetUs = VoiceOffsetUs(1, kTempo),
                                               .Tempo = kTempo},
                                              {.Name = "Trommel",
                                               .Melody = theme,
                                               .Channel = kPercussionChannel,
                                               .OffsetUs = VoiceOffsetUs(2, kTempo),
                                               .Tempo = kTempo}};
    cases.push_back({"canon", EnsembleScore(canon, kTempo, 0, 0), canon});
    // Velocities across the dynamic marks' bands (pp, p, f, ff, mp), and pans.
    ListHost loud;
    loud.Tempo = kTempo;
    loud.TempoMap.Assign({"3"});
    loud.VelocityMap = ValueListTable(std::vector<std::string>{"30", "50", "100", "120", "64"});
    loud.PanMap = ValueListTable(std::vector<std::string>{"-64", "0", "63"});
    loud.notes = Members(10);
    cases.push_back({"dynamics", {"dynamics", kTempo, 0, 0, {{BuildTimeline(loud), 0}}}});
    return cases;
}

class ScoreClients : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("sonavix-scores-" + std::to_string(getpid()));
        fs::create_directories(dir);
        for (const Case& c : Cases()) {
            WriteLilyPondFile((dir / (c.name + ".ly")).string(), c.score);
            WriteMusicXmlFile((dir / (c.name + ".musicxml")).string(), c.score);
            if (c.ensemble.empty())
                WriteMidiFile((dir / (c.name + ".mid")).string(), c.score.Voices[0].Melody, kTempo,
                              0);
            else
                WriteEnsembleMidiFile((dir / (c.name + ".mid")).string(), c.ensemble, kTempo);
            names.push_back(c.name);
        }
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    // The notes a client's MIDI file carries, against Sonavix's own.
    void ExpectSameNotes(const fs::path& clientMidi, const std::string& name) {
        const std::vector<Played> expected = PlayedNotes(Bytes(dir / (name + ".mid")));
        const std::vector<Played> got = PlayedNotes(Bytes(clientMidi));
        ASSERT_EQ(got.size(), expected.size()) << clientMidi;
        ASSERT_FALSE(got.empty());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].note, expected[i].note) << clientMidi << " note " << i;
            // Sonavix's own file lies on the millisecond: a 512th is 3.9 ms at 120.
            EXPECT_NEAR(got[i].on, expected[i].on, 0.01) << clientMidi << " note " << i;
            EXPECT_NEAR(got[i].off, expected[i].off, 0.01) << clientMidi << " note " << i;
        }
    }
    // Where Sonavix's velocity changes its mark's band, the client's follows it.
    void ExpectDynamics(const fs::path& clientMidi) {
        const std::vector<Played> expected = PlayedNotes(Bytes(dir / "dynamics.mid"));
        const std::vector<Played> got = PlayedNotes(Bytes(clientMidi));
        ASSERT_EQ(got.size(), expected.size()) << clientMidi;
        for (size_t i = 1; i < got.size(); ++i) {
            const int ours = expected[i].velocity, before = expected[i - 1].velocity;
            if (std::string_view(DynamicMark(ours)) == DynamicMark(before)) continue;
            EXPECT_EQ(got[i].velocity > got[i - 1].velocity, ours > before)
                << clientMidi << " note " << i << ": " << got[i - 1].velocity << " then "
                << got[i].velocity;
        }
    }
    fs::path dir;
    std::vector<std::string> names;
};
}  // namespace

TEST_F(ScoreClients, XmlLintFindsEveryMusicXmlFileWellFormed) {
    if (!fs::exists(kXmlLint)) GTEST_SKIP() << "xmllint is not installed";
    std::vector<std::string> args = {"--noout"};
    for (const std::string& name : names) args.push_back((dir / (name + ".musicxml")).string());
    const ProgramResult r = RunProgram(kXmlLint, args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

TEST_F(ScoreClients, LilyPondCompilesEveryFileWithoutAWarningAndPlaysTheSameNotes) {
    if (!fs::exists(kLilyPond)) GTEST_SKIP() << "LilyPond is not installed";
    // LilyPond writes into its working folder: the files' own. The pages are
    // laid out (so layout warnings show) but not printed, which halves the time.
    std::string command =
        "cd '" + dir.string() + "' && exec " + kLilyPond + " -l WARNING -dno-print-pages";
    for (const std::string& name : names) command += " " + name + ".ly";
    const ProgramResult r = RunProgram("/bin/sh", {"-c", command});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const std::string& name : names) ExpectSameNotes(dir / (name + ".midi"), name);
    ExpectDynamics(dir / "dynamics.midi");
}

TEST_F(ScoreClients, MuseScoreImportsEveryFileAndPlaysTheSameNotes) {
    if (!fs::exists(kMuseScore)) GTEST_SKIP() << "MuseScore 3 is not installed";
    std::string job = "[";
    for (const std::string& name : names)
        job += std::string(job.size() > 1 ? "," : "") + "{\"in\":\"" +
               (dir / (name + ".musicxml")).string() + "\",\"out\":\"" +
               (dir / (name + ".mscore.mid")).string() + "\"}";
    std::ofstream((dir / "job.json").string()) << job << "]";
    const ProgramResult r =
        RunProgram(kMuseScore, {"-j", (dir / "job.json").string()}, {"QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const std::string& name : names) ExpectSameNotes(dir / (name + ".mscore.mid"), name);
    ExpectDynamics(dir / "dynamics.mscore.mid");
}
