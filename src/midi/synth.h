#pragma once
// The built-in synthesizer "Sonavix Synthesizer": FluidSynth with a General
// MIDI SoundFont, either live on the desktop's audio system (a MIDI output
// service of one device) or offline into samples (audio export).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/errors.h"
#include "midi/platform.h"

inline constexpr const char* kSynthDeviceName = "Sonavix Synthesizer";
inline constexpr int kSynthSampleRate = 44100;

// A SoundFont that does not load, or a synthesizer that cannot be set up.
class ESynthError : public EJclMIDIError {
    using EJclMIDIError::EJclMIDIError;
};

// The synthesizer's own calls, which the byte messages become. Channels 0..15.
class ISynthCalls {
public:
    virtual ~ISynthCalls() = default;
    virtual void NoteOn(int channel, int key, int velocity) = 0;
    virtual void NoteOff(int channel, int key) = 0;
    virtual void ProgramChange(int channel, int program) = 0;
    virtual void ControlChange(int channel, int controller, int value) = 0;
    virtual void KeyPressure(int channel, int key, int value) = 0;
    virtual void ChannelPressure(int channel, int value) = 0;
    virtual void PitchBend(int channel, int value) = 0;  // 0..16383, 8192 is the centre
    virtual void SystemReset() = 0;
};

// One short message, as the other back ends take it, turned into its call.
// False for what a synthesizer cannot take: a data byte above 127, a
// message cut short, system messages other than reset.
bool SendToSynth(ISynthCalls& synth, const uint8_t* bytes, size_t count);

// SONAVIX_SOUNDFONT, or else Debian's General MIDI SoundFont.
std::string DefaultSoundFontPath();

// The audio systems a desktop offers, in the order they are tried:
// PulseAudio (PipeWire desktops serve it too), JACK when a server runs, ALSA.
std::vector<std::string> DefaultAudioDrivers();

struct SynthSetup {
    std::string soundFont;
    // FluidSynth driver names, tried in order; "file" writes to /dev/null
    // (an output for tests that needs no sound card).
    std::vector<std::string> audioDrivers;
};

// The live synthesizer as a service of one device, "Sonavix Synthesizer".
// Setting up starts at once in the background; the device list waits for the
// SoundFont's header check and the first audio output that opens (bounded),
// and lists the device only when both succeed. Loading the samples goes on in
// the background; the first message waits for it.
std::shared_ptr<IMidiOutService> CreateSynthMidiOutService(const SynthSetup& setup);

// The same service on given synthesizer calls, always listed (tests).
std::shared_ptr<IMidiOutService> CreateSynthMidiOutService(std::shared_ptr<ISynthCalls> calls);

// ---- offline ----

struct SynthEvent {
    int64_t frame;  // the sample frame at which the message takes effect
    uint8_t status, data1, data2;
};

// Renders frames 0..frameCount-1 of the events (sorted by frame) through the
// SoundFont without an audio device: 44.1 kHz stereo, handed to sink in
// interleaved 16-bit blocks. Every note starts on its exact frame. sink
// returns false to cancel; the result is then false. gain scales the mix
// before it becomes 16-bit. A note is rendered once and its samples are kept
// (as 16-bit steps, finer than the output's) for its later uses, within
// keptBytes; beyond that, the notes needed last are rendered again. The
// render holds at most about 50 MiB of samples beyond keptBytes, however
// many notes sound at once. Throws ESynthError when the SoundFont does not
// load or FluidSynth cannot set up a synthesizer.
inline constexpr size_t kDefaultKeptBytes = size_t{160} << 20;
bool RenderOffline(const std::string& soundFont, const std::vector<SynthEvent>& events,
                   int64_t frameCount,
                   const std::function<bool(const int16_t* samples, size_t frames)>& sink,
                   float gain = 1.0f, size_t keptBytes = kDefaultKeptBytes);
