#include "melodyfile/midifile.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli/smf_reader.h"
#include "common/file_write.h"
#include "common/messages.h"
#include "support/expect_error.h"
#include "support/midi_fixture.h"

namespace {
namespace fs = std::filesystem;
using Melody = std::vector<MelodyNote>;

std::string Failure(const Melody& melody, int tempo, int program) {
    return MessageOf<EMidiFileError>([&] { MidiFileBytes(melody, tempo, program); });
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class MidiFileWrite : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("sonavix-midifile-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    fs::path dir;
};
}  // namespace

TEST(MidiFileBytes, OneNoteByteForByte) {
    // Worked out by hand from the file format: 120 beats are 500000 us per
    // quarter (07 A1 20); 500 ms are 480 ticks, written 83 60.
    const std::vector<uint8_t> expected = {'M',  'T',  'h',  'd',  0,    0,    0,    6,
                                           0,    0,    0,    1,    0x01, 0xE0,            //
                                           'M',  'T',  'r',  'k',  0,    0,    0,    23,  //
                                           0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,      //
                                           0x00, 0xC0, 0x05,                              //
                                           0x00, 0x90, 0x30, 0x6E,                        //
                                           0x83, 0x60, 0x80, 0x30, 0x6E,                  //
                                           0x00, 0xFF, 0x2F, 0x00};
    EXPECT_EQ(MidiFileBytes({{40, 500}}, 120, 5), expected);
}

TEST(MidiFileBytes, LengthExponentsGiveExactNoteValues) {
    // At tempo 90 a quarter sounds 667 ms, which by time alone drifts to 481 ticks now and then.
    MelodyTimeline melody;
    for (int i = 0; i < 3; ++i) melody.Append(40, 667, 2);
    melody.Append(0, 333, 3);     // an eighth rest
    melody.Append(41, 5333, -1);  // a double whole note
    melody.Append(42, 10, 11);    // two notes of 15/16 tick each
    melody.Append(43, 10, 11);
    const Smf smf = ReadSmf(MidiFileBytes(melody, 90, 0));
    EXPECT_EQ(smf.Notes(), (std::vector<SmfNote>{{48, 110, 110, 0, 480},
                                                 {48, 110, 110, 480, 960},
                                                 {48, 110, 110, 960, 1440},
                                                 {49, 110, 110, 1680, 5520},
                                                 {50, 110, 110, 5520, 5521},
                                                 {51, 110, 110, 5521, 5522}}));
    EXPECT_EQ(smf.EndTick(), 5522);
}

TEST(MidiFileBytes, EmptyMelodyHasTempoProgramAndEnd) {
    const Smf smf = ReadSmf(MidiFileBytes(Melody{}, 90, 0));
    EXPECT_EQ(smf.TempoUs(), 666667);
    EXPECT_EQ(smf.Programs().size(), 1u);
    EXPECT_TRUE(smf.Notes().empty());
    EXPECT_EQ(smf.EndTick(), 0);
}

TEST(MidiFileBytes, LongestDeltaFitsAndOneTickMoreIsRefused) {
    // At tempo 125 a millisecond is one tick; four bytes of delta hold 2^28 - 1.
    const Smf smf = ReadSmf(MidiFileBytes({{40, 268435455}}, 125, 0));
    EXPECT_EQ(smf.Notes(), (std::vector<SmfNote>{{48, 110, 110, 0, 268435455}}));
    EXPECT_EQ(Failure({{40, 268435456}}, 125, 0),
              "Eine Note oder Pause der Melodie ist für eine MIDI-Datei zu lang (höchstens "
              "268435455 Ticks)");
    // Rests in a row are one gap.
    EXPECT_EQ(Failure({{0, 200000000}, {0, 68435456}, {40, 1}}, 125, 0),
              "Eine Note oder Pause der Melodie ist für eine MIDI-Datei zu lang (höchstens "
              "268435455 Ticks)");
}

TEST(MidiFileBytes, AnEnsembleHasATrackPerVoiceOnItsChannel) {
    const std::vector<EnsembleVoice> voices = {
        {.Name = "Melodie", .Melody = TimelineOf({{40, 500}, {42, 500}})},
        {.Name = "Baß",
         .Melody = TimelineOf({{40, 1000}}),
         .Channel = 3,
         .Program = 33,
         .Transpose = -12,
         .Velocity = 64,
         .OffsetUs = VoiceOffsetUs(0.25, 120)},
        {.Name = "Still", .Melody = TimelineOf({{40, 500}}), .Channel = 5, .Mute = true},
    };
    const std::vector<Smf> tracks = ReadSmfTracks(EnsembleMidiFileBytes(voices, 120));
    ASSERT_EQ(tracks.size(), 3u);  // the muted voice left out
    EXPECT_EQ(tracks[0].format, 1);
    EXPECT_EQ(tracks[0].TempoUs(), 500000);
    const auto name = [](const Smf& track) {
        return std::string(track.events.front().bytes.begin() + 2,
                           track.events.front().bytes.end());
    };
    EXPECT_EQ(name(tracks[1]), "Melodie");
    EXPECT_EQ(name(tracks[2]), "Baß");
    EXPECT_EQ(tracks[1].Programs(), (std::vector<std::pair<int, int>>{{1, 0}}));
    EXPECT_EQ(tracks[2].Programs(), (std::vector<std::pair<int, int>>{{3, 33}}));
    EXPECT_EQ(tracks[1].Notes(),
              (std::vector<SmfNote>{{48, 110, 110, 0, 480}, {50, 110, 110, 480, 960}}));
    EXPECT_EQ(tracks[2].Notes(), (std::vector<SmfNote>{{36, 64, 64, 480, 1440}}));
    EXPECT_EQ(tracks[2].events[2].bytes[0], 0x92);
    for (const Smf& track : tracks) EXPECT_EQ(track.EndTick(), 1440);
}

TEST(MidiFileBytes, RefusesWhatNoFileCanHold) {
    const struct {
        Melody melody;
        int tempo, program;
        std::string message;
    } cases[] = {
        {{{40, 100}, {41, -1}}, 90, 0, msg::InvalidNoteDuration(-1)},
        {{}, 19, 0, msg::InvalidTempo(19, 20, 220)},
        {{}, 221, 0, msg::InvalidTempo(221, 20, 220)},
        {{}, 90, -1, msg::InvalidInstrument(-1)},
        {{}, 90, 128, msg::InvalidInstrument(128)},
    };
    for (const auto& c : cases) EXPECT_EQ(Failure(c.melody, c.tempo, c.program), c.message);
    EXPECT_EQ(ReadSmf(MidiFileBytes(Melody{}, 20, 127)).Programs(),
              (std::vector<std::pair<int, int>>{{1, 127}}));
    EXPECT_EQ(ReadSmf(MidiFileBytes(Melody{}, 220, 0)).TempoUs(), 272727);
}

// The file must sound what PlayNote sounds, at the times it sounds it.
class MidiFileAgainstPlayNote : public RecordedMidi {};

TEST_F(MidiFileAgainstPlayNote, SameNotesVelocitiesAndTimes) {
    const Melody melody = {{-3, 250}, {0, 100}, {1, 333},      {40, 667},  {119, 12},    {120, 500},
                           {88, 0},   {47, 1},  {INT_MAX, 90}, {40, 1999}, {INT_MIN, 7}, {52, 136}};
    const int64_t origin = clock.NowUs();
    for (const MelodyNote& note : melody) midi.PlayNote(note.Key, note.DurationMs);
    const int64_t end = clock.NowUs();
    const std::vector<SoundedNote> played = Notes();
    ASSERT_EQ(played.size(), 7u);

    for (const int tempo : {20, 90, 137, 220}) {
        const Smf smf = ReadSmf(MidiFileBytes(melody, tempo, 0));
        const std::vector<SmfNote> written = smf.Notes();
        ASSERT_EQ(written.size(), played.size()) << "tempo " << tempo;
        // A tick lasts 60000 / (480 * tempo) ms; every event lies on the tick
        // nearest to its time.
        const auto tickOf = [&](int64_t us) { return (us - origin) / 1000.0 * tempo / 125.0; };
        for (size_t i = 0; i < played.size(); ++i) {
            EXPECT_EQ(written[i].note, played[i].note);
            EXPECT_EQ(written[i].onVelocity, 110);
            EXPECT_EQ(written[i].offVelocity, 110);
            EXPECT_LE(std::abs(written[i].onTick - tickOf(played[i].onUs)), 0.5)
                << i << " at " << tempo;
            EXPECT_LE(std::abs(written[i].offTick - tickOf(played[i].offUs)), 0.5)
                << i << " at " << tempo;
        }
        EXPECT_LE(std::abs(smf.EndTick() - tickOf(end)), 0.5);
    }
}

TEST_F(MidiFileWrite, WritesTheBytesAndReportsWhatCannotBeWritten) {
    const Melody melody = {{40, 667}, {0, 333}, {44, 667}};
    const fs::path file = dir / "melodie.mid";
    WriteMidiFile(file.string(), melody, 90, 19);
    EXPECT_EQ(ReadBytes(file), MidiFileBytes(melody, 90, 19));

    // A melody that cannot be written leaves the file there as it was.
    EXPECT_THROW(WriteMidiFile(file.string(), {{40, -5}}, 90, 0), EMidiFileError);
    EXPECT_EQ(ReadBytes(file), MidiFileBytes(melody, 90, 19));

    const struct {
        fs::path path;
        const char* cause;
    } cases[] = {
        {dir / "fehlt" / "x.mid", "der Ordner existiert nicht"},
        {dir, "das ist ein Ordner"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            MessageOf<EFileWriteError>([&] { WriteMidiFile(c.path.string(), melody, 90, 0); }),
            "Die Datei \"" + c.path.string() + "\" kann nicht geschrieben werden: " + c.cause);
}

TEST(MidiFileBytes, AVoiceInAnEnsembleLiesOnTheTicksOfItsOwnFile) {
    // At tempo 90 quarters of 667 ms drift by time alone; a sixteenth of tempo
    // 70 in an ensemble of 90 is 154 2/7 ticks, rounded once per note.
    MelodyTimeline quarters, sixteenths;
    for (int i = 0; i < 1000; ++i) quarters.Append(40 + i % 5, 667, 2);
    for (int i = 0; i < 1000; ++i) sixteenths.Append(40, 214, 4);  // at tempo 70
    const std::vector<EnsembleVoice> voices = {
        {.Melody = quarters, .Tempo = 90},
        {.Melody = sixteenths, .Channel = 2, .Tempo = 70},
    };
    const std::vector<Smf> tracks = ReadSmfTracks(EnsembleMidiFileBytes(voices, 90));
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[1].Notes(), ReadSmf(MidiFileBytes(quarters, 90, 0)).Notes());
    const std::vector<SmfNote> other = tracks[2].Notes();
    ASSERT_EQ(other.size(), 1000u);
    EXPECT_EQ(other[3].onTick, 463);
    EXPECT_EQ(other[999].offTick, 154286);
    EXPECT_EQ(tracks[0].EndTick(), 480000);
}

// The expression maps' values read back: each note's velocity on both ends,
// controller 10 at the tick of the first note and of each whose pan changed.
TEST(MidiFileBytes, VelocitiesAndPanControllersReadBack) {
    const Melody melody = {{40, 500, 30, -64},
                           {0, 500, 90, 63},
                           {41, 500, 90, 63},
                           {42, 500, 127, 63},
                           {43, 500, 1, 0}};
    const auto controllers = [](const Smf& track) {
        std::vector<std::pair<int64_t, int>> found;
        for (const SmfEvent& e : track.events)
            if ((e.bytes[0] & 0xF0) == 0xB0 && e.bytes[1] == 10)
                found.emplace_back(e.tick, e.bytes[2]);
        return found;
    };
    const std::vector<std::pair<int64_t, int>> expected = {{0, 0}, {960, 127}, {1920, 64}};
    const Smf one = ReadSmf(MidiFileBytes(melody, 120, 0));
    EXPECT_EQ(one.Notes(), (std::vector<SmfNote>{{48, 30, 30, 0, 480},
                                                 {49, 90, 90, 960, 1440},
                                                 {50, 127, 127, 1440, 1920},
                                                 {51, 1, 1, 1920, 2400}}));
    EXPECT_EQ(controllers(one), expected);
    // In a voice's own track of an ensemble alike, on its channel.
    const std::vector<Smf> tracks =
        ReadSmfTracks(EnsembleMidiFileBytes({{.Melody = TimelineOf(melody), .Channel = 4}}, 120));
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[1].Notes(), one.Notes());
    EXPECT_EQ(controllers(tracks[1]), expected);
}
