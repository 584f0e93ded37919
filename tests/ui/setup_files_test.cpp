#include "ui/setup_files.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "setup/setup_file.h"
#include "support/program.h"
#include "support/window_fixture.h"
#include "ui/file_dialogs.h"
#include "ui/voices_window.h"

namespace {
namespace fs = std::filesystem;

class SetupFileWindow : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        dir = fs::temp_directory_path() / ("sonavix-ui-setup-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
        WindowTest::TearDown();
    }
    std::string File(const std::string& name) const { return (dir / name).string(); }
    SetupFiles& Files() { return *window->Files; }
    // Opens path through the menu item, as the user would.
    void OpenThroughMenu(TfrmMain& w, const std::string& path) {
        w.Files->ChooseOpenPath = [path] { return QString::fromStdString(path); };
        w.Files->miOeffnen->trigger();
    }
    std::vector<uint8_t> ExportMidi(TfrmMain& w, const std::string& path) {
        w.ChooseMidiFilePath = [path] { return QString::fromStdString(path); };
        w.miMidiDatei->trigger();
        const std::string text = ReadWholeFile(path);
        return {text.begin(), text.end()};
    }
    // A setup unlike the start-up one in its sources, maps, boxes and slider.
    void EditEverything(TfrmMain& w) {
        TfrmFormel* formel = w.frmFolgenNoten->frmFormel1;
        formel->edtFormel->setText("x_1+x_2");
        w.frmFormel1edtFormelExit(formel->edtFormel);
        formel->VarValues.SetValue(0, "1");
        formel->edtLaenge->setText("12");
        w.cbxTonart->setCurrentIndex(2);
        w.cbxNotenVorgabeChange(w.cbxTonart);
        w.NoteMap.SetValue(3, "0");
        w.OwnScaleSteps = {2, 1, 4};
        w.cbxTempoFolge->click();
        w.frmFolgenTempo->rbtExplizit->click();
        w.frmFolgenTempo->frmExplizit1->mmoExplizit->setPlainText("0, 1, 2");
        w.TempoMap.Assign({"2", "3", "1"});
        w.cbxInstrument->setCurrentIndex(73);
        w.tbTempo->setValue(150);
        w.miOeisAlle->setChecked(true);
    }
    fs::path dir;
};

TEST_F(SetupFileWindow, SavedSetupPlaysTheSameMidiFileInANewWindowAndANewProcess) {
    EditEverything(*window);
    const std::string setup = File("melodie.sonavix");
    Files().ChooseSavePath = [&] { return QString::fromStdString(File("melodie")); };
    Files().miSpeichernUnter->trigger();
    ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
    const std::vector<uint8_t> before = ExportMidi(*window, File("vorher.mid"));
    ASSERT_FALSE(before.empty());

    TfrmMain reopened(midi);
    OpenThroughMenu(reopened, setup);
    ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
    EXPECT_EQ(ExportMidi(reopened, File("fenster.mid")), before);

    const ProgramResult cli =
        RunProgram(SONAVIX_CLI, {"melody", "--setup", setup, "--out", File("cli.mid")});
    ASSERT_EQ(cli.status, 0) << cli.err;
    const std::string bytes = ReadWholeFile(File("cli.mid"));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), before);
}

TEST_F(SetupFileWindow, BrokenFilesLeaveTheWindowAsItWas) {
    EditEverything(*window);
    const MelodySetup before = Files().Capture();
    const QString title = window->windowTitle();
    const std::string valid = SetupToJson(MelodySetup{});
    std::string twoVoices = valid;
    twoVoices.replace(twoVoices.find("\"voices\": ["), 11, "\"voices\": [{},");
    const struct {
        const char* name;
        std::string text;  // nothing: the file is not there
        const char* message;
    } cases[] = {
        {"fehlt.sonavix", "", "lässt sich nicht öffnen: die Datei existiert nicht."},
        {"leer.sonavix", " ", "ist leer."},
        {"abgeschnitten.sonavix", valid.substr(0, valid.size() / 2),
         "endet mitten im JSON-Text (unvollständig gespeichert?)"},
        {"fremd.sonavix", R"({"format": "anders"})", "ist keine Sonavix-Datei."},
        {"neu.sonavix", R"({"format": "sonavix-setup", "formatVersion": 7})",
         "stammt aus einer neueren Sonavix-Version (Format 7); dieses Programm liest Format 1."},
        {"tempo.sonavix",
         R"({"format": "sonavix-setup", "formatVersion": 1, "voices": [{"noteMap": {"values": ["1", {}]}}]})",
         "ist fehlerhaft: voices[0].noteMap.values[1] muss ein Text oder eine ganze Zahl sein, "
         "nicht ein Objekt."},
    };
    for (const auto& c : cases) {
        const std::string path = File(c.name);
        if (!c.text.empty()) std::ofstream(path, std::ios::binary) << c.text;
        errors.clear();
        OpenThroughMenu(*window, path);
        ASSERT_EQ(errors.size(), 1u) << c.name;
        EXPECT_EQ(errors[0].toStdString(), "Die Datei \"" + path + "\" " + c.message) << c.name;
        EXPECT_EQ(Files().Capture(), before) << c.name;
        EXPECT_EQ(window->windowTitle(), title) << c.name;
    }
    std::ofstream(File("zwei.sonavix"), std::ios::binary) << twoVoices;
    errors.clear();
    OpenThroughMenu(*window, File("zwei.sonavix"));
    // Several voices open in the voices window; the main window stays as it was.
    EXPECT_TRUE(errors.empty());
    ASSERT_NE(window->frmStimmen, nullptr);
    EXPECT_EQ(window->frmStimmen->VoiceCount(), 2);
    EXPECT_EQ(Files().Capture(), before);
}

TEST_F(SetupFileWindow, TitleMarksChangesAndClosingAsksBeforeDroppingThem) {
    const std::string path = File("lied.sonavix");
    SaveSetupFile(path, MelodySetup{});
    OpenThroughMenu(*window, path);
    EXPECT_EQ(window->windowTitle(), "lied.sonavix – Sonavix");
    EXPECT_EQ(Files().RecentFiles().front().toStdString(), path);
    // A value set back to the file's, or written again unchanged, is no change.
    const int saved = window->tbTempo->value();
    window->tbTempo->setValue(100);
    EXPECT_EQ(window->windowTitle(), "lied.sonavix* – Sonavix");
    window->tbTempo->setValue(saved);
    EXPECT_EQ(window->windowTitle(), "lied.sonavix – Sonavix");
    window->TempoMap.Assign(VoiceSetup::ValuesOf(window->TempoMap));
    EXPECT_EQ(window->windowTitle(), "lied.sonavix – Sonavix");
    window->tbTempo->setValue(100);
    EXPECT_EQ(window->windowTitle(), "lied.sonavix* – Sonavix");

    std::vector<QString> asked;
    QMessageBox::StandardButton answer = QMessageBox::Cancel;
    Files().AskSaveChanges = [&](const QString& name) {
        asked.push_back(name);
        return answer;
    };
    window->show();
    EXPECT_FALSE(window->close());  // Cancel keeps the window and its changes
    EXPECT_EQ(asked, std::vector<QString>{"lied.sonavix"});
    answer = QMessageBox::Yes;
    EXPECT_TRUE(window->close());
    EXPECT_EQ(ReadSetupFile(path).Tempo, 100);
    EXPECT_EQ(window->windowTitle(), "lied.sonavix – Sonavix");
    EXPECT_EQ(asked.size(), 2u);
}

TEST_F(SetupFileWindow, FileItemsAreOffDuringARunAndADroppedFileOpens) {
    QTimer::singleShot(0, window.get(), [this] {
        EXPECT_FALSE(Files().miOeffnen->isEnabled());
        EXPECT_FALSE(Files().miSpeichern->isEnabled());
        EXPECT_FALSE(Files().mnuZuletzt->isEnabled());
        window->btnPlay->click();
    });
    window->frmFolgenNoten->rbtExplizit->click();
    window->btnPlay->click();
    EXPECT_TRUE(Files().miOeffnen->isEnabled());

    MelodySetup setup;
    setup.Tempo = 33;
    const std::string path = File("gezogen.sonavix");
    SaveSetupFile(path, setup);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    // Dropped onto the number list, the file opens instead of landing there as its address.
    QWidget* list = window->frmFolgenNoten->frmExplizit1->mmoExplizit->viewport();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list, &drop);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->tbTempo->value(), 33);
    EXPECT_EQ(window->frmFolgenNoten->frmExplizit1->mmoExplizit->toPlainText().toStdString(),
              setup.Voices.front().Notes.ExplicitList);
    EXPECT_EQ(window->windowTitle(), "gezogen.sonavix – Sonavix");
}

}  // namespace

TEST(SaveDialogStart, OpensInTheLastFolderElseAtHome) {
    QSettings settings("Sonavix", "Sonavix");
    const QVariant kept = settings.value("Letzter Ordner");
    const struct {
        QString folder, start;
    } cases[] = {
        {"", QDir::homePath() + "/melodie.mid"},
        {QDir::tempPath(), QDir::tempPath() + "/melodie.mid"},
        {QDir::tempPath() + "/sonavix-kein-ordner", QDir::homePath() + "/melodie.mid"},
    };
    for (const auto& c : cases) {
        settings.setValue("Letzter Ordner", c.folder);
        settings.sync();
        EXPECT_EQ(SaveDialogStart("melodie.mid"), c.start) << c.folder.toStdString();
    }
    settings.setValue("Letzter Ordner", kept);
}
