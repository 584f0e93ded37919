#include "midi/port_list.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "common/quote.h"
#include "midi/midi.h"
#include "midi/midi_out.h"
#include "midi/rtmidi_service.h"
#include "midi/synth.h"

MidiOutPorts::MidiOutPorts(std::vector<std::shared_ptr<IMidiOutService>> backends,
                           std::string requested)
    : backends_(std::move(backends)), requested_(std::move(requested)) {}

void MidiOutPorts::Choose(std::string name) {
    // A choice made in the window outweighs the environment for this session.
    requested_.clear();
    requestMatched_ = true;
    remembered_ = std::move(name);
    listed_ = false;
}

void MidiOutPorts::List() {
    std::vector<Device> devices;
    for (size_t b = 0; b < backends_.size(); ++b) {
        const uint32_t count = backends_[b]->GetNumDevs();
        for (uint32_t id = 0; id < count; ++id) {
            MIDIOUTCAPSA caps{};
            if (backends_[b]->GetDevCaps(id, caps, sizeof caps) != kMidiNoError) continue;
            devices.push_back({b, id, std::string(caps.szPname, strnlen(caps.szPname, 32))});
        }
    }
    auto first = devices.end();
    if (!requested_.empty()) {
        first = FindPortByNamePart(devices, requested_,
                                   [](const Device& d) -> const std::string& { return d.name; });
        requestMatched_ = first != devices.end();
    }
    if (first == devices.end() && !remembered_.empty())
        first = std::find_if(devices.begin(), devices.end(),
                             [&](const Device& d) { return d.name == remembered_; });
    if (first != devices.end()) std::rotate(devices.begin(), first, first + 1);
    devices_ = std::move(devices);
    listed_ = true;
}

const MidiOutPorts::Device* MidiOutPorts::Find(uint32_t deviceId) {
    if (!listed_) List();
    if (deviceId == kMidiMapper) deviceId = 0;  // the mapper is the first device
    return deviceId < devices_.size() ? &devices_[deviceId] : nullptr;
}

MidiResult MidiOutPorts::Note(size_t backend, MidiResult result) {
    if (result != kMidiNoError) failedBackend_ = backend;
    return result;
}

uint32_t MidiOutPorts::GetNumDevs() {
    List();
    return static_cast<uint32_t>(devices_.size());
}

MidiResult MidiOutPorts::GetDevCaps(uint32_t deviceId, MIDIOUTCAPSA& caps, uint32_t size) {
    const Device* device = Find(deviceId);
    if (!device) return kMidiErrBadDeviceId;
    return Note(device->backend, backends_[device->backend]->GetDevCaps(device->id, caps, size));
}

MidiResult MidiOutPorts::Open(MidiOutHandle& handle, uint32_t deviceId) {
    const Device* device = Find(deviceId);
    if (!device) return kMidiErrBadDeviceId;
    MidiOutHandle inner = 0;
    const MidiResult result =
        Note(device->backend, backends_[device->backend]->Open(inner, device->id));
    if (result != kMidiNoError) return result;
    handle = nextHandle_++;
    open_[handle] = {device->backend, inner, deviceId == kMidiMapper ? 0 : deviceId};
    return kMidiNoError;
}

MidiResult MidiOutPorts::GetID(MidiOutHandle handle, uint32_t& deviceId) {
    auto it = open_.find(handle);
    if (it == open_.end()) return kMidiErrInvalidHandle;
    deviceId = it->second.deviceId;
    return kMidiNoError;
}

MidiResult MidiOutPorts::ShortMsg(MidiOutHandle handle, uint32_t message) {
    auto it = open_.find(handle);
    if (it == open_.end()) return kMidiErrInvalidHandle;
    const OpenDevice& d = it->second;
    return Note(d.backend, backends_[d.backend]->ShortMsg(d.handle, message));
}

MidiResult MidiOutPorts::LongMsg(MidiOutHandle handle, const uint8_t* bytes, size_t count) {
    auto it = open_.find(handle);
    if (it == open_.end()) return kMidiErrInvalidHandle;
    const OpenDevice& d = it->second;
    return Note(d.backend, backends_[d.backend]->LongMsg(d.handle, bytes, count));
}

MidiResult MidiOutPorts::Close(MidiOutHandle handle) {
    auto it = open_.find(handle);
    if (it == open_.end()) return kMidiErrInvalidHandle;
    const OpenDevice d = it->second;
    open_.erase(it);
    return Note(d.backend, backends_[d.backend]->Close(d.handle));
}

std::vector<std::string> MidiOutPorts::UnlistedReasons() {
    std::vector<std::string> reasons;
    for (const auto& backend : backends_)
        if (std::string reason = backend->UnlistedReason(); !reason.empty())
            reasons.push_back(std::move(reason));
    return reasons;
}

MidiResult MidiOutPorts::GetErrorText(MidiResult code, char* text, uint32_t size) {
    // The back end that failed last explains; the others know the common codes too.
    if (failedBackend_ < backends_.size() &&
        backends_[failedBackend_]->GetErrorText(code, text, size) == kMidiNoError)
        return kMidiNoError;
    for (const auto& backend : backends_)
        if (backend->GetErrorText(code, text, size) == kMidiNoError) return kMidiNoError;
    return kMidiErrBadErrorNumber;
}

// The back ends are fixed at construction, so these may run beside the other calls.
bool MidiOutPorts::DevicesDecided() {
    return std::all_of(backends_.begin(), backends_.end(),
                       [](const auto& backend) { return backend->DevicesDecided(); });
}
void MidiOutPorts::AwaitDevices() {
    for (const auto& backend : backends_) backend->AwaitDevices();
}
void MidiOutPorts::StopAwaiting() {
    for (const auto& backend : backends_) backend->StopAwaiting();
}

std::shared_ptr<IMidiOutService> CreateDefaultMidiOutService() {
    const char* requested = std::getenv("SONAVIX_MIDI_OUT");
    std::vector<std::shared_ptr<IMidiOutService>> backends = {
        CreateSynthMidiOutService(SynthSetup{DefaultSoundFontPath(), DefaultAudioDrivers()}),
        CreateRtMidiOutService("")};
    return std::make_shared<MidiOutPorts>(std::move(backends), requested ? requested : "");
}

namespace {
MidiOutPorts* ProgramPorts(MidiUnit& midi) {
    return dynamic_cast<MidiOutPorts*>(midi.SharedService().get());
}
}  // namespace

void RememberMidiOutPort(MidiUnit& midi, const std::string& name) {
    if (MidiOutPorts* ports = ProgramPorts(midi)) ports->Remember(name);
}

void ChooseMidiOutPort(MidiUnit& midi, const std::string& name) {
    midi.ReleaseMidiOut();
    if (MidiOutPorts* ports = ProgramPorts(midi)) ports->Choose(name);
    midi.ResetDevices();
    midi.InitMidiOut();
}

std::string MidiOutRequestNotice(MidiUnit& midi) {
    const std::vector<std::string>& names = midi.Devices().Names();
    MidiOutPorts* ports = ProgramPorts(midi);
    const std::string playing = names.empty() ? std::string("es gibt keinen MIDI-Ausgang")
                                              : "es spielt \"" + QuotedText(names.front()) + "\"";
    std::string notice;
    if (ports) {
        // A back end that could not offer its device (a SoundFont that does not load).
        for (const std::string& reason : ports->UnlistedReasons())
            notice.append(notice.empty() ? "" : "\n").append(reason).append("; ").append(playing);
        if (const std::string unmatched = ports->UnmatchedRequest(); !unmatched.empty())
            notice.append(notice.empty() ? "" : "\n")
                .append("SONAVIX_MIDI_OUT=\"")
                .append(QuotedText(unmatched))
                .append("\" passt zu keinem MIDI-Ausgang; ")
                .append(playing);
    }
    return notice;
}
