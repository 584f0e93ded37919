#include "midi/midi_in.h"

#include <RtMidi.h>

#include <algorithm>
#include <cctype>
#include <iostream>

#include "common/errors.h"
#include "common/quote.h"
#include "midi/port_list.h"
#include "midi/quiet_stderr.h"

namespace {

const char* const kClientName = "Sonavix";
const char* const kInputPortName = "Sonavix Input";

void IgnoreErrors(RtMidiError::Type, const std::string&, void*) {}

struct ApiPort {
    RtMidi::Api api;
    std::string name;
};

std::vector<ApiPort> ListPorts() {
    std::vector<RtMidi::Api> compiled;
    RtMidi::getCompiledApi(compiled);
    std::vector<ApiPort> ports;
    const QuietStderr quiet;
    for (const RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK}) {
        if (std::find(compiled.begin(), compiled.end(), api) == compiled.end()) continue;
        try {
            RtMidiIn in(api, kClientName);
            in.setErrorCallback(&IgnoreErrors, nullptr);
            const unsigned count = in.getPortCount();
            for (unsigned i = 0; i < count; ++i)
                // The program's own output is no keyboard: its notes would step it.
                if (std::string name = in.getPortName(i);
                    !name.empty() && name.find("Sonavix Output") == std::string::npos)
                    ports.push_back({api, std::move(name)});
        } catch (const RtMidiError&) {
            // This sound system is not there.
        }
    }
    return ports;
}

class RtMidiInPort : public MidiInPort {
public:
    RtMidiInPort(RtMidi::Api api, std::string name)
        : name_(std::move(name)), in_(api, kClientName) {
        in_.setErrorCallback(&IgnoreErrors, nullptr);
        // Set before the port opens, so that no message waits in RtMidi's own queue.
        in_.setCallback(&RtMidiInPort::Received, this);
    }
    ~RtMidiInPort() override {
        const QuietStderr quiet;
        in_.cancelCallback();
        in_.closePort();
    }
    RtMidiInPort(const RtMidiInPort&) = delete;
    RtMidiInPort& operator=(const RtMidiInPort&) = delete;

    const std::string& Name() const override { return name_; }
    RtMidiIn& In() { return in_; }

private:
    // On RtMidi's thread: only the queue is touched.
    static void Received(double, std::vector<unsigned char>* message, void* self) {
        if (!message || message->empty() || message->size() > 3) return;
        MidiInEvent event;
        event.Status = (*message)[0];
        if (message->size() > 1) event.Data1 = (*message)[1];
        if (message->size() > 2) event.Data2 = (*message)[2];
        static_cast<RtMidiInPort*>(self)->Queue().Push(event);
    }

    std::string name_;
    RtMidiIn in_;
};

std::string Gone(const std::string& name) {
    return "Den MIDI-Eingang \"" + QuotedText(name) + "\" gibt es nicht mehr";
}

}  // namespace

std::vector<std::string> ListMidiInPorts() {
    std::vector<std::string> names;
    for (ApiPort& port : ListPorts()) names.push_back(std::move(port.name));
    return names;
}

std::unique_ptr<MidiInPort> OpenMidiInPort(const std::string& name) {
    const std::vector<ApiPort> ports = ListPorts();
    const auto port =
        std::find_if(ports.begin(), ports.end(), [&](const ApiPort& p) { return p.name == name; });
    if (port == ports.end()) throw Exception(Gone(name));
    const QuietStderr quiet;
    try {
        auto open = std::make_unique<RtMidiInPort>(port->api, name);
        // Ports come and go; the name, not the position, is what was listed.
        const unsigned count = open->In().getPortCount();
        for (unsigned i = 0; i < count; ++i)
            if (open->In().getPortName(i) == name) {
                open->In().openPort(i, kInputPortName);
                if (!open->In().isPortOpen()) break;
                return open;
            }
    } catch (const RtMidiError& error) {
        throw Exception("Der MIDI-Eingang \"" + QuotedText(name) +
                        "\" lässt sich nicht öffnen: " + error.getMessage());
    }
    throw Exception(Gone(name));
}

std::string ResolveMidiInPort(const std::vector<std::string>& names, const std::string& request) {
    const bool digits = !request.empty() && std::all_of(request.begin(), request.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
    if (digits && request.size() <= 4 && std::stoul(request) < names.size())
        return names[std::stoul(request)];
    const auto match = FindPortByNamePart(
        names, request, [](const std::string& n) -> const std::string& { return n; });
    if (!request.empty() && match != names.end()) return *match;
    std::string message = "Der MIDI-Eingang \"" + QuotedText(request) + "\" passt zu keinem Port";
    if (names.empty()) throw Exception(message + "; es gibt keinen MIDI-Eingang");
    message += "; vorhanden:";
    for (size_t i = 0; i < names.size(); ++i)
        message.append("\n  ").append(std::to_string(i)).append(": ").append(names[i]);
    throw Exception(message);
}
