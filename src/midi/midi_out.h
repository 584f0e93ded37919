#pragma once
// MIDI outputs: the abstract output with its active-note bookkeeping, the
// output on one device of the platform service, and the registry that keeps
// each device open at most once.
#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "midi/platform.h"

using MidiNotes = std::bitset<128>;

// Channels are counted 1 to 16; notes and velocities are bytes.
class IMidiOutput {
public:
    virtual ~IMidiOutput() = default;
    // Validates the channel.
    virtual const MidiNotes& ActiveNotes(int channel) const = 0;
    virtual std::string DeviceName() const = 0;
    virtual uint8_t RunningStatus() const = 0;
    virtual bool RunningStatusEnabled() const = 0;
    // Also forgets the recorded status byte.
    virtual void SetRunningStatusEnabled(bool enabled) = 0;
    // Bytes 0 to lastIndex form one complete message.
    virtual void SendMidiMessage(const uint8_t* bytes, int lastIndex) = 0;
    virtual void NoteOff(uint8_t channel, uint8_t note, uint8_t velocity) = 0;
    virtual void NoteOn(uint8_t channel, uint8_t note, uint8_t velocity) = 0;
    virtual void ProgramChange(uint8_t channel, uint8_t program) = 0;
    virtual void ControlChange(uint8_t channel, uint8_t controller, uint8_t value) = 0;
    // Validates the channel; notes above 127 are never active.
    virtual bool NoteIsOn(int channel, int note) const = 0;
    // Note Off, velocity 127, for each sounding note of the channel, ascending.
    virtual void ReleaseActiveNotes(int channel) = 0;
    virtual void ReleaseAllActiveNotes() = 0;
    // Note Off for every sounding note, then the device closed, whoever else
    // holds the output (a signal's ending); what is sent later fails.
    virtual void Close() noexcept = 0;
};

// Encodes channel messages and tracks sounding notes. A derived class must
// call ReleaseAllActiveNotes in its own destructor, while SendBytes still works.
class TJclMIDIOut : public IMidiOutput {
public:
    const MidiNotes& ActiveNotes(int channel) const override;
    uint8_t RunningStatus() const override { return runningStatus_; }
    bool RunningStatusEnabled() const override { return runningStatusEnabled_; }
    void SetRunningStatusEnabled(bool enabled) override;
    void SendMidiMessage(const uint8_t* bytes, int lastIndex) override;
    void NoteOff(uint8_t channel, uint8_t note, uint8_t velocity) override;
    void NoteOn(uint8_t channel, uint8_t note, uint8_t velocity) override;
    void ProgramChange(uint8_t channel, uint8_t program) override;
    void ControlChange(uint8_t channel, uint8_t controller, uint8_t value) override;
    bool NoteIsOn(int channel, int note) const override;
    void ReleaseActiveNotes(int channel) override;
    void ReleaseAllActiveNotes() override;

protected:
    virtual void SendBytes(const uint8_t* bytes, int lastIndex) = 0;
    void SendChannelMessage(uint8_t status, uint8_t channel, uint8_t data1, uint8_t data2);
    // ReleaseAllActiveNotes that never throws, for destructors.
    void ReleaseAllActiveNotesQuietly() noexcept;

private:
    static void CheckChannel(int channel);

    MidiNotes activeNotes_[16];
    uint8_t runningStatus_ = 0;
    bool runningStatusEnabled_ = false;
};

class MidiOutputDevices;

// The output on one device of the platform service. Lives as long as its
// last reference; its destructor silences it, closes it and leaves the registry.
class TMidiOut : public TJclMIDIOut {
public:
    // Opens the device; throws EJclMIDIError when the platform refuses.
    // registry, when given, is the one the output leaves when it goes.
    static std::shared_ptr<TMidiOut> Create(std::shared_ptr<IMidiOutService> service,
                                            uint32_t deviceId,
                                            std::shared_ptr<MidiOutputDevices> registry = {});
    ~TMidiOut() override;
    TMidiOut(const TMidiOut&) = delete;
    TMidiOut& operator=(const TMidiOut&) = delete;

    std::string DeviceName() const override;
    uint32_t DeviceId() const { return deviceId_; }
    void Close() noexcept override;

protected:
    void SendBytes(const uint8_t* bytes, int lastIndex) override;

private:
    TMidiOut(std::shared_ptr<IMidiOutService> service, uint32_t deviceId);

    std::shared_ptr<IMidiOutService> service_;
    std::shared_ptr<MidiOutputDevices> registry_;
    MidiOutHandle handle_ = 0;
    bool closed_ = false;  // by Close
    uint32_t deviceId_ = 0;
    MIDIOUTCAPSA caps_{};
};

// The registry of one service's output devices: their product names in device
// order and, per entry, the output that is open on it (not owned). Outputs
// hold it, so one that outlives the MIDI unit still finds it.
class MidiOutputDevices {
public:
    explicit MidiOutputDevices(std::shared_ptr<IMidiOutService> service)
        : service_(std::move(service)) {}
    // Built from the service on first use.
    int Count() { return static_cast<int>(Names().size()); }
    const std::vector<std::string>& Names();

    // The shared output of a device; -1 is the mapper. An identifier outside the
    // registry raises EListError ("Listenindex überschreitet das Maximum (%d)").
    static std::shared_ptr<IMidiOutput> Get(const std::shared_ptr<MidiOutputDevices>& self,
                                            int32_t deviceId);
    // Close for every output open on its devices, whoever holds it.
    void CloseOpenOutputs() const noexcept;

private:
    friend class TMidiOut;
    struct Slot {
        TMidiOut* output = nullptr;  // identifies the owner while it is being destroyed
        std::weak_ptr<TMidiOut> ref;
    };
    std::shared_ptr<IMidiOutService> service_;
    std::vector<std::string> names_;
    std::vector<Slot> slots_;
    int64_t mapperId_ = -1;
    bool built_ = false;
};

// Raises EJclMIDIError with MidiOutErrorText(service, code) unless code is 0.
void CheckMidiResult(IMidiOutService& service, MidiResult code);
std::string MidiOutErrorText(IMidiOutService& service, MidiResult code);
