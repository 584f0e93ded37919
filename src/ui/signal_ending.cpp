#include "ui/signal_ending.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

#include "midi/midi.h"
#include "midi/midi_out.h"

namespace {
// The ending is a plain function (the handler's side stores it atomically), so
// the unit it silences is kept here while a SignalEnding lives.
MidiUnit* silenced = nullptr;

[[noreturn]] void SilenceAndExit(int signal) {
    // The voices window holds the output too, so letting it go would not end
    // its notes: they are ended here, whoever sounds them.
    if (silenced) silenced->CloseAllMidiOuts();
    ExitAfterSignal(signal);
}
}  // namespace

SignalEnding::SignalEnding(MidiUnit& midi) : tidying_(std::make_unique<TidyingScope>()) {
    silenced = &midi;
    if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [] { EndIfTerminationPending(); });
    SetTerminationEnding(SilenceAndExit);
    SetTerminationWakeFd(pipe_[1]);
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) HandleTerminationSignal(signal);
}

SignalEnding::~SignalEnding() {
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) std::signal(signal, SIG_DFL);
    SetTerminationWakeFd(-1);
    // The window is gone; a signal recorded meanwhile ends the program now.
    tidying_.reset();
    silenced = nullptr;
    for (int fd : pipe_)
        if (fd >= 0) close(fd);
}
