#pragma once
// A main window over the recording MIDI device, with error boxes collected
// instead of shown.
#include <QString>
#include <memory>
#include <vector>

#include "support/midi_fixture.h"
#include "ui/error_box.h"
#include "ui/main_window.h"

class WindowTest : public RecordedMidi {
protected:
    void SetUp() override {
        RecordedMidi::SetUp();
        SetErrorBoxSink([this](const QString& text) { errors.push_back(text); });
        window = std::make_unique<TfrmMain>(midi);
    }
    void TearDown() override {
        window.reset();
        SetErrorBoxSink(nullptr);
        RecordedMidi::TearDown();
    }

    std::vector<QString> errors;
    std::unique_ptr<TfrmMain> window;
};
