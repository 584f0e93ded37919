#include "setup/setup_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/expect_error.h"
#include "support/voice_ends.h"

namespace {
namespace fs = std::filesystem;

// A setup that differs from the start-up values in every field.
MelodySetup EveryFieldChanged() {
    MelodySetup setup;
    setup.Tempo = 144;
    setup.ShowOnKeyboard = false;
    setup.OeisWholeSequences = true;
    setup.Meter = {6, 8};
    VoiceSetup& voice = setup.Voices[0];
    voice.Notes.Selected = SourceKind::Oeis;
    voice.Notes.Formula = {"x_1+x_2", "12", {"1", "-7"}, true};
    voice.Notes.Oeis = {"fibonacci", "A000045", "Fibonacci numbers: F(n) = F(n-1) + F(n-2).",
                        "0, 1, 1, 2, 3, 5"};
    voice.Notes.ExplicitList = "1, 2,\n3 \"quoted\" ä\t";
    voice.TempoSequenceUsed = true;
    voice.Tempi.Selected = SourceKind::Explicit;
    voice.Tempi.ExplicitList = "2, 3";
    voice.ZeroNatural = true;
    voice.ScaleIndex = 0;
    voice.RootIndex = 77;
    voice.OwnScaleSteps = {3, 4, 5};
    voice.NoteMap = {"40", "x", ""};
    voice.TempoMap = {"-1", "3"};
    voice.Instrument = 127;
    voice.Dynamics = {true, true, voice.Tempi, {"1", "127", "x"}};
    voice.Panorama.Used = true;
    voice.Panorama.Map = {"-64", "63"};
    setup.ProgramVersion = "Sonavix 9.9";
    setup.SavedAt = "2026-12-09T00:30:00Z";
    return setup;
}

TEST(SetupFile, EveryFieldSurvivesTheRoundTrip) {
    const MelodySetup setup = EveryFieldChanged();
    EXPECT_EQ(SetupFromJson(SetupToJson(setup), "a"), setup);
    // A second voice is carried as well, for files of several voices.
    MelodySetup two = setup;
    two.Voices.push_back(VoiceSetup{});
    VoiceSetup& voice = two.Voices.back();
    voice.Name = "Baß";
    voice.Tempo = 60;
    voice.Channel = 10;
    voice.OffsetWholeNotes = 0.375;
    voice.Transpose = -12;
    voice.Velocity = 1;
    voice.Mute = voice.Solo = true;
    // Long enough to be read past the parser, with characters of two to four bytes.
    voice.Notes.ExplicitList = std::string(2000, '7') + "\xc3\xa4 \xe2\x82\xac \xf0\x9f\x8e\xb5";
    EXPECT_EQ(SetupFromJson(SetupToJson(two), "a"), two);
    // A one-voice file names none of the ensemble's fields, a 4/4 one no meter.
    EXPECT_EQ(SetupToJson(setup).find("channel"), std::string::npos);
    EXPECT_NE(SetupToJson(setup).find(R"("timeSignature": "6/8")"), std::string::npos);
    EXPECT_EQ(SetupToJson(MelodySetup{}).find("timeSignature"), std::string::npos);
    // Nor one without expression its maps (older files are written as they were).
    for (const char* key : {"dynamics", "panorama", "\"pan\""})
        EXPECT_EQ(SetupToJson(MelodySetup{}).find(key), std::string::npos) << key;
}

// Each row of the voice fields: its key is read back, the ends of its range
// pass and a value just beyond them is refused.
TEST(SetupFile, EveryVoiceFieldKeepsItsRangeThroughTheFile) {
    MelodySetup ends;
    ends.Voices = {VoiceAtRangeEnd(false), VoiceAtRangeEnd(true)};
    EXPECT_EQ(SetupFromJson(SetupToJson(ends), "a"), ends);
    const std::string head = R"({"format": "sonavix-setup", "formatVersion": 1, "voices": [{")";
    for (const VoiceField& field : kVoiceFields) {
        if (std::holds_alternative<std::string VoiceMix::*>(field.Field)) continue;
        for (const int beyond : {field.Min - 1, field.Max + 1}) {
            const std::string text = head + field.Key + "\": " + std::to_string(beyond) + "}]}";
            EXPECT_NE(MessageOf<ESetupError>([&] { SetupFromJson(text, "a"); }), "<no error>")
                << text;
        }
    }
}

TEST(SetupFile, MissingFieldsKeepStartValuesAndUnknownOnesAreIgnored) {
    const MelodySetup read = SetupFromJson(
        R"({"format": "sonavix-setup", "formatVersion": 1, "future": {"x": [1, 1e400]},
            "tempo": 100, "voices": [{"noteMap": {"values": [40, "41"], "colour": "red"},
            "later": -2E999, "notes": {"explicit": "1e400 \" 1e400"}, "tiny": [1e-400],
            "offset": 0.5)" +
            std::string(80, '0') + R"(1}], "tempo": 120})",
        "a");
    // Of equal keys the last counts, as nlohmann's own parser has it.
    MelodySetup expected;
    expected.Tempo = 120;
    expected.Voices[0].NoteMap = {"40", "41"};
    expected.Voices[0].Notes.ExplicitList = "1e400 \" 1e400";
    expected.Voices[0].OffsetWholeNotes = 0.5;  // a long number, rounded as the parser would
    EXPECT_EQ(read, expected);
}

TEST(SetupFile, BrokenTextsAreRefusedWithWhatAndWhere) {
    const std::string head = R"({"format": "sonavix-setup", "formatVersion": 1, )";
    const struct {
        std::string text;
        std::string message;  // after 'Die Datei "f.sonavix" '
    } cases[] = {
        {"", "ist leer"},
        {"{\"format\": \"sonavix-setup\", \"formatVe",
         "endet mitten im JSON-Text (unvollständig gespeichert?)"},
        {"{\n  \"format\": x}", "ist kein gültiger JSON-Text (Zeile 2, Spalte 13)"},
        {"{\"format\": \"a\xff\"}", "ist kein gültiger JSON-Text (Zeile 1, Spalte 14)"},
        {"<html>", "ist kein gültiger JSON-Text (Zeile 1, Spalte 1)"},
        {"[1, 2]", "ist keine Sonavix-Datei"},
        {R"({"format": "other", "formatVersion": 1})", "ist keine Sonavix-Datei"},
        {std::string(40, '[') + std::string(40, ']'),
         "ist keine Sonavix-Datei: zu tief geschachtelt"},
        {R"({"format": "sonavix-setup"})", "ist fehlerhaft: formatVersion fehlt"},
        {head + R"("formatVersion": 2})",
         "stammt aus einer neueren Sonavix-Version (Format 2); dieses Programm liest Format 1"},
        {R"({"format": "sonavix-setup", "formatVersion": 0})",
         "ist fehlerhaft: formatVersion muss eine ganze Zahl ab 1 sein, nicht 0"},
        {head + R"("tempo": 221})",
         "ist fehlerhaft: tempo muss eine ganze Zahl von 20 bis 220 sein, nicht 221"},
        {head + R"("tempo": 90.5})",
         "ist fehlerhaft: tempo muss eine ganze Zahl von 20 bis 220 sein, nicht 90.5"},
        {head + R"("timeSignature": "7/7"})",
         "ist fehlerhaft: timeSignature muss eine Taktart wie 3/4 oder 6/8 sein, nicht \"7/7\""},
        {head + R"("showOnKeyboard": "ja"})",
         "ist fehlerhaft: showOnKeyboard muss true oder false sein, nicht \"ja\""},
        {head + R"("voices": []})",
         "ist fehlerhaft: voices muss eine Liste von 1 bis 16 Stimmen sein, nicht eine Liste"},
        {head +
             R"("voices": [{}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}]})",
         "ist fehlerhaft: voices muss eine Liste von 1 bis 16 Stimmen sein, nicht eine Liste"},
        {head + R"("tempo": 1e400})",
         "ist fehlerhaft: tempo muss eine ganze Zahl von 20 bis 220 sein, nicht 1e400"},
        {head + R"("voices": [{"offset": -1E+999}]})",
         "ist fehlerhaft: voices[0].offset muss eine Zahl von 0 bis 10000 (ganze Noten) sein, "
         "nicht -1E+999"},
        {R"({"format": "sonavix-setup", "formatVersion": 1})" + std::string(1, '\0') +
             "this is not json {{{",
         "ist kein gültiger JSON-Text (Zeile 1, Spalte 48)"},
        {head + R"("voices": [{"instrument": 128}]})",
         "ist fehlerhaft: voices[0].instrument muss eine ganze Zahl von 0 bis 127 sein, nicht 128"},
        {head + R"("voices": [{}, {"channel": 17}]})",
         "ist fehlerhaft: voices[1].channel muss eine ganze Zahl von 1 bis 16 sein, nicht 17"},
        {head + R"("voices": [{"offset": -0.5}]})",
         "ist fehlerhaft: voices[0].offset muss eine Zahl von 0 bis 10000 (ganze Noten) sein, "
         "nicht -0.5"},
        {head + R"("voices": [{}, 3]})", "ist fehlerhaft: voices[1] muss ein Objekt sein, nicht 3"},
        {head + R"("voices": [{"noteMap": {"scale": 16}}]})",
         "ist fehlerhaft: voices[0].noteMap.scale muss eine ganze Zahl von 0 bis 15 sein, nicht "
         "16"},
        {head + R"("voices": [{"noteMap": {"ownScaleSteps": [2, "2"]}}]})",
         "ist fehlerhaft: voices[0].noteMap.ownScaleSteps muss eine Liste von höchstens 12 ganzen "
         "Zahlen sein, nicht eine Liste"},
        {head + R"("voices": [{"noteMap": {"ownScaleSteps": [7, 7]}}]})",
         "ist fehlerhaft: voices[0].noteMap.ownScaleSteps ist ungültig: Die Schritte ergeben "
         "zusammen 14 Halbtöne, mehr als eine Oktave (12)"},
        {head + R"("voices": [{"noteMap": {"values": []}}]})",
         "ist fehlerhaft: voices[0].noteMap.values muss eine Liste von 1 bis 100000 Werten sein, "
         "nicht eine Liste mit 0 Werten"},
        {head + R"("voices": [{"tempoMap": {"values": ["2", 1.5]}}]})",
         "ist fehlerhaft: voices[0].tempoMap.values[1] muss ein Text oder eine ganze Zahl sein, "
         "nicht 1.5"},
        {head + R"("voices": [{"tempoMap": {"values": ["2\n3"]}}]})",
         "ist fehlerhaft: voices[0].tempoMap.values[0] muss eine Zeile sein, nicht \"2<U+000A>3\""},
        {head + R"("voices": [{"notes": {"source": "midi"}}]})",
         "ist fehlerhaft: voices[0].notes.source muss \"formula\", \"oeis\" oder \"explicit\" "
         "sein, nicht \"midi\""},
        {head + R"("voices": [{"tempi": {"formula": {"text": 5}}}]})",
         "ist fehlerhaft: voices[0].tempi.formula.text muss ein Text sein, nicht 5"},
        {head + R"("voices": [{"notes": {"formula": {"count": ")" + std::string(32768, '1') +
             "\"}}}]}",
         "ist fehlerhaft: voices[0].notes.formula.count ist länger als 32767 Zeichen"},
        {head + R"("voices": [{"notes": {"oeis": {"aNumber": "45"}}}]})",
         "ist fehlerhaft: voices[0].notes.oeis.aNumber muss leer sein oder eine A-Nummer wie "
         "\"A000045\", nicht \"45\""},
        {head + R"("voices": [{"notes": {"oeis": []}}]})",
         "ist fehlerhaft: voices[0].notes.oeis muss ein Objekt sein, nicht eine Liste"},
        {head + R"("voices": [{"dynamics": {"used": "ja"}}]})",
         "ist fehlerhaft: voices[0].dynamics.used muss true oder false sein, nicht \"ja\""},
        {head + R"("voices": [{"panorama": {"values": []}}]})",
         "ist fehlerhaft: voices[0].panorama.values muss eine Liste von 1 bis 100000 Werten sein, "
         "nicht eine Liste mit 0 Werten"},
        {head + R"("voices": [{"panorama": {"sequence": {"source": 1}}}]})",
         "ist fehlerhaft: voices[0].panorama.sequence.source muss \"formula\", \"oeis\" oder "
         "\"explicit\" sein, nicht 1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageOf<ESetupError>([&] { SetupFromJson(c.text, "f.sonavix"); }),
                  "Die Datei \"f.sonavix\" " + c.message)
            << c.text.substr(0, 80);
}

// A long string is read past the parser where the parser would take it as it
// stands; whatever the parser refuses, and the place it names, stays the same.
TEST(SetupFile, LongStringsAreRefusedAsTheParserRefusesThem) {
    const std::string head =
        R"({"format": "sonavix-setup", "formatVersion": 1, "voices": [{"notes": {"explicit": ")" +
        std::string(2000, '7');
    const struct {
        std::string text;
        std::string message;  // after 'Die Datei "f" '
    } cases[] = {
        {head + R"(" "x"}}]})", "ist kein gültiger JSON-Text (Zeile 1, Spalte 2088)"},
        {head + "\"}}], \"" + std::string(2000, 'k') + "\": 1,\n\"" + std::string(2000, 'k') +
             "\": x}",
         "ist kein gültiger JSON-Text (Zeile 2, Spalte 2005)"},
        {head + "\xff\"}}]}", "ist kein gültiger JSON-Text (Zeile 1, Spalte 2084)"},
        {head + "\xed\xa0\x80\"}}]}", "ist kein gültiger JSON-Text (Zeile 1, Spalte 2085)"},
        {head + "\xf4\x90\x80\x80\"}}]}", "ist kein gültiger JSON-Text (Zeile 1, Spalte 2085)"},
        {head + "\xc3\"}}]}", "ist kein gültiger JSON-Text (Zeile 1, Spalte 2085)"},
        {head + "\x01\"}}]}", "ist kein gültiger JSON-Text (Zeile 1, Spalte 2084)"},
        {head + "\\q\"}}]}", "ist kein gültiger JSON-Text (Zeile 1, Spalte 2085)"},
        {head + "\"}}], \"tempo\": 300}",
         "ist fehlerhaft: tempo muss eine ganze Zahl von 20 bis 220 sein, nicht 300"},
        {head + "\"}}]", "endet mitten im JSON-Text (unvollständig gespeichert?)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageOf<ESetupError>([&] { SetupFromJson(c.text, "f"); }),
                  "Die Datei \"f\" " + c.message)
            << c.text.substr(c.text.size() - 20);
    // An escape leaves the string to the parser, which reads it.
    EXPECT_EQ(SetupFromJson(head + "\\n\"}}]}", "f").Voices[0].Notes.ExplicitList,
              std::string(2000, '7') + "\n");
}

// Reading takes time in proportion to the file's size whatever its shape: a
// long list of voices, one under an unknown key, an object of many keys.
TEST(SetupFile, LongListsAndObjectsAreReadInLinearTime) {
    const std::string head = R"({"format": "sonavix-setup", "formatVersion": 1, )";
    const auto list = [](const char* item, int count) {
        std::string text = "[";
        for (int i = 0; i < count; ++i) text += (i ? ", " : "") + std::string(item);
        return text + "]";
    };
    std::string keys = "{";
    for (int i = 0; i < 300000; ++i) keys += (i ? ", \"k" : "\"k") + std::to_string(i) + "\": 0";
    keys += "}";
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {head + R"("voices": )" + list("{}", 1000000) + "}",
         "Die Datei \"a\" ist fehlerhaft: voices muss eine Liste von 1 bis 16 Stimmen sein, nicht "
         "eine Liste"},
        {head + R"("later": )" + list("{}", 300000) + "}", "<no error>"},
        {head + R"("later": )" + keys + "}", "<no error>"},
    };
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(MessageOf<ESetupError>([&] { SetupFromJson(c.text, "a"); }), c.message);
        // Far above the tenth of a second it takes, far below the minutes before.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5))
            << c.text.substr(0, 80);
    }
}

class SetupFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("sonavix-setup-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    std::string Refusal(const fs::path& path) {
        const std::string message = MessageOf<ESetupError>([&] { ReadSetupFile(path.string()); });
        const std::string prefix = "Die Datei \"" + path.string() + "\" ";
        return message.starts_with(prefix) ? message.substr(prefix.size()) : message;
    }
    fs::path dir;
};

TEST_F(SetupFiles, SavedFileOpensAgainAndNamesItsProgram) {
    const fs::path path = dir / "melodie.sonavix";
    SaveSetupFile(path.string(), EveryFieldChanged());
    const MelodySetup read = ReadSetupFile(path.string());
    EXPECT_EQ(read.ProgramVersion, ProgramVersionText());
    EXPECT_EQ(read.SavedAt.size(), 20u);
    MelodySetup expected = EveryFieldChanged();
    expected.ProgramVersion = read.ProgramVersion;
    expected.SavedAt = read.SavedAt;
    EXPECT_EQ(read, expected);
}

TEST_F(SetupFiles, FilesThatCannotBeReadAreRefused) {
    EXPECT_EQ(Refusal(dir / "fehlt.sonavix"), "lässt sich nicht öffnen: die Datei existiert nicht");
    EXPECT_EQ(Refusal(dir), "lässt sich nicht öffnen: das ist ein Ordner");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(Refusal(dir / "fifo"), "lässt sich nicht öffnen: das ist keine gewöhnliche Datei");
    // Sparse, so the test costs no disk space.
    const fs::path big = dir / "gross.sonavix";
    std::ofstream(big) << "{";
    fs::resize_file(big, kSetupFileMaxBytes + 1);
    EXPECT_EQ(Refusal(big), "ist zu groß für eine Sonavix-Datei (über 64 MiB)");
}

// The README's example is what this program writes for that setup, byte for byte.
TEST(SetupFile, ExampleFileIsWhatTheProgramWrites) {
    std::ifstream in(SONAVIX_EXAMPLE_SETUP, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(SetupToJson(SetupFromJson(text, "beispiel.sonavix")), text);
}
}  // namespace
