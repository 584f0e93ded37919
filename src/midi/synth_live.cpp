// The live synthesizer: FluidSynth on the desktop's audio system, offered as
// a MIDI output service of one device.
#include <jack/jack.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "midi/fluid.h"
#include "midi/synth.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// About 10 ms of output buffering (448 frames at 44.1 kHz). PulseAudio's
// driver takes one period as its whole buffer, ALSA's a number of periods.
constexpr int kBufferFrames = 448, kAlsaPeriods = 4;
// How long the device list waits for an audio output to open, from the
// moment the SoundFont has loaded.
constexpr auto kDecisionWait = 5s;
// How long the device list waits for the SoundFont to load, from the start.
constexpr auto kLoadWait = 30s;
// After the last message a closing device lets the release ring this long.
constexpr auto kReleaseRing = 300ms;

// FluidSynth's JACK driver would start a server of its own; only a running one counts.
bool JackServerRuns() {
    jack_status_t status;
    jack_client_t* client = jack_client_open("Sonavix probe", JackNoStartServer, &status);
    if (!client) return false;
    jack_client_close(client);
    return true;
}

// What the service needs of a synthesizer besides its calls.
class SynthBackend {
public:
    virtual ~SynthBackend() = default;
    virtual bool Listed() = 0;
    // Why it is not listed, when the user should hear of it.
    virtual std::string UnlistedReason() { return ""; }
    // "" when the synthesizer can take messages, else why not (in German).
    virtual std::string Ready() = 0;
    // Valid once Ready has returned "".
    virtual ISynthCalls& Calls() = 0;
    // Called when the device closes.
    virtual void Drain() {}
    // See IMidiOutService.
    virtual bool Decided() { return true; }
    virtual void Await() {}
    virtual void StopAwaiting() {}
};

// Why the synthesizer no longer sounds, by the audio driver that played.
std::string LostOutputText(const std::string& driver) {
    const char* cause = driver == "pulseaudio" ? "die Verbindung zu PulseAudio ist abgebrochen"
                        : driver == "jack"     ? "die Verbindung zum JACK-Server ist abgebrochen"
                        : driver == "alsa"     ? "die ALSA-Ausgabe ist ausgefallen"
                                               : "die Audioausgabe ist ausgefallen";
    return kOutputLostText + std::string(cause);
}

// Everything the set-up thread touches; shared so that a thread that outlives
// the service (an audio system that never answers) still has it.
struct LiveState {
    std::mutex mutex;
    std::condition_variable changed;
    enum { Loading, Deciding, Listed, Unlisted } phase = Loading;
    // Absolute, so that a second listing does not wait all over again.
    Clock::time_point loadBy = Clock::now() + kLoadWait, decideBy;
    bool stopped = false;  // StopAwaiting: no more waiting
    std::string loadError;
    // Once listed: the driver that plays, and FluidSynth's error count when it started.
    std::string driverName;
    uint64_t errorsAtStart = 0;
    // Declared in creation order, so the driver goes first and the settings last.
    FluidSettings settings;
    FluidSynth synth;
    FluidDriver driver;

    void Decide(bool listed) { Enter(listed ? Listed : Unlisted); }
    void Enter(decltype(phase) next) {
        std::lock_guard lock(mutex);
        phase = next;
        if (next == Deciding) decideBy = Clock::now() + kDecisionWait;
        changed.notify_all();
    }

    // Until the listing is decided, within the bounds.
    void AwaitDecision() {
        std::unique_lock lock(mutex);
        changed.wait_until(lock, loadBy, [&] { return stopped || phase != Loading; });
        if (phase == Deciding)
            changed.wait_until(lock, decideBy, [&] { return stopped || phase != Deciding; });
    }
    void StopAwaiting() {
        std::lock_guard lock(mutex);
        stopped = true;
        changed.notify_all();
    }

    static void Prepare(const std::shared_ptr<LiveState>& state, const SynthSetup& setup) {
        SilenceSoundLibraries();
        const std::string& path = setup.soundFont;
        // The header check is quick; the samples load after the decision.
        if (path.empty() || !fluid_is_soundfont(path.c_str())) return state->Decide(false);
        try {
            state->settings = NewSynthSettings();
        } catch (const ESynthError&) {
            return state->Decide(false);
        }
        fluid_settings_t* settings = state->settings.get();
        fluid_settings_setstr(settings, "audio.jack.id", kSynthDeviceName);
        fluid_settings_setint(settings, "audio.jack.autoconnect", 1);
        fluid_settings_setstr(settings, "audio.file.name", "/dev/null");
        state->synth.reset(new_fluid_synth(settings));
        if (!state->synth) return state->Decide(false);
        // All of the SoundFont before the device is offered: one that is
        // damaged behind a sound header would otherwise fail every note.
        if (fluid_synth_sfload(state->synth.get(), path.c_str(), 1) == FLUID_FAILED) {
            {
                std::lock_guard lock(state->mutex);
                state->loadError = SoundFontLoadFailure(path);
            }
            return state->Decide(false);
        }
        state->Enter(Deciding);
        for (const std::string& driver : setup.audioDrivers) {
            if (driver == "jack" && !JackServerRuns()) continue;
            if (fluid_settings_setstr(settings, "audio.driver", driver.c_str()) != FLUID_OK)
                continue;
            const bool pulse = driver == "pulseaudio";
            fluid_settings_setint(settings, "audio.period-size",
                                  pulse ? kBufferFrames : kBufferFrames / kAlsaPeriods);
            fluid_settings_setint(settings, "audio.periods", pulse ? 2 : kAlsaPeriods);
            state->driver.reset(new_fluid_audio_driver(settings, state->synth.get()));
            if (state->driver) {
                std::lock_guard lock(state->mutex);
                state->driverName = driver;
                state->errorsAtStart = FluidErrorCount();
                break;
            }
        }
        state->Decide(state->driver != nullptr);
    }
};

class LiveSynth : public SynthBackend {
public:
    explicit LiveSynth(const SynthSetup& setup) : state_(std::make_shared<LiveState>()) {
        thread_ = std::thread([state = state_, setup] { LiveState::Prepare(state, setup); });
    }
    ~LiveSynth() override {
        // A set-up still waiting for an audio system is left to finish on its
        // own; a SoundFont that is loading is waited for.
        std::unique_lock lock(state_->mutex);
        const bool decided = state_->phase != LiveState::Deciding;
        lock.unlock();
        if (decided)
            thread_.join();
        else
            thread_.detach();
    }

    bool Listed() override {
        state_->AwaitDecision();
        std::lock_guard lock(state_->mutex);
        return state_->phase == LiveState::Listed && !LostLocked();
    }

    std::string UnlistedReason() override {
        if (Listed()) return "";
        std::lock_guard lock(state_->mutex);
        if (!lost_.empty()) return lost_;
        if (!state_->loadError.empty()) return state_->loadError;
        if (state_->phase == LiveState::Loading)
            return "Der Synthesizer ist nicht verfügbar: die SoundFont lädt zu lange";
        if (state_->phase == LiveState::Deciding)
            return "Der Synthesizer ist nicht verfügbar: das Audiosystem antwortet nicht";
        return "";
    }

    // Whether a listing would return at once.
    bool Decided() override {
        std::lock_guard lock(state_->mutex);
        const LiveState& s = *state_;
        const auto now = Clock::now();
        return s.stopped || (s.phase == LiveState::Loading    ? now >= s.loadBy
                             : s.phase == LiveState::Deciding ? now >= s.decideBy
                                                              : true);
    }
    void Await() override { state_->AwaitDecision(); }
    void StopAwaiting() override { state_->StopAwaiting(); }

    std::string Ready() override {
        if (!Listed()) {
            std::lock_guard lock(state_->mutex);
            return lost_.empty() ? "Der Synthesizer hat keine Audioausgabe" : lost_;
        }
        calls_.Bind(state_->synth.get());
        lastMessage_ = Clock::now();
        return "";
    }

    ISynthCalls& Calls() override { return calls_; }

    void Drain() override {
        if (lastMessage_ == Clock::time_point{} || !lost_.empty()) return;
        std::this_thread::sleep_until(lastMessage_ + kReleaseRing);
    }

private:
    // An error logged since the driver started means that it stopped playing;
    // the synthesizer stays lost from then on. Under the state's lock.
    bool LostLocked() {
        if (lost_.empty() && state_->phase == LiveState::Listed &&
            FluidErrorCount() != state_->errorsAtStart)
            lost_ = LostOutputText(state_->driverName);
        return !lost_.empty();
    }

    std::shared_ptr<LiveState> state_;
    std::string lost_;
    std::thread thread_;
    FluidCalls calls_;
    Clock::time_point lastMessage_{};
};

// Given calls, always ready: the seam through which tests see what the bytes became.
class GivenCalls : public SynthBackend {
public:
    explicit GivenCalls(std::shared_ptr<ISynthCalls> calls) : calls_(std::move(calls)) {}
    bool Listed() override { return true; }
    std::string Ready() override { return ""; }
    ISynthCalls& Calls() override { return *calls_; }

private:
    std::shared_ptr<ISynthCalls> calls_;
};

class SynthService : public IMidiOutService {
public:
    explicit SynthService(std::unique_ptr<SynthBackend> synth) : synth_(std::move(synth)) {}

    uint32_t GetNumDevs() override { return synth_->Listed() ? 1 : 0; }
    std::string UnlistedReason() override { return synth_->UnlistedReason(); }
    bool DevicesDecided() override { return synth_->Decided(); }
    void AwaitDevices() override { synth_->Await(); }
    void StopAwaiting() override { synth_->StopAwaiting(); }

    MidiResult GetDevCaps(uint32_t deviceId, MIDIOUTCAPSA& caps, uint32_t size) override {
        if (!Exists(deviceId)) return kMidiErrBadDeviceId;
        MIDIOUTCAPSA filled{};
        filled.wTechnology = 7;  // a software synthesizer
        filled.wVoices = 256;
        filled.wNotes = 256;
        filled.wChannelMask = 0xFFFF;
        std::strncpy(filled.szPname, kSynthDeviceName, sizeof filled.szPname - 1);
        std::memcpy(&caps, &filled, std::min<size_t>(size, sizeof caps));
        return kMidiNoError;
    }

    MidiResult Open(MidiOutHandle& handle, uint32_t deviceId) override {
        if (!Exists(deviceId)) return kMidiErrBadDeviceId;
        handle = nextHandle_++;
        open_.push_back(handle);
        return kMidiNoError;
    }

    MidiResult GetID(MidiOutHandle handle, uint32_t& deviceId) override {
        if (!IsOpen(handle)) return kMidiErrInvalidHandle;
        deviceId = 0;
        return kMidiNoError;
    }

    MidiResult ShortMsg(MidiOutHandle handle, uint32_t message) override {
        if (!IsOpen(handle)) return kMidiErrInvalidHandle;
        const uint8_t status = static_cast<uint8_t>(message);
        const int length = ShortMessageLength(status);
        if (length == 0) return kMidiErrInvalidParam;
        lastError_ = synth_->Ready();
        if (!lastError_.empty()) return kMidiErrGeneral;
        uint8_t bytes[3];
        for (int i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(message >> (8 * i));
        return SendToSynth(synth_->Calls(), bytes, static_cast<size_t>(length))
                   ? kMidiNoError
                   : kMidiErrInvalidParam;
    }

    MidiResult LongMsg(MidiOutHandle handle, const uint8_t*, size_t) override {
        // System-exclusive messages are not for this synthesizer.
        return IsOpen(handle) ? kMidiErrInvalidParam : kMidiErrInvalidHandle;
    }

    MidiResult Close(MidiOutHandle handle) override {
        auto it = std::find(open_.begin(), open_.end(), handle);
        if (it == open_.end()) return kMidiErrInvalidHandle;
        open_.erase(it);
        synth_->Drain();
        return kMidiNoError;
    }

    MidiResult GetErrorText(MidiResult code, char* text, uint32_t size) override {
        std::string message;
        switch (code) {
            case kMidiErrGeneral:
                message = lastError_.empty() ? "Synthesizer-Fehler" : lastError_;
                break;
            case kMidiErrBadDeviceId:
                message = "Den Synthesizer gibt es nicht";
                break;
            case kMidiErrInvalidHandle:
                message = "Der Synthesizer ist nicht geöffnet";
                break;
            case kMidiErrInvalidParam:
                message = "Ungültige MIDI-Nachricht";
                break;
            default:
                return kMidiErrBadErrorNumber;
        }
        return CopyErrorText(message, text, size);
    }

private:
    bool Exists(uint32_t deviceId) {
        return (deviceId == 0 || deviceId == kMidiMapper) && synth_->Listed();
    }
    bool IsOpen(MidiOutHandle handle) const {
        return std::find(open_.begin(), open_.end(), handle) != open_.end();
    }

    std::unique_ptr<SynthBackend> synth_;
    std::vector<MidiOutHandle> open_;
    MidiOutHandle nextHandle_ = 1;
    std::string lastError_;
};

}  // namespace

std::string DefaultSoundFontPath() {
    const char* chosen = std::getenv("SONAVIX_SOUNDFONT");
    return chosen && *chosen ? chosen : "/usr/share/sounds/sf2/TimGM6mb.sf2";
}

std::vector<std::string> DefaultAudioDrivers() { return {"pulseaudio", "jack", "alsa"}; }

std::shared_ptr<IMidiOutService> CreateSynthMidiOutService(const SynthSetup& setup) {
    return std::make_shared<SynthService>(std::make_unique<LiveSynth>(setup));
}

std::shared_ptr<IMidiOutService> CreateSynthMidiOutService(std::shared_ptr<ISynthCalls> calls) {
    return std::make_shared<SynthService>(std::make_unique<GivenCalls>(std::move(calls)));
}
