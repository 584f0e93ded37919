#pragma once
// The edit a window has not yet taken as an undo step. Edits that follow each
// other within one event become one step, taken once the event loop runs
// again; the step remembers the field the edit began in and the focus epoch
// then (each focus change starts a new one), so that typing merges until the
// focus moves.
#include <QApplication>
#include <QTimer>
#include <functional>
#include <utility>

class PendingEdit {
public:
    // take makes the step; it runs once the event that edited has been handled.
    explicit PendingEdit(std::function<void()> take) {
        timer_.setSingleShot(true);
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, std::move(take));
        // Through the timer: the connection goes with it.
        QObject::connect(qApp, &QApplication::focusChanged, &timer_, [this] { ++focusEpoch_; });
    }
    PendingEdit(const PendingEdit&) = delete;
    PendingEdit& operator=(const PendingEdit&) = delete;

    // An edit; true when it is the first since the last step.
    bool Edited() {
        timer_.start();
        if (pending_) return false;
        pending_ = true;
        field_ = QApplication::focusWidget();
        epoch_ = focusEpoch_;
        return true;
    }
    // Ends the pending edit for its step; false when there was none.
    bool Take() {
        timer_.stop();
        return std::exchange(pending_, false);
    }
    // The next edit does not merge with the last step, the focus stays or not.
    void NewEpoch() { ++focusEpoch_; }

    const QObject* Field() const { return field_; }
    int Epoch() const { return epoch_; }

private:
    QTimer timer_;
    bool pending_ = false;
    const QObject* field_ = nullptr;
    int epoch_ = 0, focusEpoch_ = 0;
};
