#include "midi/synth.h"

#include <alsa/asoundlib.h>
#include <fluidsynth.h>
#include <glib.h>
#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Louder than FluidSynth's 0.2: a melody is one voice at a time, and its peaks stay
// well below full scale (about -15 dBFS at velocity 110).
constexpr double kSynthGain = 1.0;
// About 10 ms of output buffering (448 frames at 44.1 kHz). PulseAudio's
// driver takes one period as its whole buffer, ALSA's a number of periods.
constexpr int kBufferFrames = 448, kAlsaPeriods = 4;
// How long the device list waits for an audio output to open.
constexpr auto kDecisionWait = 5s;
// How long the first message waits for the samples to load.
constexpr auto kLoadWait = 30s;
// After the last message a closing device lets the release ring this long.
constexpr auto kReleaseRing = 300ms;

extern "C" void QuietFluid(int, const char*, void*) {}
extern "C" void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
extern "C" void QuietJack(const char*) {}
extern "C" void QuietGlib(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// Missing sound systems are an ordinary situation: FluidSynth, ALSA and JACK
// would each say so on the console. The synthesizer's absence from the device
// list says it instead. A broken SoundFont makes FluidSynth's DLS loader
// (libinstpatch) complain through GLib without a log domain.
void SilenceSoundLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level = 0; level < LAST_LOG_LEVEL; ++level)
            fluid_set_log_function(level, QuietFluid, nullptr);
        snd_lib_error_set_handler(QuietAlsa);
        jack_set_error_function(QuietJack);
        jack_set_info_function(QuietJack);
        const auto levels =
            static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION);
        for (const char* domain : {static_cast<const char*>(nullptr), "libInstPatch"})
            g_log_set_handler(domain, levels, QuietGlib, nullptr);
    });
}

// FluidSynth's JACK driver would start a server of its own; only a running one counts.
bool JackServerRuns() {
    jack_status_t status;
    jack_client_t* client = jack_client_open("Sonavix probe", JackNoStartServer, &status);
    if (!client) return false;
    jack_client_close(client);
    return true;
}

fluid_settings_t* NewSettings() {
    fluid_settings_t* settings = new_fluid_settings();
    if (!settings) throw ESynthError("Der Synthesizer lässt sich nicht einrichten");
    fluid_settings_setnum(settings, "synth.sample-rate", kSynthSampleRate);
    fluid_settings_setnum(settings, "synth.gain", kSynthGain);
    // Dry, as the offline render must be (see RenderOffline), so both sound alike.
    fluid_settings_setint(settings, "synth.reverb.active", 0);
    fluid_settings_setint(settings, "synth.chorus.active", 0);
    return settings;
}

std::string LoadFailure(const std::string& path) {
    return "Die SoundFont \"" + path + "\" lässt sich nicht laden";
}

class FluidCalls : public ISynthCalls {
public:
    explicit FluidCalls(fluid_synth_t* synth = nullptr) : synth_(synth) {}
    void Bind(fluid_synth_t* synth) { synth_ = synth; }
    void NoteOn(int channel, int key, int velocity) override {
        fluid_synth_noteon(synth_, channel, key, velocity);
    }
    void NoteOff(int channel, int key) override { fluid_synth_noteoff(synth_, channel, key); }
    void ProgramChange(int channel, int program) override {
        fluid_synth_program_change(synth_, channel, program);
    }
    void ControlChange(int channel, int controller, int value) override {
        fluid_synth_cc(synth_, channel, controller, value);
    }
    void KeyPressure(int channel, int key, int value) override {
        fluid_synth_key_pressure(synth_, channel, key, value);
    }
    void ChannelPressure(int channel, int value) override {
        fluid_synth_channel_pressure(synth_, channel, value);
    }
    void PitchBend(int channel, int value) override {
        fluid_synth_pitch_bend(synth_, channel, value);
    }
    void SystemReset() override { fluid_synth_system_reset(synth_); }

private:
    fluid_synth_t* synth_;
};

// ---- the live synthesizer ----

// What the service needs of a synthesizer besides its calls.
class SynthBackend : public ISynthCalls {
public:
    virtual bool Listed() = 0;
    // "" when the synthesizer can take messages, else why not (in German).
    virtual std::string Ready() = 0;
    // Called when the device closes.
    virtual void Drain() {}
};

// Everything the set-up thread touches; shared so that a thread that outlives
// the service (an audio system that never answers) still has it.
struct LiveState {
    std::mutex mutex;
    std::condition_variable changed;
    enum { Deciding, Listed, Unlisted } phase = Deciding;
    bool loaded = false;
    std::string loadError;
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_audio_driver_t* driver = nullptr;

    ~LiveState() {
        if (driver) delete_fluid_audio_driver(driver);
        if (synth) delete_fluid_synth(synth);
        if (settings) delete_fluid_settings(settings);
    }

    void Decide(bool listed) {
        std::lock_guard lock(mutex);
        phase = listed ? Listed : Unlisted;
        changed.notify_all();
    }

    static void Prepare(const std::shared_ptr<LiveState>& state, const SynthSetup& setup) {
        SilenceSoundLibraries();
        const std::string& path = setup.soundFont;
        // The header check is quick; the samples load after the decision.
        if (path.empty() || !fluid_is_soundfont(path.c_str())) return state->Decide(false);
        try {
            state->settings = NewSettings();
        } catch (const ESynthError&) {
            return state->Decide(false);
        }
        fluid_settings_t* settings = state->settings;
        fluid_settings_setstr(settings, "audio.jack.id", kSynthDeviceName);
        fluid_settings_setint(settings, "audio.jack.autoconnect", 1);
        fluid_settings_setstr(settings, "audio.file.name", "/dev/null");
        state->synth = new_fluid_synth(settings);
        if (!state->synth) return state->Decide(false);
        for (const std::string& driver : setup.audioDrivers) {
            if (driver == "jack" && !JackServerRuns()) continue;
            if (fluid_settings_setstr(settings, "audio.driver", driver.c_str()) != FLUID_OK)
                continue;
            const bool pulse = driver == "pulseaudio";
            fluid_settings_setint(settings, "audio.period-size",
                                  pulse ? kBufferFrames : kBufferFrames / kAlsaPeriods);
            fluid_settings_setint(settings, "audio.periods", pulse ? 2 : kAlsaPeriods);
            state->driver = new_fluid_audio_driver(settings, state->synth);
            if (state->driver) break;
        }
        state->Decide(state->driver != nullptr);
        if (!state->driver) return;
        const bool loaded = fluid_synth_sfload(state->synth, path.c_str(), 1) != FLUID_FAILED;
        std::lock_guard lock(state->mutex);
        state->loaded = true;
        if (!loaded) state->loadError = LoadFailure(path);
        state->changed.notify_all();
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
        std::unique_lock lock(state_->mutex);
        state_->changed.wait_for(lock, kDecisionWait,
                                 [&] { return state_->phase != LiveState::Deciding; });
        return state_->phase == LiveState::Listed;
    }

    std::string Ready() override {
        if (!Listed()) return "Der Synthesizer hat keine Audioausgabe";
        std::unique_lock lock(state_->mutex);
        if (!state_->changed.wait_for(lock, kLoadWait, [&] { return state_->loaded; }))
            return "Die SoundFont lädt noch";
        if (!state_->loadError.empty()) return state_->loadError;
        calls_.Bind(state_->synth);
        lastMessage_ = Clock::now();
        return "";
    }

    void Drain() override {
        if (lastMessage_ == Clock::time_point{}) return;
        std::this_thread::sleep_until(lastMessage_ + kReleaseRing);
    }

    void NoteOn(int c, int k, int v) override { calls_.NoteOn(c, k, v); }
    void NoteOff(int c, int k) override { calls_.NoteOff(c, k); }
    void ProgramChange(int c, int p) override { calls_.ProgramChange(c, p); }
    void ControlChange(int c, int n, int v) override { calls_.ControlChange(c, n, v); }
    void KeyPressure(int c, int k, int v) override { calls_.KeyPressure(c, k, v); }
    void ChannelPressure(int c, int v) override { calls_.ChannelPressure(c, v); }
    void PitchBend(int c, int v) override { calls_.PitchBend(c, v); }
    void SystemReset() override { calls_.SystemReset(); }

private:
    std::shared_ptr<LiveState> state_;
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
    void NoteOn(int c, int k, int v) override { calls_->NoteOn(c, k, v); }
    void NoteOff(int c, int k) override { calls_->NoteOff(c, k); }
    void ProgramChange(int c, int p) override { calls_->ProgramChange(c, p); }
    void ControlChange(int c, int n, int v) override { calls_->ControlChange(c, n, v); }
    void KeyPressure(int c, int k, int v) override { calls_->KeyPressure(c, k, v); }
    void ChannelPressure(int c, int v) override { calls_->ChannelPressure(c, v); }
    void PitchBend(int c, int v) override { calls_->PitchBend(c, v); }
    void SystemReset() override { calls_->SystemReset(); }

private:
    std::shared_ptr<ISynthCalls> calls_;
};

class SynthService : public IMidiOutService {
public:
    explicit SynthService(std::unique_ptr<SynthBackend> synth) : synth_(std::move(synth)) {}

    uint32_t GetNumDevs() override { return synth_->Listed() ? 1 : 0; }

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
        return SendToSynth(*synth_, bytes, static_cast<size_t>(length)) ? kMidiNoError
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

bool SendToSynth(ISynthCalls& synth, const uint8_t* bytes, size_t count) {
    if (count == 0) return false;
    const uint8_t status = bytes[0];
    const int length = ShortMessageLength(status);
    if (length == 0 || count < static_cast<size_t>(length)) return false;
    for (int i = 1; i < length; ++i)
        if (bytes[i] > 127) return false;
    const int channel = status & 0x0F;
    const int data1 = length > 1 ? bytes[1] : 0, data2 = length > 2 ? bytes[2] : 0;
    switch (status & 0xF0) {
        case 0x80:
            synth.NoteOff(channel, data1);
            return true;
        case 0x90:
            // Velocity 0 is the usual shorthand for Note Off.
            if (data2 == 0)
                synth.NoteOff(channel, data1);
            else
                synth.NoteOn(channel, data1, data2);
            return true;
        case 0xA0:
            synth.KeyPressure(channel, data1, data2);
            return true;
        case 0xB0:
            synth.ControlChange(channel, data1, data2);
            return true;
        case 0xC0:
            synth.ProgramChange(channel, data1);
            return true;
        case 0xD0:
            synth.ChannelPressure(channel, data1);
            return true;
        case 0xE0:
            synth.PitchBend(channel, data1 | (data2 << 7));
            return true;
        default:
            if (status == 0xFF) {
                synth.SystemReset();
                return true;
            }
            return false;  // clock, song position and the like mean nothing here
    }
}

std::string DefaultSoundFontPath() {
    const char* chosen = std::getenv("SONAVIX_SOUNDFONT");
    return chosen && *chosen ? chosen : "/usr/share/sounds/sf2/TimGM6mb.sf2";
}

std::vector<std::string> DefaultAudioDrivers() { return {"pulseaudio", "jack", "alsa"}; }

std::shared_ptr<IMidiOutService> CreateSynthMidiOutService(SynthSetup setup) {
    return std::make_shared<SynthService>(std::make_unique<LiveSynth>(setup));
}

std::shared_ptr<IMidiOutService> CreateSynthMidiOutService(std::shared_ptr<ISynthCalls> calls) {
    return std::make_shared<SynthService>(std::make_unique<GivenCalls>(std::move(calls)));
}

// ---- offline ----

namespace {

// FluidSynth computes in blocks of 64 frames, and a message takes effect at
// the next block, which would move a note's start by up to 63 frames. So each
// note gets a synthesizer of its own whose blocks begin on that note's first
// frame; the synthesizers share the one loaded SoundFont, and a synthesizer
// whose note has died away takes the next note. Their outputs add up to what
// one synthesizer would play, as FluidSynth mixes voices by adding them (the
// dry sound: reverb and chorus would not add up this way).
class NotePool {
public:
    explicit NotePool(const std::string& soundFont) : settings_(NewSettings()) {
        // A melody needs few voices at once; fewer make a synthesizer cheap to create.
        fluid_settings_setint(settings_, "synth.polyphony", 32);
        first_ = new_fluid_synth(settings_);
        if (!first_) throw ESynthError("Der Synthesizer lässt sich nicht einrichten");
        const int id = fluid_is_soundfont(soundFont.c_str())
                           ? fluid_synth_sfload(first_, soundFont.c_str(), 1)
                           : FLUID_FAILED;
        if (id == FLUID_FAILED) {
            Free();
            throw ESynthError(LoadFailure(soundFont));
        }
        sfont_ = fluid_synth_get_sfont_by_id(first_, id);
        voices_.push_back({first_});
    }
    ~NotePool() { Free(); }
    NotePool(const NotePool&) = delete;
    NotePool& operator=(const NotePool&) = delete;

    // Adds the next count frames of every sounding synthesizer to left/right.
    void Render(int64_t count, float* left, float* right) {
        for (Voice& v : voices_) {
            if (!v.busy) continue;
            for (int64_t done = 0; done < count;) {
                const int n = static_cast<int>(std::min<int64_t>(count - done, kScratch));
                float* out[2] = {left + done, right + done};
                fluid_synth_process(v.synth, n, 0, nullptr, 2, out);  // adds to out
                done += n;
                v.rendered += n;
            }
        }
        for (Voice& v : voices_)
            if (v.busy && v.held == 0 && fluid_synth_get_active_voice_count(v.synth) == 0)
                v.busy = false;
    }

    void Apply(const SynthEvent& e) {
        const uint8_t bytes[3] = {e.status, e.data1, e.data2};
        const int type = e.status & 0xF0;
        const int key = (e.status & 0x0F) << 8 | e.data1;
        if (type == 0x90 && e.data2 > 0) {
            auto held = holder_.find(key);
            if (held != holder_.end()) Release(held);
            Voice& v = Idle();
            FluidCalls calls(v.synth);
            SendToSynth(calls, bytes, 3);
            v.busy = true;
            ++v.held;
            holder_[key] = &v - voices_.data();
        } else if (type == 0x80 || type == 0x90) {
            auto held = holder_.find(key);
            if (held != holder_.end()) Release(held);
        } else {
            // Programs, controllers and the like concern every synthesizer,
            // and those still to come.
            state_.push_back(e);
            for (Voice& v : voices_) {
                FluidCalls calls(v.synth);
                SendToSynth(calls, bytes, 3);
            }
        }
    }

private:
    static constexpr int kScratch = 4096;
    static constexpr size_t kMaxSynths = 64;
    struct Voice {
        fluid_synth_t* synth;
        bool busy = false;
        int held = 0;          // notes held on
        int64_t rendered = 0;  // frames since its creation
    };

    void Release(std::map<int, size_t>::iterator held) {
        Voice& v = voices_[held->second];
        fluid_synth_noteoff(v.synth, held->first >> 8, held->first & 0xFF);
        --v.held;
        holder_.erase(held);
    }

    // A silent synthesizer whose next block begins now.
    Voice& Idle() {
        for (Voice& v : voices_) {
            if (v.busy) continue;
            // Drop the rest of its current block (silence), so that the next begins now.
            const int rest = static_cast<int>((64 - v.rendered % 64) % 64);
            if (rest > 0) {
                float* out[2] = {scratchL_, scratchR_};
                fluid_synth_process(v.synth, rest, 0, nullptr, 2, out);
                v.rendered += rest;
            }
            return v;
        }
        if (voices_.size() >= kMaxSynths) return voices_.front();  // rather late than lost
        fluid_synth_t* synth = new_fluid_synth(settings_);
        if (!synth) return voices_.front();
        fluid_synth_add_sfont(synth, sfont_);
        for (const SynthEvent& e : state_) {
            const uint8_t bytes[3] = {e.status, e.data1, e.data2};
            FluidCalls calls(synth);
            SendToSynth(calls, bytes, 3);
        }
        voices_.push_back({synth});
        // The holders keep indices, so the vector may move.
        return voices_.back();
    }

    void Free() {
        // The first synthesizer owns the SoundFont: the others let go of it first.
        for (Voice& v : voices_) {
            if (v.synth == first_) continue;
            fluid_synth_remove_sfont(v.synth, sfont_);
            delete_fluid_synth(v.synth);
        }
        voices_.clear();
        if (first_) delete_fluid_synth(first_);
        first_ = nullptr;
        if (settings_) delete_fluid_settings(settings_);
        settings_ = nullptr;
    }

    fluid_settings_t* settings_;
    fluid_synth_t* first_ = nullptr;
    fluid_sfont_t* sfont_ = nullptr;
    std::vector<Voice> voices_;
    std::map<int, size_t> holder_;  // channel << 8 | key -> index in voices_
    std::vector<SynthEvent> state_;
    float scratchL_[kScratch], scratchR_[kScratch];
};

int16_t ToSample(float value) {
    const float scaled = value * 32768.0f;
    return static_cast<int16_t>(std::clamp(std::lrint(scaled), -32768L, 32767L));
}

}  // namespace

bool RenderOffline(const std::string& soundFont, const std::vector<SynthEvent>& events,
                   int64_t frameCount,
                   const std::function<bool(const int16_t* samples, size_t frames)>& sink) {
    SilenceSoundLibraries();
    NotePool pool(soundFont);
    constexpr int64_t kChunk = 4096;
    std::vector<float> left(kChunk), right(kChunk);
    std::vector<int16_t> out(2 * kChunk);
    size_t next = 0;
    for (int64_t at = 0; at < frameCount;) {
        while (next < events.size() && events[next].frame <= at) pool.Apply(events[next++]);
        int64_t until = std::min(frameCount, at + kChunk);
        if (next < events.size()) until = std::min(until, events[next].frame);
        const int64_t count = until - at;
        std::fill_n(left.begin(), count, 0.0f);
        std::fill_n(right.begin(), count, 0.0f);
        pool.Render(count, left.data(), right.data());
        for (int64_t i = 0; i < count; ++i) {
            out[2 * i] = ToSample(left[i]);
            out[2 * i + 1] = ToSample(right[i]);
        }
        if (!sink(out.data(), static_cast<size_t>(count))) return false;
        at = until;
    }
    return true;
}
