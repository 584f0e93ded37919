#pragma once
// The platform's MIDI output service, in the shape of the classic multimedia
// API: numbered devices, a capabilities record, handles, packed short
// messages and numeric result codes with texts. Back ends: the built-in
// synthesizer (synth.h), RtMidi ports (rtmidi_service.h) and a recording fake
// (recording_service.h).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

using MidiResult = uint32_t;
using MidiOutHandle = uintptr_t;

// Result codes; 0 is success. The values follow the classic API so that the
// "Unknown MIDI-Out error No. %d" texts stay comparable.
inline constexpr MidiResult kMidiNoError = 0;
inline constexpr MidiResult kMidiErrGeneral = 1;
inline constexpr MidiResult kMidiErrBadDeviceId = 2;
inline constexpr MidiResult kMidiErrAllocated = 4;
inline constexpr MidiResult kMidiErrInvalidHandle = 5;
inline constexpr MidiResult kMidiErrNoDriver = 6;
inline constexpr MidiResult kMidiErrBadErrorNumber = 9;
inline constexpr MidiResult kMidiErrInvalidParam = 11;
inline constexpr MidiResult kMidiErrNoDevice = 68;

// Device identifier of the mapper, the system's default output.
inline constexpr uint32_t kMidiMapper = 0xFFFFFFFFu;

// The output-capabilities record; the product name is NUL-terminated within
// its 32 characters.
#pragma pack(push, 1)
struct MIDIOUTCAPSA {
    uint16_t wMid;
    uint16_t wPid;
    uint32_t vDriverVersion;
    char szPname[32];
    uint16_t wTechnology;
    uint16_t wVoices;
    uint16_t wNotes;
    uint16_t wChannelMask;
    uint32_t dwSupport;
};
#pragma pack(pop)
static_assert(sizeof(MIDIOUTCAPSA) == 52);

class IMidiOutService {
public:
    virtual ~IMidiOutService() = default;
    virtual uint32_t GetNumDevs() = 0;
    // Fills at most `size` bytes of caps.
    virtual MidiResult GetDevCaps(uint32_t deviceId, MIDIOUTCAPSA& caps, uint32_t size) = 0;
    virtual MidiResult Open(MidiOutHandle& handle, uint32_t deviceId) = 0;
    virtual MidiResult GetID(MidiOutHandle handle, uint32_t& deviceId) = 0;
    // Byte 0 in bits 0-7, byte 1 in bits 8-15, byte 2 in bits 16-23; sent at once.
    virtual MidiResult ShortMsg(MidiOutHandle handle, uint32_t message) = 0;
    // A complete system-exclusive message; returns when the platform is done with it.
    virtual MidiResult LongMsg(MidiOutHandle handle, const uint8_t* bytes, size_t count) = 0;
    virtual MidiResult Close(MidiOutHandle handle) = 0;
    // Writes the code's text, NUL-terminated, into text[0..size-1].
    virtual MidiResult GetErrorText(MidiResult code, char* text, uint32_t size) = 0;
    // Why the service lists no device although it was set up for one, in
    // German for a notice; "" when there is nothing to tell.
    virtual std::string UnlistedReason() { return ""; }

    // A back end that is still setting up (the synthesizer waiting for an
    // audio system) makes a listing wait for it, bounded. DevicesDecided says
    // without waiting whether that is over; AwaitDevices waits for it and may
    // run on another thread beside the other calls; StopAwaiting, from any
    // thread, ends that wait and every later one: what is still undecided is
    // not listed.
    virtual bool DevicesDecided() { return true; }
    virtual void AwaitDevices() {}
    virtual void StopAwaiting() {}
};

// The start of the text of a failure that means the sound is gone for good
// (a sound server that died): the run ends, and the output with it.
inline constexpr const char* kOutputLostText = "Die Klangausgabe ist verloren gegangen: ";

// The size of the buffer an error text is copied into.
inline constexpr uint32_t MAXERRORLENGTH = 128;

// What every back end's GetErrorText does with its message: copies it into
// text[0..size-1], cut to fit and NUL-terminated.
inline MidiResult CopyErrorText(const std::string& message, char* text, uint32_t size) {
    if (size == 0) return kMidiErrInvalidParam;
    size_t length = std::min<size_t>(message.size(), size - 1);
    // Never inside a character: a cut UTF-8 sequence would show as garbage.
    if (length < message.size())
        while (length > 0 && (static_cast<unsigned char>(message[length]) & 0xC0) == 0x80) --length;
    std::memcpy(text, message.data(), length);
    text[length] = '\0';
    return kMidiNoError;
}

// How many bytes of a packed short message the status byte uses; 0 when the
// status cannot start a short message (a data byte, or system exclusive).
inline int ShortMessageLength(uint8_t status) {
    if (status < 0x80) return 0;
    if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 2 : 3;  // 0xC0, 0xD0: one data byte
    switch (status) {
        case 0xF1:
        case 0xF3:
            return 2;
        case 0xF2:
            return 3;
        case 0xF0:
        case 0xF7:
            return 0;
        default:
            return 1;
    }
}

// The service the program uses (port_list.h): the built-in synthesizer, then
// RtMidi output ports, ALSA sequencer first, then JACK; SONAVIX_MIDI_OUT
// (case-insensitive substring of a port name) picks the port that becomes device 0.
std::shared_ptr<IMidiOutService> CreateDefaultMidiOutService();
