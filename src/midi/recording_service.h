#pragma once
// A MIDI output service without sound: a few named fake devices that record
// every message with its time, for tests and the timing benchmark. Failures
// can be injected per operation.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "midi/platform.h"

class IClock;

struct RecordedMidiMessage {
    int64_t timeUs;              // the clock's time when the message was sent
    std::vector<uint8_t> bytes;  // as the device uses them (a program change has two)
    uint32_t device;
    uint32_t packed;  // the short message as handed over; 0 for long messages
};

class RecordingMidiService : public IMidiOutService {
public:
    // clock nullptr: the system clock at the time of each message.
    explicit RecordingMidiService(std::vector<std::string> deviceNames, IClock* clock = nullptr);

    uint32_t GetNumDevs() override;
    MidiResult GetDevCaps(uint32_t deviceId, MIDIOUTCAPSA& caps, uint32_t size) override;
    MidiResult Open(MidiOutHandle& handle, uint32_t deviceId) override;
    MidiResult GetID(MidiOutHandle handle, uint32_t& deviceId) override;
    MidiResult ShortMsg(MidiOutHandle handle, uint32_t message) override;
    MidiResult LongMsg(MidiOutHandle handle, const uint8_t* bytes, size_t count) override;
    MidiResult Close(MidiOutHandle handle) override;
    MidiResult GetErrorText(MidiResult code, char* text, uint32_t size) override;

    // Injected failures: the operation returns the code (0 again clears it)
    // and has no effect.
    void FailDevCaps(uint32_t deviceId, MidiResult code) { devCapsFailures_[deviceId] = code; }
    void FailOpen(MidiResult code) { openFailure_ = code; }
    void FailGetID(MidiResult code) { getIdFailure_ = code; }
    void FailShortMsg(MidiResult code) { shortMsgFailure_ = code; }
    // The text GetErrorText gives for the code; an empty text removes it.
    void SetErrorText(MidiResult code, std::string text);

    const std::vector<RecordedMidiMessage>& Messages() const { return messages_; }
    void ClearMessages() { messages_.clear(); }
    void ReserveMessages(size_t count) { messages_.reserve(count); }
    int OpenCount() const { return openCount_; }    // successful opens
    int CloseCount() const { return closeCount_; }  // closes of open handles
    int OpenHandleCount() const { return static_cast<int>(openHandles_.size()); }

private:
    int64_t Now() const;
    void Record(MidiOutHandle handle, std::vector<uint8_t> bytes, uint32_t packed);

    std::vector<std::string> names_;
    IClock* clock_;
    std::map<uint32_t, MidiResult> devCapsFailures_;
    MidiResult openFailure_ = kMidiNoError;
    MidiResult getIdFailure_ = kMidiNoError;
    MidiResult shortMsgFailure_ = kMidiNoError;
    std::map<MidiResult, std::string> errorTexts_;
    std::map<MidiOutHandle, uint32_t> openHandles_;  // handle -> device
    MidiOutHandle nextHandle_ = 1;
    std::vector<RecordedMidiMessage> messages_;
    int openCount_ = 0;
    int closeCount_ = 0;
};
