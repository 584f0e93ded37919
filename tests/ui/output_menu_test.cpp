// The window's choice of the MIDI output and its WAV export.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>

#include "midi/clock.h"
#include "midi/midi.h"
#include "midi/port_list.h"
#include "midi/recording_service.h"
#include "ui/error_box.h"
#include "ui/main_window.h"

namespace {
namespace fs = std::filesystem;

// A back end whose devices are decided only when the test says so, or when
// the waiting is stopped: a sound system that does not answer.
class HangingDecision : public RecordingMidiService {
public:
    HangingDecision() : RecordingMidiService({}) {}
    // A listing waits for the decision, as the synthesizer's does.
    uint32_t GetNumDevs() override {
        AwaitDevices();
        return RecordingMidiService::GetNumDevs();
    }
    bool DevicesDecided() override {
        std::lock_guard lock(mutex_);
        return decided_ || stopped_;
    }
    void AwaitDevices() override {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return decided_ || stopped_; });
    }
    void StopAwaiting() override {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }
    void Decide() {
        std::lock_guard lock(mutex_);
        decided_ = true;
        changed_.notify_all();
    }
    bool Stopped() {
        std::lock_guard lock(mutex_);
        return stopped_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool decided_ = false, stopped_ = false;
};

class OutputMenu : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings("Sonavix", "Sonavix").clear();
        SetErrorBoxSink([this](const QString& text) { errors.push_back(text.toStdString()); });
    }
    void TearDown() override {
        window.reset();
        midi.reset();
        SetErrorBoxSink(nullptr);
        QSettings("Sonavix", "Sonavix").clear();
    }
    // A new start of the window over the given ports.
    void Start(std::vector<std::string> names, std::string requested = "",
               std::shared_ptr<IMidiOutService> before = nullptr) {
        window.reset();
        midi.reset();
        backend = std::make_shared<RecordingMidiService>(std::move(names), &clock);
        std::vector<std::shared_ptr<IMidiOutService>> backends{backend};
        if (before) backends.insert(backends.begin(), before);
        midi = std::make_unique<MidiUnit>(
            std::make_shared<MidiOutPorts>(std::move(backends), requested), &clock);
        window = std::make_unique<TfrmMain>(*midi);
    }
    // The menu's items as "name" or "[name]" when checked, "(name)" when disabled.
    std::vector<std::string> Items() {
        window->mnuMidiAusgang->aboutToShow();
        std::vector<std::string> items;
        for (QAction* a : window->mnuMidiAusgang->actions()) {
            const std::string text = a->text().toStdString();
            items.push_back(!a->isEnabled()  ? "(" + text + ")"
                            : a->isChecked() ? "[" + text + "]"
                                             : text);
        }
        return items;
    }
    void Choose(const std::string& name) {
        window->mnuMidiAusgang->aboutToShow();
        for (QAction* a : window->mnuMidiAusgang->actions())
            if (a->text().toStdString() == name) a->trigger();
    }

    VirtualClock clock;
    std::shared_ptr<RecordingMidiService> backend;
    std::unique_ptr<MidiUnit> midi;  // as main() does: created before the window, gone after it
    std::unique_ptr<TfrmMain> window;
    std::vector<std::string> errors;  // as the boxes show them
};

TEST_F(OutputMenu, AChoiceThatCannotBeSavedIsToldOnce) {
    const QString file = QSettings("Sonavix", "Sonavix").fileName();
    fs::remove(file.toStdString());
    fs::create_directories(file.toStdString());  // a folder where the file should be
    Start({"Port A", "Port B"});
    Choose("Port B");
    Choose("Port A");
    fs::remove_all(file.toStdString());
    EXPECT_EQ(Items(), (std::vector<std::string>{"[Port A]", "Port B"}));  // still chosen
    EXPECT_EQ(
        errors,
        (std::vector<std::string>{"Die Wahl des MIDI-Ausgangs gilt nur bis zum Programmende: die "
                                  "Einstellungsdatei \"" +
                                  file.toStdString() + "\" lässt sich nicht schreiben."}));
}

TEST_F(OutputMenu, TheChosenPortPlaysAndIsRememberedForTheNextStart) {
    Start({"Port A", "Port B"});
    EXPECT_EQ(Items(), (std::vector<std::string>{"[Port A]", "Port B"}));
    Choose("Port B");
    EXPECT_EQ(Items(), (std::vector<std::string>{"[Port B]", "Port A"}));
    // The instrument follows the output to its new device (device 1 of the back end).
    ASSERT_FALSE(backend->Messages().empty());
    EXPECT_EQ(backend->Messages().back().bytes, (std::vector<uint8_t>{0xC0, 0}));
    EXPECT_EQ(backend->Messages().back().device, 1u);

    Start({"Port A", "Port B"});
    EXPECT_EQ(Items(), (std::vector<std::string>{"[Port B]", "Port A"}));
    // A remembered port that is gone falls back without a word; the environment outweighs it.
    Start({"Port A", "Port C"});
    EXPECT_EQ(Items(), (std::vector<std::string>{"[Port A]", "Port C"}));
    Start({"Port A", "Port B", "Port C"}, "port c");
    EXPECT_EQ(Items(), (std::vector<std::string>{"[Port C]", "Port A", "Port B"}));
    EXPECT_TRUE(errors.empty());
}

TEST_F(OutputMenu, WithoutADeviceTheMenuSaysSoAndAnUnmatchedRequestIsReportedOnce) {
    Start({}, "Nirgends");
    EXPECT_EQ(Items(), (std::vector<std::string>{"(Kein MIDI-Ausgang vorhanden)"}));
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "SONAVIX_MIDI_OUT=\"Nirgends\" passt zu keinem MIDI-Ausgang; es gibt "
                          "keinen MIDI-Ausgang.",
                          "Listenindex überschreitet das Maximum (0)"}));
    errors.clear();
    Start({"Port A"}, "Nirgends");
    EXPECT_EQ(errors, (std::vector<std::string>{"SONAVIX_MIDI_OUT=\"Nirgends\" passt zu keinem "
                                                "MIDI-Ausgang; es spielt \"Port A\""}));
    EXPECT_EQ(Items(), (std::vector<std::string>{"[Port A]"}));
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(OutputMenu, AnOutputLostInARunIsToldAndTheMenuThenOffersWhatIsLeft) {
    Start({"Synth", "Port B"});
    // The synthesizer's server dies: its messages fail, and a new listing passes it over.
    backend->SetErrorText(kMidiErrGeneral, "Die Klangausgabe ist verloren gegangen: Test");
    backend->FailShortMsg(kMidiErrGeneral);
    backend->FailDevCaps(0, kMidiErrGeneral);
    window->btnPlay->click();
    EXPECT_EQ(errors, (std::vector<std::string>{"Die Klangausgabe ist verloren gegangen: Test."}));
    EXPECT_EQ(window->btnPlay->text(), "Abspielen");
    EXPECT_EQ(Items(), (std::vector<std::string>{"Port B"}));
    backend->FailShortMsg(kMidiNoError);
    Choose("Port B");
    EXPECT_EQ(Items(), (std::vector<std::string>{"[Port B]"}));
}

TEST_F(OutputMenu, AnUndecidedDeviceListLeavesTheWindowAtOnceAndAPressWaitsForItBounded) {
    // The decision comes later: the window is there at once and opens the output then.
    auto hanging = std::make_shared<HangingDecision>();
    QElapsedTimer timer;
    timer.start();
    Start({"Port A"}, "", hanging);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(midi->HasMidiOut());
    hanging->Decide();
    while (!midi->HasMidiOut() && timer.elapsed() < 5000) QApplication::processEvents();
    EXPECT_TRUE(midi->HasMidiOut());

    // It never comes: a press waits a few seconds, then plays on what there is.
    hanging = std::make_shared<HangingDecision>();
    Start({"Port A"}, "", hanging);
    timer.restart();
    window->btnPlay->click();
    EXPECT_GE(timer.elapsed(), 2900);
    EXPECT_LT(timer.elapsed(), 4500);
    EXPECT_TRUE(hanging->Stopped());
    EXPECT_FALSE(backend->Messages().empty());
    EXPECT_TRUE(errors.empty());
}

TEST_F(OutputMenu, SavesAsWavAndALongRenderShowsItsProgressAndCanBeCancelled) {
    if (access("/usr/share/sounds/sf2/TimGM6mb.sf2", R_OK) != 0)
        GTEST_SKIP() << "no SoundFont (timgm6mb-soundfont)";
    Start({"Port A"});
    const fs::path path =
        fs::temp_directory_path() / ("sonavix-window-" + std::to_string(getpid()) + ".wav");
    window->ChooseWavFilePath = [&] { return QString::fromStdString(path.string()); };
    window->frmFolgenNoten->rbtExplizit->click();
    window->frmFolgenNoten->frmExplizit1->mmoExplizit->setPlainText("1, 2");
    window->miWavDatei->trigger();
    // Two notes of 667 ms and the 500 ms tail: 80879 frames of 4 bytes.
    EXPECT_EQ(fs::file_size(path), 44u + 4u * 80879u);
    fs::remove(path);

    std::string list;
    for (int i = 0; i < 2000; ++i) list += std::to_string(i) + ", ";
    window->frmFolgenNoten->frmExplizit1->mmoExplizit->setPlainText(QString::fromStdString(list));
    window->tbTempo->setValue(20);  // 3 s a note: hours of music
    QElapsedTimer clock;
    qint64 cancelledAfterMs = -1;
    // Looks for the dialog now and then, and cancels it once it shows.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QProgressDialog*>(w);
            if (dialog && dialog->isVisible() && cancelledAfterMs < 0) {
                cancelledAfterMs = clock.elapsed();
                dialog->cancel();
            }
        }
    });
    poll.start(50);
    clock.start();
    window->miWavDatei->trigger();
    // Shown as soon as the render is seen to take longer than half a second.
    EXPECT_GE(cancelledAfterMs, 0) << "no progress shown";
    EXPECT_LT(cancelledAfterMs, 1500);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(errors, std::vector<std::string>{});
}

}  // namespace

TEST_F(OutputMenu, TheInputMenuFollowsTheOutputMenuAndStartsWithNoneChecked) {
    // A remembered input that is not there at this start is passed over without a word.
    QSettings("Sonavix", "Sonavix").setValue("MIDI-Eingang", "Gibt es nicht:0");
    Start({"Port A"});
    const QList<QAction*> file = window->mnuDatei->actions();
    const auto output = file.indexOf(window->mnuMidiAusgang->menuAction());
    ASSERT_GE(output, 0);
    EXPECT_EQ(file.value(output + 1), window->mnuMidiEingang->menuAction());
    window->mnuMidiEingang->aboutToShow();
    const QList<QAction*> items = window->mnuMidiEingang->actions();
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items.front()->text(), "-keine-");
    EXPECT_TRUE(items.front()->isChecked());
    EXPECT_EQ(window->StepInput(), nullptr);
    EXPECT_TRUE(errors.empty());
}
