#include "midi/rtmidi_service.h"

#include <RtMidi.h>
#include <fcntl.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <thread>
#include <vector>

#include "midi/port_list.h"
#include "midi/quiet_stderr.h"

namespace {

// Collects what RtMidi reports instead of letting it print or throw.
struct ErrorSink {
    bool failed = false;
    bool warned = false;
    std::string text;

    void Clear() { *this = {}; }
    static void Callback(RtMidiError::Type type, const std::string& message, void* userData) {
        auto* sink = static_cast<ErrorSink*>(userData);
        if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING)
            sink->warned = true;
        else
            sink->failed = true;
        sink->text = message;
    }
};

const char* const kClientName = "Sonavix";
const char* const kOutputPortName = "Sonavix Output";

// A JACK port's output on a client of its own, not RtMidi's: RtMidi
// unregisters its port while its client's process thread may still be reading
// it, which crashed a signal's ending now and then. This client stops its
// process thread first (deactivated) and only then lets the port go. Its
// shutdown callback tells when the server has gone, which RtMidi does not.
class JackOut {
public:
    // Connected to destination, a full port name; null with the reason in error.
    static std::unique_ptr<JackOut> Open(const std::string& destination, std::string& error,
                                         MidiResult& code) {
        jack_status_t status;
        jack_client_t* client = jack_client_open(kClientName, JackNoStartServer, &status);
        code = kMidiErrNoDriver;
        if (!client) {
            error = "MidiOutJack::initialize: JACK server not running?";
            return nullptr;
        }
        std::unique_ptr<JackOut> out(new JackOut(client));
        jack_on_shutdown(client, &JackOut::ServerGone, out.get());
        code = kMidiErrGeneral;
        out->port_ = jack_port_register(client, kOutputPortName, JACK_DEFAULT_MIDI_TYPE,
                                        JackPortIsOutput, 0);
        if (!out->port_ || !out->ring_ ||
            jack_set_process_callback(client, &JackOut::Process, out.get()) != 0 ||
            jack_activate(client) != 0) {
            error = "MidiOutJack::openPort: JACK error creating port";
            return nullptr;
        }
        out->active_ = true;
        // Ports come and go; the name, not the position, is what was listed.
        code = kMidiErrNoDevice;
        if (!jack_port_by_name(client, destination.c_str()) ||
            jack_connect(client, jack_port_name(out->port_), destination.c_str()) != 0) {
            error.clear();
            return nullptr;
        }
        return out;
    }
    ~JackOut() {
        // Returns once the process thread is out of its cycle; none follows.
        if (active_) jack_deactivate(client_);
        jack_client_close(client_);
        if (ring_) jack_ringbuffer_free(ring_);
    }
    JackOut(const JackOut&) = delete;
    JackOut& operator=(const JackOut&) = delete;

    jack_client_t* Client() const { return client_; }
    bool Gone() const { return gone_.load(); }

    // Queued for the server's next process cycle; false when it does not fit
    // within a second (a server that stopped taking messages).
    bool Send(const unsigned char* bytes, size_t count) {
        const int size = static_cast<int>(count);
        const size_t needed = sizeof size + count;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (jack_ringbuffer_write_space(ring_) < needed) {
            if (needed > kRingBytes / 2 || gone_.load() ||
                std::chrono::steady_clock::now() > giveUp)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        // The process thread takes a message once all of it is there.
        jack_ringbuffer_write(ring_, reinterpret_cast<const char*>(&size), sizeof size);
        jack_ringbuffer_write(ring_, reinterpret_cast<const char*>(bytes), count);
        return true;
    }

private:
    static constexpr size_t kRingBytes = 65536;

    explicit JackOut(jack_client_t* client)
        : client_(client), ring_(jack_ringbuffer_create(kRingBytes)) {}

    static void ServerGone(void* self) { static_cast<JackOut*>(self)->gone_.store(true); }

    // The server's process thread: the queued messages into this cycle's
    // buffer, those that do not fit left for the next one.
    static int Process(jack_nframes_t frames, void* self) {
        auto* out = static_cast<JackOut*>(self);
        void* buffer = jack_port_get_buffer(out->port_, frames);
        jack_midi_clear_buffer(buffer);
        int size = 0;
        while (jack_ringbuffer_peek(out->ring_, reinterpret_cast<char*>(&size), sizeof size) ==
                   sizeof size &&
               jack_ringbuffer_read_space(out->ring_) >= sizeof size + static_cast<size_t>(size)) {
            jack_midi_data_t* data = jack_midi_event_reserve(buffer, 0, static_cast<size_t>(size));
            // One too big for even an empty buffer is dropped, not kept for ever.
            if (!data && jack_midi_get_event_count(buffer) > 0) break;
            jack_ringbuffer_read_advance(out->ring_, sizeof size);
            if (data)
                jack_ringbuffer_read(out->ring_, reinterpret_cast<char*>(data),
                                     static_cast<size_t>(size));
            else
                jack_ringbuffer_read_advance(out->ring_, static_cast<size_t>(size));
        }
        return 0;
    }

    jack_client_t* client_;
    jack_ringbuffer_t* ring_;
    jack_port_t* port_ = nullptr;  // set before the process thread starts
    bool active_ = false;
    std::atomic<bool> gone_{false};
};

// A new JACK connection takes effect at one of the server's next process
// cycles; messages sent before then are lost. Waits (bounded) until the
// destination lists our output among its connections, then two periods more.
void WaitForJackConnection(jack_client_t* client, const std::string& destination) {
    using Clock = std::chrono::steady_clock;
    const auto giveUp = Clock::now() + std::chrono::seconds(1);
    const std::string ours = std::string(":") + kOutputPortName;
    bool connected = false;
    while (!connected && Clock::now() < giveUp) {
        if (jack_port_t* port = jack_port_by_name(client, destination.c_str())) {
            if (const char** peers = jack_port_get_all_connections(client, port)) {
                for (const char** peer = peers; *peer && !connected; ++peer) {
                    const std::string name = *peer;
                    connected = name.size() >= ours.size() &&
                                name.compare(name.size() - ours.size(), ours.size(), ours) == 0;
                }
                jack_free(peers);
            }
        }
        if (!connected) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double rate = jack_get_sample_rate(client);
    const double periodMs = rate > 0 ? 1000.0 * jack_get_buffer_size(client) / rate : 10.0;
    if (connected)
        std::this_thread::sleep_for(
            std::chrono::microseconds(static_cast<int64_t>(2000 * periodMs)));
}

struct Port {
    RtMidi::Api api;
    std::string name;
};

class RtMidiOutService : public IMidiOutService {
public:
    explicit RtMidiOutService(std::string preferredPort) : preferred_(std::move(preferredPort)) {}

    uint32_t GetNumDevs() override {
        ListPorts();
        return static_cast<uint32_t>(ports_.size());
    }

    MidiResult GetDevCaps(uint32_t deviceId, MIDIOUTCAPSA& caps, uint32_t size) override {
        if (!listed_) ListPorts();
        const Port* port = Find(deviceId);
        if (!port) return kMidiErrBadDeviceId;
        MIDIOUTCAPSA filled{};
        filled.wTechnology = 1;  // a port
        filled.wChannelMask = 0xFFFF;
        std::strncpy(filled.szPname, port->name.c_str(), sizeof filled.szPname - 1);
        std::memcpy(&caps, &filled, std::min<size_t>(size, sizeof caps));
        return kMidiNoError;
    }

    MidiResult Open(MidiOutHandle& handle, uint32_t deviceId) override {
        if (!listed_) ListPorts();
        const Port* port = Find(deviceId);
        if (!port) return kMidiErrBadDeviceId;
        auto open = std::make_unique<OpenPort>();
        open->deviceId = deviceId == kMidiMapper ? 0 : deviceId;
        open->api = port->api;
        QuietStderr quiet;
        if (port->api == RtMidi::UNIX_JACK) {
            std::string error;
            MidiResult code = kMidiNoError;
            open->jack = JackOut::Open(port->name, error, code);
            if (!open->jack) return code == kMidiErrNoDevice ? code : Fail(error, code);
            WaitForJackConnection(open->jack->Client(), port->name);
        } else {
            try {
                open->out = std::make_unique<RtMidiOut>(port->api, kClientName);
                open->out->setErrorCallback(&ErrorSink::Callback, &open->sink);
                // Ports come and go; the name, not the position, is what was listed.
                const unsigned count = open->out->getPortCount();
                unsigned index = count;
                for (unsigned i = 0; i < count && index == count; ++i)
                    if (open->out->getPortName(i) == port->name) index = i;
                if (index == count) return kMidiErrNoDevice;
                open->out->openPort(index, kOutputPortName);
                if (open->sink.failed || !open->out->isPortOpen())
                    return Fail(open->sink.text, kMidiErrGeneral);
            } catch (const RtMidiError& error) {
                return Fail(error.getMessage(), kMidiErrNoDriver);
            }
        }
        open->sink.Clear();
        lost_.clear();
        handle = nextHandle_++;
        open_[handle] = std::move(open);
        return kMidiNoError;
    }

    MidiResult GetID(MidiOutHandle handle, uint32_t& deviceId) override {
        auto it = open_.find(handle);
        if (it == open_.end()) return kMidiErrInvalidHandle;
        deviceId = it->second->deviceId;
        return kMidiNoError;
    }

    MidiResult ShortMsg(MidiOutHandle handle, uint32_t message) override {
        const int length = ShortMessageLength(static_cast<uint8_t>(message & 0xFF));
        if (length == 0) return kMidiErrInvalidParam;
        unsigned char bytes[3];
        for (int i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(message >> (8 * i));
        return Send(handle, bytes, static_cast<size_t>(length));
    }

    MidiResult LongMsg(MidiOutHandle handle, const uint8_t* bytes, size_t count) override {
        return Send(handle, bytes, count);
    }

    MidiResult Close(MidiOutHandle handle) override {
        auto it = open_.find(handle);
        if (it == open_.end()) return kMidiErrInvalidHandle;
        // A JACK output hands its messages to the server's next process cycle;
        // closing at once can drop the last ones (the final Note Offs), so give
        // the server a few periods first.
        if (it->second->api == RtMidi::UNIX_JACK)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        QuietStderr quiet;
        open_.erase(it);
        return kMidiNoError;
    }

    MidiResult GetErrorText(MidiResult code, char* text, uint32_t size) override {
        std::string message;
        switch (code) {
            case kMidiErrGeneral:
                message = "MIDI-Fehler";
                break;
            case kMidiErrBadDeviceId:
                message = "Diesen MIDI-Ausgang gibt es nicht";
                break;
            case kMidiErrInvalidHandle:
                message = "Der MIDI-Ausgang ist nicht geöffnet";
                break;
            case kMidiErrNoDriver:
                message = "Das MIDI-System ist nicht verfügbar";
                break;
            case kMidiErrInvalidParam:
                message = "Ungültige MIDI-Nachricht";
                break;
            case kMidiErrNoDevice:
                message = "Der MIDI-Ausgang ist nicht mehr vorhanden";
                break;
            default:
                return kMidiErrBadErrorNumber;
        }
        if (code == kMidiErrGeneral && !lost_.empty())
            message = lost_;
        else if (!lastError_.empty() && (code == kMidiErrGeneral || code == kMidiErrNoDriver))
            message += ": " + lastError_;
        return CopyErrorText(message, text, size);
    }

private:
    struct OpenPort {
        ErrorSink sink;                  // before out: RtMidi keeps a pointer to it
        std::unique_ptr<RtMidiOut> out;  // for an ALSA port
        std::unique_ptr<JackOut> jack;   // for a JACK port
        uint32_t deviceId = 0;
        RtMidi::Api api = RtMidi::UNSPECIFIED;
    };

    const Port* Find(uint32_t deviceId) const {
        if (deviceId == kMidiMapper) deviceId = 0;  // the mapper is the first port
        return deviceId < ports_.size() ? &ports_[deviceId] : nullptr;
    }

    MidiResult Fail(const std::string& text, MidiResult code) {
        lastError_ = text;
        lost_.clear();
        return code;
    }

    MidiResult Send(MidiOutHandle handle, const unsigned char* bytes, size_t count) {
        auto it = open_.find(handle);
        if (it == open_.end()) return kMidiErrInvalidHandle;
        if (JackOut* jack = it->second->jack.get()) {
            // Its queue would fill for a server that has gone, without a word.
            if (!jack->Gone() && jack->Send(bytes, count)) return kMidiNoError;
            lost_ = kOutputLostText + std::string("die Verbindung zum JACK-Server ist abgebrochen");
            return kMidiErrGeneral;
        }
        ErrorSink& sink = it->second->sink;
        sink.Clear();
        try {
            it->second->out->sendMessage(bytes, count);
        } catch (const RtMidiError& error) {
            return Fail(error.getMessage(), kMidiErrGeneral);
        }
        // A message that could not be sent comes back as a warning.
        if (sink.failed || sink.warned) return Fail(sink.text, kMidiErrGeneral);
        return kMidiNoError;
    }

    void ListPorts() {
        std::vector<RtMidi::Api> compiled;
        RtMidi::getCompiledApi(compiled);
        std::vector<Port> ports;
        QuietStderr quiet;
        for (RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK}) {
            if (std::find(compiled.begin(), compiled.end(), api) == compiled.end()) continue;
            try {
                ErrorSink sink;
                RtMidiOut out(api, kClientName);
                out.setErrorCallback(&ErrorSink::Callback, &sink);
                const unsigned count = out.getPortCount();
                for (unsigned i = 0; i < count; ++i) {
                    std::string name = out.getPortName(i);
                    if (!name.empty()) ports.push_back({api, std::move(name)});
                }
            } catch (const RtMidiError&) {
                // This sound system is not there.
            }
        }
        if (!preferred_.empty()) {
            auto match = FindPortByNamePart(
                ports, preferred_,
                [](const Port& port) -> const std::string& { return port.name; });
            if (match != ports.end()) std::rotate(ports.begin(), match, match + 1);
        }
        ports_ = std::move(ports);
        listed_ = true;
    }

    std::string preferred_;
    std::vector<Port> ports_;
    bool listed_ = false;
    std::map<MidiOutHandle, std::unique_ptr<OpenPort>> open_;
    MidiOutHandle nextHandle_ = 1;
    std::string lastError_;
    std::string lost_;  // set when the last failure was a lost server
};

}  // namespace

std::shared_ptr<IMidiOutService> CreateRtMidiOutService(const std::string& preferredPort) {
    return std::make_shared<RtMidiOutService>(preferredPort);
}
