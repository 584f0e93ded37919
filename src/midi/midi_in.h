#pragma once
// MIDI input: the messages a keyboard sends, handed from the thread that
// receives them to the one that plays, and the ports they come from.
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct MidiInEvent {
    uint8_t Status = 0;
    uint8_t Data1 = 0;
    uint8_t Data2 = 0;
    bool operator==(const MidiInEvent&) const = default;
};

// Filled by the receiving thread, emptied by the playing one.
class MidiInQueue {
public:
    void Push(const MidiInEvent& event) {
        const std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    std::optional<MidiInEvent> Pop() {
        const std::lock_guard lock(mutex_);
        if (events_.empty()) return std::nullopt;
        const MidiInEvent event = events_.front();
        events_.pop_front();
        return event;
    }
    void Clear() {
        const std::lock_guard lock(mutex_);
        events_.clear();
    }

private:
    std::mutex mutex_;
    std::deque<MidiInEvent> events_;
};

// An open input port: its messages go into Queue() until it is destroyed.
class MidiInPort {
public:
    virtual ~MidiInPort() = default;
    virtual const std::string& Name() const = 0;
    MidiInQueue& Queue() { return queue_; }

private:
    MidiInQueue queue_;
};

// The input ports of the ALSA sequencer, then of a running JACK server; a
// missing sound system contributes none.
std::vector<std::string> ListMidiInPorts();
// Opens the port of that full name; throws Exception (German) when it is gone
// or refuses.
std::unique_ptr<MidiInPort> OpenMidiInPort(const std::string& name);

// What a command line's PORT names among names: an index ("0", "1", ...) or a
// case-insensitive part of a name, as SONAVIX_MIDI_OUT picks an output.
// Throws Exception with a German message listing the ports when none fits.
std::string ResolveMidiInPort(const std::vector<std::string>& names, const std::string& request);
