// SIGTERM and SIGHUP to the window while it plays: the sounding note is
// silenced and the output closed before the program ends with 128 + signal.
#include "ui/signal_ending.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <memory>

#include "midi/midi.h"
#include "midi/recording_service.h"
#include "ui/main_window.h"
#include "ui/setup_files.h"
#include "ui/voices_window.h"

namespace {

// Says on stderr what reaches the device; the first note brings the signal.
class SignallingDevice : public RecordingMidiService {
public:
    explicit SignallingDevice(int signal) : RecordingMidiService({"Gerät"}), signal_(signal) {}
    MidiResult ShortMsg(MidiOutHandle handle, uint32_t message) override {
        const unsigned status = message & 0xF0, note = (message >> 8) & 0x7F;
        const bool on = status == 0x90 && ((message >> 16) & 0x7F) > 0;
        if (on || status == 0x80 || status == 0x90)
            std::fprintf(stderr, "Note %s %u\n", on ? "an" : "aus", note);
        if (on) std::raise(signal_);
        return RecordingMidiService::ShortMsg(handle, message);
    }
    MidiResult Close(MidiOutHandle handle) override {
        std::fprintf(stderr, "geschlossen\n");
        return RecordingMidiService::Close(handle);
    }

private:
    int signal_;
};

void PlayUntilSignalled(int signal) {
    MidiUnit midi(std::make_shared<SignallingDevice>(signal));
    SignalEnding ending(midi);
    TfrmMain window(midi);
    window.btnPlay->click();
}

void PlayVoicesUntilSignalled(int signal) {
    MidiUnit midi(std::make_shared<SignallingDevice>(signal));
    SignalEnding ending(midi);
    TfrmMain window(midi);
    window.Files->Open(SONAVIX_EXAMPLE_CANON);
    window.frmStimmen->AbspielenClick();
}

TEST(SignalEnding, TermAndHupSilenceTheNoteCloseTheOutputAndExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // 48: the first note of the start-up melody.
    for (const int signal : {SIGTERM, SIGHUP})
        EXPECT_EXIT(PlayUntilSignalled(signal), ::testing::ExitedWithCode(128 + signal),
                    "Note an 48\nNote aus 48\ngeschlossen\n");
    // The voices window's notes too, though it holds the output itself.
    EXPECT_EXIT(PlayVoicesUntilSignalled(SIGINT), ::testing::ExitedWithCode(128 + SIGINT),
                "Note an 49\nNote aus 49\n");
}

}  // namespace
