#pragma once
// The program's list of MIDI outputs: the devices of several back ends one
// after the other, with the port the user asked for moved to the front, so
// that it becomes device 0.
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/text.h"
#include "midi/platform.h"

// The first port whose name holds part in any case, as SONAVIX_MIDI_OUT picks
// a port; ports.end() when none does.
template <class Ports, class NameOf>
auto FindPortByNamePart(Ports& ports, std::string_view part, NameOf nameOf) {
    return std::find_if(ports.begin(), ports.end(),
                        [&](const auto& port) { return ContainsIgnoringCase(nameOf(port), part); });
}

class MidiOutPorts : public IMidiOutService {
public:
    // requested: SONAVIX_MIDI_OUT, a case-insensitive part of a port name.
    MidiOutPorts(std::vector<std::shared_ptr<IMidiOutService>> backends, std::string requested);

    // The port chosen in the window at an earlier start, by its full name; it
    // goes first unless the requested port matches. A port that is gone is
    // passed over without a word.
    void Remember(std::string name) { remembered_ = std::move(name); }
    // The port chosen in the window now: it goes first from the next listing on.
    void Choose(std::string name);
    // The request that matched no port at the last listing; "" when it matched
    // or there was none.
    std::string UnmatchedRequest() const { return requestMatched_ ? "" : requested_; }
    // What the back ends say about devices they could not offer.
    std::vector<std::string> UnlistedReasons();

    uint32_t GetNumDevs() override;
    MidiResult GetDevCaps(uint32_t deviceId, MIDIOUTCAPSA& caps, uint32_t size) override;
    MidiResult Open(MidiOutHandle& handle, uint32_t deviceId) override;
    MidiResult GetID(MidiOutHandle handle, uint32_t& deviceId) override;
    MidiResult ShortMsg(MidiOutHandle handle, uint32_t message) override;
    MidiResult LongMsg(MidiOutHandle handle, const uint8_t* bytes, size_t count) override;
    MidiResult Close(MidiOutHandle handle) override;
    MidiResult GetErrorText(MidiResult code, char* text, uint32_t size) override;
    bool DevicesDecided() override;
    void AwaitDevices() override;
    void StopAwaiting() override;

private:
    struct Device {
        size_t backend;
        uint32_t id;  // the back end's own identifier
        std::string name;
    };
    struct OpenDevice {
        size_t backend;
        MidiOutHandle handle;  // the back end's handle
        uint32_t deviceId;     // ours, at the time it opened
    };
    void List();
    const Device* Find(uint32_t deviceId);
    MidiResult Note(size_t backend, MidiResult result);

    std::vector<std::shared_ptr<IMidiOutService>> backends_;
    std::string requested_, remembered_;
    bool requestMatched_ = true;
    bool listed_ = false;
    std::vector<Device> devices_;
    std::map<MidiOutHandle, OpenDevice> open_;
    MidiOutHandle nextHandle_ = 1;
    size_t failedBackend_ = 0;  // whose error texts explain the last failure
};

// The program's outputs: the built-in synthesizer, then the RtMidi ports;
// SONAVIX_MIDI_OUT picks device 0. (Declared in platform.h as well.)
std::shared_ptr<IMidiOutService> CreateDefaultMidiOutService();

class MidiUnit;

// On the unit's service, when it is a MidiOutPorts (otherwise nothing):
// the port remembered from an earlier start.
void RememberMidiOutPort(MidiUnit& midi, const std::string& name);
// Makes the named port device 0 and opens it as the program's output, as
// InitMidiOut does (the previous output is released first). Throws what
// InitMidiOut throws.
void ChooseMidiOutPort(MidiUnit& midi, const std::string& name);
// When SONAVIX_MIDI_OUT matched no port, or a back end could not offer its
// device (a SoundFont that does not load): the German notice that says so and
// names the port that plays instead, a line each; "" otherwise. Builds the device list.
std::string MidiOutRequestNotice(MidiUnit& midi);
