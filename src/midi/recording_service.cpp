#include "midi/recording_service.h"

#include <algorithm>
#include <cstring>

#include "midi/clock.h"
#include "midi/midi.h"

RecordingMidiService::RecordingMidiService(std::vector<std::string> deviceNames, IClock* clock)
    : names_(std::move(deviceNames)), clock_(clock) {
    errorTexts_ = {
        {kMidiErrGeneral, "General error"},
        {kMidiErrBadDeviceId, "The device identifier is out of range"},
        {kMidiErrAllocated, "The device is already in use"},
        {kMidiErrInvalidHandle, "Invalid device handle"},
        {kMidiErrInvalidParam, "Invalid parameter"},
        {kMidiErrNoDevice, "The port is gone"},
    };
}

int64_t RecordingMidiService::Now() const { return (clock_ ? *clock_ : SystemClock()).NowUs(); }

void RecordingMidiService::SetErrorText(MidiResult code, std::string text) {
    if (text.empty())
        errorTexts_.erase(code);
    else
        errorTexts_[code] = std::move(text);
}

uint32_t RecordingMidiService::GetNumDevs() { return static_cast<uint32_t>(names_.size()); }

MidiResult RecordingMidiService::GetDevCaps(uint32_t deviceId, MIDIOUTCAPSA& caps, uint32_t size) {
    if (deviceId == kMidiMapper && !names_.empty()) deviceId = 0;
    if (deviceId >= names_.size()) return kMidiErrBadDeviceId;
    auto failure = devCapsFailures_.find(deviceId);
    if (failure != devCapsFailures_.end() && failure->second != kMidiNoError)
        return failure->second;
    MIDIOUTCAPSA filled{};
    filled.wTechnology = 1;
    filled.wChannelMask = 0xFFFF;
    // The name field keeps room for its terminator, as the platform's does.
    std::strncpy(filled.szPname, names_[deviceId].c_str(), sizeof filled.szPname - 1);
    std::memcpy(&caps, &filled, std::min<size_t>(size, sizeof caps));
    return kMidiNoError;
}

MidiResult RecordingMidiService::Open(MidiOutHandle& handle, uint32_t deviceId) {
    if (openFailure_ != kMidiNoError) return openFailure_;
    if (deviceId == kMidiMapper && !names_.empty()) deviceId = 0;
    if (deviceId >= names_.size()) return kMidiErrBadDeviceId;
    // Like a hardware port, a device cannot be opened twice; sharing faults show up.
    for (const auto& [h, device] : openHandles_)
        if (device == deviceId) return kMidiErrAllocated;
    handle = nextHandle_++;
    openHandles_[handle] = deviceId;
    ++openCount_;
    return kMidiNoError;
}

MidiResult RecordingMidiService::GetID(MidiOutHandle handle, uint32_t& deviceId) {
    if (getIdFailure_ != kMidiNoError) return getIdFailure_;
    auto it = openHandles_.find(handle);
    if (it == openHandles_.end()) return kMidiErrInvalidHandle;
    deviceId = it->second;
    return kMidiNoError;
}

void RecordingMidiService::Record(MidiOutHandle handle, std::vector<uint8_t> bytes,
                                  uint32_t packed) {
    messages_.push_back({Now(), std::move(bytes), openHandles_.at(handle), packed});
}

MidiResult RecordingMidiService::ShortMsg(MidiOutHandle handle, uint32_t message) {
    if (shortMsgFailure_ != kMidiNoError) return shortMsgFailure_;
    if (!openHandles_.count(handle)) return kMidiErrInvalidHandle;
    const int length = ShortMessageLength(static_cast<uint8_t>(message & 0xFF));
    if (length == 0) return kMidiErrInvalidParam;
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(message >> (8 * i));
    Record(handle, std::move(bytes), message);
    return kMidiNoError;
}

MidiResult RecordingMidiService::LongMsg(MidiOutHandle handle, const uint8_t* bytes, size_t count) {
    if (!openHandles_.count(handle)) return kMidiErrInvalidHandle;
    Record(handle, std::vector<uint8_t>(bytes, bytes + count), 0);
    return kMidiNoError;
}

MidiResult RecordingMidiService::Close(MidiOutHandle handle) {
    if (!openHandles_.erase(handle)) return kMidiErrInvalidHandle;
    ++closeCount_;
    return kMidiNoError;
}

MidiResult RecordingMidiService::GetErrorText(MidiResult code, char* text, uint32_t size) {
    auto it = errorTexts_.find(code);
    if (it == errorTexts_.end() || size == 0) return kMidiErrBadErrorNumber;
    return CopyErrorText(it->second, text, size);
}
