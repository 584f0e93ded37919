#pragma once
// SIGTERM, SIGHUP and Ctrl+C end the window's program as closing it would
// end the sound: the handler only writes to a pipe; the event loop (which a
// long note's wait also runs) reads it, sends Note Off for what sounds,
// closes the output, removes unfinished files and exits with 128 + signal.
#include <QObject>
#include <memory>

#include "common/termination.h"

class MidiUnit;
class QSocketNotifier;

class SignalEnding : public QObject {
public:
    // midi: the unit the ending silences; it outlives this.
    explicit SignalEnding(MidiUnit& midi);
    ~SignalEnding() override;

private:
    int pipe_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    // The output is open the whole time the window lives.
    std::unique_ptr<TidyingScope> tidying_;
};
