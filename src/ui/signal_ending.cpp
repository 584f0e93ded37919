#include "ui/signal_ending.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

#include "midi/midi.h"

namespace {
[[noreturn]] void SilenceAndExit(int signal) {
    ReleaseMidiOut();
    ExitAfterSignal(signal);
}
}  // namespace

SignalEnding::SignalEnding() : tidying_(std::make_unique<TidyingScope>()) {
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
    for (int fd : pipe_)
        if (fd >= 0) close(fd);
}
