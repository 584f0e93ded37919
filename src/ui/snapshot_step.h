#pragma once
// One step of a window's history: what the window held before and after an
// edit. Steps typed into one field merge until the focus moves (the window
// counts focus changes as epochs); every other step stands alone.
#include <QObject>
#include <QUndoCommand>
#include <functional>
#include <utility>

template <class State>
class SnapshotStep : public QUndoCommand {
public:
    // Shows one side of the step; from is the side the window leaves.
    using Show = std::function<void(const State& shown, const State& from)>;

    SnapshotStep(Show show, State before, State after, const QString& caption, const QObject* field,
                 int focusEpoch, bool typed)
        : QUndoCommand(caption),
          show_(std::move(show)),
          before_(std::move(before)),
          after_(std::move(after)),
          field_(field),
          focusEpoch_(focusEpoch),
          typed_(typed) {}
    int id() const override { return typed_ ? 1 : -1; }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* next = static_cast<const SnapshotStep*>(other);
        if (next->field_ != field_ || next->focusEpoch_ != focusEpoch_) return false;
        after_ = next->after_;
        return true;
    }
    // The first redo comes with the push: the window already holds what it made.
    void redo() override {
        if (pushed_) show_(after_, before_);
        pushed_ = true;
    }
    void undo() override { show_(before_, after_); }

private:
    Show show_;
    State before_, after_;
    const QObject* field_;
    int focusEpoch_;
    bool typed_;
    bool pushed_ = false;
};
