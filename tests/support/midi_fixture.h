#pragma once
// A recording MIDI device on a virtual clock, opened as the program's output.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "midi/clock.h"
#include "midi/midi.h"
#include "midi/recording_service.h"

struct SoundedNote {
    int note;
    int64_t onUs;
    int64_t offUs;
    bool operator==(const SoundedNote&) const = default;
};

class RecordedMidi : public ::testing::Test {
protected:
    void SetUp() override {
        service =
            std::make_shared<TRecordingMidiService>(std::vector<std::string>{"Testgerät"}, &clock);
        SetMidiOutService(service);
        SetMidiClock(&clock);
        InitMidiOut();
    }
    void TearDown() override {
        ReleaseMidiOut();
        SetMidiOutService(nullptr);
        SetMidiClock(nullptr);
    }

    // Note On / Note Off pairs in the order they started.
    std::vector<SoundedNote> Notes() const {
        std::vector<SoundedNote> notes;
        for (const auto& m : service->Messages()) {
            if (m.bytes.size() == 3 && m.bytes[0] == 0x90) {
                EXPECT_EQ(m.bytes[2], 110);
                notes.push_back({m.bytes[1], m.timeUs, -1});
            } else if (m.bytes.size() == 3 && m.bytes[0] == 0x80) {
                for (auto& n : notes)
                    if (n.note == m.bytes[1] && n.offUs < 0) {
                        n.offUs = m.timeUs;
                        break;
                    }
            }
        }
        return notes;
    }

    VirtualClock clock;
    std::shared_ptr<TRecordingMidiService> service;
};
