#include "midi/midi_out.h"

#include <cstdio>
#include <cstring>

#include "common/errors.h"

// ---- TJclMIDIOut ----

void TJclMIDIOut::CheckChannel(int channel) {
    if (channel < 1 || channel > 16) {
        char text[64];
        std::snprintf(text, sizeof text, "Invalid MIDI channel number (%d)", channel);
        throw EJclMIDIError(text);
    }
}

const MidiNotes& TJclMIDIOut::ActiveNotes(int channel) const {
    CheckChannel(channel);
    return activeNotes_[channel - 1];
}

void TJclMIDIOut::SetRunningStatusEnabled(bool enabled) {
    runningStatusEnabled_ = enabled;
    runningStatus_ = 0;
}

void TJclMIDIOut::SendMidiMessage(const uint8_t* bytes, int lastIndex) {
    if (lastIndex < 0) return;
    const uint8_t status = bytes[0];
    if (runningStatusEnabled_ && status >= 0x80 && status < 0xF0) {
        if (status == runningStatus_ && lastIndex > 0) {
            SendBytes(bytes + 1, lastIndex - 1);
            return;
        }
        runningStatus_ = status;
    }
    SendBytes(bytes, lastIndex);
}

void TJclMIDIOut::SendChannelMessage(uint8_t status, uint8_t channel, uint8_t data1,
                                     uint8_t data2) {
    // No channel check and no masking here: callers pass what they mean.
    const uint8_t bytes[3] = {static_cast<uint8_t>(status | static_cast<uint8_t>(channel - 1)),
                              data1, data2};
    SendMidiMessage(bytes, 2);
}

void TJclMIDIOut::NoteOff(uint8_t channel, uint8_t note, uint8_t velocity) {
    SendChannelMessage(0x80, channel, note, velocity);
    if (note <= 127 && channel >= 1 && channel <= 16) activeNotes_[channel - 1].reset(note);
}

void TJclMIDIOut::NoteOn(uint8_t channel, uint8_t note, uint8_t velocity) {
    SendChannelMessage(0x90, channel, note, velocity);
    if (note <= 127 && channel >= 1 && channel <= 16) activeNotes_[channel - 1].set(note);
}

void TJclMIDIOut::ProgramChange(uint8_t channel, uint8_t program) {
    SendChannelMessage(0xC0, channel, program, 0);
}

void TJclMIDIOut::ControlChange(uint8_t channel, uint8_t controller, uint8_t value) {
    SendChannelMessage(0xB0, channel, controller, value);
}

bool TJclMIDIOut::NoteIsOn(int channel, int note) const {
    const MidiNotes& notes = ActiveNotes(channel);
    return note >= 0 && note <= 127 && notes.test(static_cast<size_t>(note));
}

void TJclMIDIOut::ReleaseActiveNotes(int channel) {
    CheckChannel(channel);
    if (activeNotes_[channel - 1].none()) return;
    for (int note = 0; note <= 127; ++note) {
        if (activeNotes_[channel - 1].test(note))
            NoteOff(static_cast<uint8_t>(channel), static_cast<uint8_t>(note), 127);
    }
}

void TJclMIDIOut::ReleaseAllActiveNotes() {
    for (int channel = 1; channel <= 16; ++channel) ReleaseActiveNotes(channel);
}

void TJclMIDIOut::ReleaseAllActiveNotesQuietly() noexcept {
    // A failing device must not stop the other channels from being silenced.
    for (int channel = 1; channel <= 16; ++channel) {
        try {
            ReleaseActiveNotes(channel);
        } catch (...) {
        }
    }
}

// ---- errors ----

std::string MidiOutErrorText(IMidiOutService& service, MidiResult code) {
    char text[MAXERRORLENGTH] = {};
    if (service.GetErrorText(code, text, sizeof text) == kMidiNoError)
        return std::string(text, strnlen(text, sizeof text - 1));
    char fallback[64];
    std::snprintf(fallback, sizeof fallback, "Unknown MIDI-Out error No. %d",
                  static_cast<int>(code));
    return fallback;
}

void CheckMidiResult(IMidiOutService& service, MidiResult code) {
    if (code != kMidiNoError) throw EJclMIDIError(MidiOutErrorText(service, code));
}

// ---- registry ----

const std::vector<std::string>& MidiOutputDevices::Names() {
    if (!built_) {
        const uint32_t count = service_->GetNumDevs();
        for (uint32_t id = 0; id < count; ++id) {
            MIDIOUTCAPSA caps{};
            if (service_->GetDevCaps(id, caps, sizeof caps) != kMidiNoError) continue;
            names_.emplace_back(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
        }
        slots_.resize(names_.size());
        built_ = true;
    }
    return names_;
}

std::shared_ptr<IMidiOutput> MidiOutputDevices::Get(const std::shared_ptr<MidiOutputDevices>& self,
                                                    int32_t deviceId) {
    MidiOutputDevices& registry = *self;
    const int64_t count = registry.Count();
    const int64_t id = deviceId == -1 ? registry.mapperId_ : deviceId;
    std::shared_ptr<TMidiOut> output;
    if (id != -1) {
        if (id < 0 || id >= count) throw EListError(msg::ListIndexTooLarge(id));
        output = registry.slots_[static_cast<size_t>(id)].ref.lock();
    }
    if (!output) {
        output =
            TMidiOut::Create(registry.service_,
                             deviceId == -1 ? kMidiMapper : static_cast<uint32_t>(deviceId), self);
        const uint32_t reported = output->DeviceId();
        if (reported < registry.slots_.size()) {
            registry.slots_[reported] = {output.get(), output};
            if (deviceId == -1) registry.mapperId_ = reported;
        }
    }
    return output;
}

void MidiOutputDevices::CloseOpenOutputs() const noexcept {
    for (const Slot& slot : slots_)
        if (const std::shared_ptr<TMidiOut> output = slot.ref.lock()) output->Close();
}

// ---- TMidiOut ----

std::shared_ptr<TMidiOut> TMidiOut::Create(std::shared_ptr<IMidiOutService> service,
                                           uint32_t deviceId,
                                           std::shared_ptr<MidiOutputDevices> registry) {
    std::shared_ptr<TMidiOut> output(new TMidiOut(std::move(service), deviceId));
    output->registry_ = std::move(registry);
    return output;
}

TMidiOut::TMidiOut(std::shared_ptr<IMidiOutService> service, uint32_t deviceId)
    : service_(std::move(service)) {
    try {
        CheckMidiResult(*service_, service_->GetDevCaps(deviceId, caps_, sizeof caps_));
        CheckMidiResult(*service_, service_->Open(handle_, deviceId));
        CheckMidiResult(*service_, service_->GetID(handle_, deviceId_));
    } catch (...) {
        // Closing a handle that never opened is harmless; its result does not matter.
        service_->Close(handle_);
        throw;
    }
}

TMidiOut::~TMidiOut() {
    TMidiOut::Close();
    if (!registry_) return;
    auto& slots = registry_->slots_;
    if (deviceId_ < slots.size() && slots[deviceId_].output == this) slots[deviceId_] = {};
}

void TMidiOut::Close() noexcept {
    if (closed_) return;
    ReleaseAllActiveNotesQuietly();
    closed_ = true;
    service_->Close(handle_);
}

std::string TMidiOut::DeviceName() const {
    return std::string(caps_.szPname, strnlen(caps_.szPname, sizeof caps_.szPname));
}

void TMidiOut::SendBytes(const uint8_t* bytes, int lastIndex) {
    if (lastIndex < 0) return;
    if (lastIndex <= 2) {
        uint32_t message = 0;
        for (int i = 0; i <= lastIndex; ++i) message |= uint32_t{bytes[i]} << (8 * i);
        CheckMidiResult(*service_, service_->ShortMsg(handle_, message));
    } else {
        CheckMidiResult(*service_,
                        service_->LongMsg(handle_, bytes, static_cast<size_t>(lastIndex) + 1));
    }
}
