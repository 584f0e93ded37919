#include "midi/rtmidi_service.h"

#include <RtMidi.h>
#include <fcntl.h>
#include <jack/jack.h>
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

namespace {

// ALSA, JACK and RtMidi itself complain on stderr when a sound system is
// missing; that is an ordinary situation for us, reported by an empty list.
class QuietStderr {
public:
    QuietStderr() {
        std::cerr.flush();
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~QuietStderr() {
        std::cerr.flush();
        std::fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
            close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

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

// A client of our own beside RtMidi's (which does not tell when its server
// goes): it learns of the server's end through its shutdown callback.
class JackWatch {
public:
    static std::unique_ptr<JackWatch> Open() {
        jack_status_t status;
        jack_client_t* client = jack_client_open("Sonavix-Verbindung", JackNoStartServer, &status);
        if (!client) return nullptr;
        std::unique_ptr<JackWatch> watch(new JackWatch(client));
        jack_on_shutdown(client, &JackWatch::ServerGone, watch.get());
        return watch;
    }
    ~JackWatch() { jack_client_close(client_); }
    JackWatch(const JackWatch&) = delete;
    JackWatch& operator=(const JackWatch&) = delete;

    jack_client_t* Client() const { return client_; }
    bool Gone() const { return gone_.load(); }

private:
    explicit JackWatch(jack_client_t* client) : client_(client) {}
    static void ServerGone(void* self) { static_cast<JackWatch*>(self)->gone_.store(true); }

    jack_client_t* client_;
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
            if (port->api == RtMidi::UNIX_JACK) {
                open->watch = JackWatch::Open();
                if (open->watch) WaitForJackConnection(open->watch->Client(), port->name);
            }
        } catch (const RtMidiError& error) {
            return Fail(error.getMessage(), kMidiErrNoDriver);
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
        ErrorSink sink;  // before out: RtMidi keeps a pointer to it
        std::unique_ptr<RtMidiOut> out;
        std::unique_ptr<JackWatch> watch;  // for a JACK port
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
        // RtMidi would fill its buffer for a server that has gone, without a word.
        if (it->second->watch && it->second->watch->Gone()) {
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
