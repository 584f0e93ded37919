#pragma once
// A recording service with two fake devices on a virtual clock, installed as
// the program's MIDI service for the length of one test.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "midi/clock.h"
#include "midi/midi.h"
#include "midi/recording_service.h"

using Bytes = std::vector<uint8_t>;

class MidiFixture : public ::testing::Test {
protected:
    void SetUp() override { Install({"Fake Synth", "Second Port"}); }
    void TearDown() override {
        EndRhythm();
        SetMidiOutService(nullptr);
        SetMidiClock(nullptr);
    }
    void Install(std::vector<std::string> names) {
        service = std::make_shared<TRecordingMidiService>(std::move(names));
        SetMidiOutService(service);
        SetMidiClock(&clock);
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

    VirtualClock clock;
    std::shared_ptr<TRecordingMidiService> service;
};
