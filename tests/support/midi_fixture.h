#pragma once
// A MIDI unit of the test's own on recording devices and a virtual clock; by
// default one device, opened as the unit's output.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "midi/clock.h"
#include "midi/midi.h"
#include "midi/recording_service.h"

using Bytes = std::vector<uint8_t>;

struct SoundedNote {
    int note;
    int64_t onUs;
    int64_t offUs;
    bool operator==(const SoundedNote&) const = default;
};

class RecordedMidi : public ::testing::Test {
protected:
    void SetUp() override {
        Install({"Testgerät"});
        midi.InitMidiOut();
    }
    void TearDown() override {
        midi.EndRhythm();
        midi.ReleaseMidiOut();
    }
    // Replaces the service by one with these devices, none of them open.
    void Install(std::vector<std::string> names) {
        service = std::make_shared<RecordingMidiService>(std::move(names), &clock);
        midi.SetService(service);
        midi.SetClock(&clock);
    }
    std::vector<Bytes> Sent() const {
        std::vector<Bytes> result;
        for (const auto& message : service->Messages()) result.push_back(message.bytes);
        return result;
    }
    std::vector<int64_t> SentAtMs() const {
        std::vector<int64_t> result;
        for (const auto& message : service->Messages()) result.push_back(message.timeUs / 1000);
        return result;
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
    std::shared_ptr<RecordingMidiService> service;
    MidiUnit midi;  // last: it plays on the two above
};

// Two devices, none open: for the tests of opening and sharing them.
class IdleMidiDevices : public RecordedMidi {
protected:
    void SetUp() override { Install({"Fake Synth", "Second Port"}); }
};
