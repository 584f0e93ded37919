#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <filesystem>
#include <pugixml.hpp>
#include <string>

#include "melodyfile/export_formats.h"
#include "midi/synth.h"
#include "support/program.h"
#include "support/window_fixture.h"
#include "ui/setup_files.h"
#include "ui/voices_window.h"

namespace {
using Args = std::vector<std::string>;

class ScoreExport : public WindowTest {
protected:
    void TearDown() override {
        std::filesystem::remove(path);
        WindowTest::TearDown();
    }
    // One file per process: the tests run side by side, in other checkouts too.
    std::string path = ::testing::TempDir() + "sonavix_score_test_" + std::to_string(getpid());
};
}  // namespace

TEST_F(ScoreExport, LilyPondInTheChosenKeyTitledByTheSource) {
    window->ChooseLilyPondFilePath = [&] { return QString::fromStdString(path); };
    window->frmFolgenNoten->rbtExplizit->click();
    window->frmFolgenNoten->frmExplizit1->mmoExplizit->setPlainText("0, 1, 2, 3");
    window->cbxTonart->setCurrentIndex(1);
    window->cbxGrundton->setCurrentIndex(21);  // F major
    window->cbxNotenVorgabeChange(window->cbxGrundton);
    window->cbxInstrument->setCurrentIndex(40);
    window->miLilyPondDatei->trigger();
    ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
    const std::string text = ReadWholeFile(path);
    for (const char* part : {"title = \"Explizite Folge\"", "\\key f \\major", "\"violin\"",
                             "f,,4 g,,4 a,,4 bes,,4 |"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
}

TEST_F(ScoreExport, NoExportChangesWhatTheWindowHolds) {
    window->frmFolgenNoten->frmFormel1->edtFormel->setText("x");
    window->frmFolgenNoten->frmFormel1->edtLaenge->setText("3");
    const MelodySetup before = window->CaptureSetup();
    const bool synth = std::filesystem::exists(DefaultSoundFontPath());
    const struct {
        QAction* item;
        std::function<QString()>* choose;
    } exports[] = {{window->miMusicXmlDatei, &window->ChooseMusicXmlFilePath},
                   {window->miLilyPondDatei, &window->ChooseLilyPondFilePath},
                   {window->miMidiDatei, &window->ChooseMidiFilePath},
                   {synth ? window->miWavDatei : nullptr, &window->ChooseWavFilePath},
                   {window->miMusicXmlDatei, &window->ChooseMusicXmlFilePath}};
    for (const auto& e : exports) {
        if (!e.item) continue;
        *e.choose = [&] { return QString::fromStdString(path); };
        e.item->trigger();
        ASSERT_TRUE(errors.empty())
            << e.item->text().toStdString() << ": " << errors[0].toStdString();
        EXPECT_EQ(window->CaptureSetup(), before) << e.item->text().toStdString();
    }
    window->miAnsicht->trigger();
    EXPECT_EQ(window->CaptureSetup(), before) << "Ansicht";
    // The last export came after all the others and is still titled by the formula.
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(path.c_str()));
    EXPECT_STREQ(doc.child("score-partwise").child("work").child_value("work-title"), "x");
    EXPECT_EQ(doc.select_nodes("//note[pitch]").size(), 3u);
    EXPECT_TRUE(service->Messages().empty());  // written, not played
}

TEST_F(ScoreExport, TheVoicesWindowWritesAPartPerVoice) {
    window->Files->Open(SONAVIX_EXAMPLE_CANON);
    ASSERT_NE(window->frmStimmen, nullptr);
    window->frmStimmen->ChooseMusicXmlPath = [&] { return QString::fromStdString(path); };
    window->frmStimmen->btnMusicXmlDatei->click();
    ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(path.c_str()));
    EXPECT_EQ(doc.select_nodes("//part").size(), 3u);
}

TEST_F(ScoreExport, TheVoicesWindowWritesTheSameWavAsTheCommandLine) {
    if (access("/usr/share/sounds/sf2/TimGM6mb.sf2", R_OK) != 0)
        GTEST_SKIP() << "no SoundFont (timgm6mb-soundfont)";
    window->Files->Open(SONAVIX_EXAMPLE_CANON);
    ASSERT_NE(window->frmStimmen, nullptr);
    window->frmStimmen->ChooseWavPath = [&] { return QString::fromStdString(path); };
    window->frmStimmen->btnWavDatei->click();
    ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
    const std::string cliPath = path + ".cli.wav";
    const ProgramResult cli =
        RunProgram(SONAVIX_CLI, {"melody", "--setup", SONAVIX_EXAMPLE_CANON, "--out", cliPath});
    ASSERT_EQ(cli.status, 0) << cli.err;
    const std::string fromWindow = ReadWholeFile(path), fromCli = ReadWholeFile(cliPath);
    std::filesystem::remove(cliPath);
    EXPECT_GT(fromWindow.size(), 44u + 4u * 44100u);
    EXPECT_TRUE(fromWindow == fromCli) << fromWindow.size() << " vs " << fromCli.size();
    EXPECT_TRUE(service->Messages().empty());  // written, not played
}

TEST_F(ScoreExport, BothWindowsWriteTheChosenAudioFileAsTheCommandLineDoes) {
    if (access("/usr/share/sounds/sf2/TimGM6mb.sf2", R_OK) != 0)
        GTEST_SKIP() << "no SoundFont (timgm6mb-soundfont)";
    const std::span<const ExportFormat> audio = AudioExports();
    window->frmFolgenNoten->rbtExplizit->click();
    window->frmFolgenNoten->frmExplizit1->mmoExplizit->setPlainText("1, 2");
    const struct {
        std::function<void()> click;
        std::function<AudioChoice()>* choose;
        AudioChoice choice;
        Args cli;
    } cases[] = {
        {[&] { window->miAudioDatei->trigger(); },
         &window->ChooseAudioFilePath,
         {QString::fromStdString(path + ".mp3"), &audio[2], Mp3Quality(64)},
         {"melody", "--list", "1, 2", "--quality", "0,12"}},
        {[&] { window->frmStimmen->btnAudioDatei->click(); },
         nullptr,
         {QString::fromStdString(path + ".flac"), &audio[0], kDefaultAudioQuality},
         {"melody", "--setup", SONAVIX_EXAMPLE_CANON}},
    };
    for (const auto& c : cases) {
        const std::string file = c.choice.Path.toStdString(),
                          cliFile = file + ".cli" + std::string(c.choice.Format->Endings[0]);
        if (!c.choose) {
            window->Files->Open(SONAVIX_EXAMPLE_CANON);
            ASSERT_NE(window->frmStimmen, nullptr);
        }
        *(c.choose ? c.choose : &window->frmStimmen->ChooseAudioPath) = [&] { return c.choice; };
        c.click();
        ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
        Args cli = c.cli;
        cli.insert(cli.end(), {"--out", cliFile});
        const ProgramResult r = RunProgram(SONAVIX_CLI, cli);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string fromWindow = ReadWholeFile(file), fromCli = ReadWholeFile(cliFile);
        std::filesystem::remove(file);
        std::filesystem::remove(cliFile);
        EXPECT_GT(fromWindow.size(), 10000u) << file;
        EXPECT_TRUE(fromWindow == fromCli)
            << file << ": " << fromWindow.size() << " vs " << fromCli.size();
    }
}

TEST_F(ScoreExport, TheMeterOfTaktartIsTheScoresOfBothWindowsAndTheSetupKeepsIt) {
    std::vector<std::string> offered;
    window->AskMeter = [&](const TimeSignature& now) -> std::optional<TimeSignature> {
        offered.push_back(TimeSignatureText(now));
        return TimeSignature{6, 8};
    };
    window->miTaktart->trigger();
    EXPECT_EQ(offered, std::vector<std::string>{"4/4"});
    EXPECT_EQ(window->CurrentSetup().Meter, (TimeSignature{6, 8}));
    window->ChooseLilyPondFilePath = [&] { return QString::fromStdString(path); };
    window->miLilyPondDatei->trigger();
    ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
    EXPECT_NE(ReadWholeFile(path).find("\\time 6/8"), std::string::npos);

    window->Files->Open(SONAVIX_EXAMPLE_CANON);  // a file of 4/4
    EXPECT_EQ(window->CurrentSetup().Meter, TimeSignature{});
    window->miTaktart->trigger();
    ASSERT_NE(window->frmStimmen, nullptr);
    window->frmStimmen->ChooseMusicXmlPath = [&] { return QString::fromStdString(path); };
    window->frmStimmen->btnMusicXmlDatei->click();
    ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(path.c_str()));
    EXPECT_STREQ(doc.select_node("//part[@id='P1']//time/beats").node().child_value(), "6");
}
