#pragma once
// What the live synthesizer and the offline render share of FluidSynth: owned
// handles, the common settings, a quiet console and the one forwarder of the
// synthesizer calls. Private to the midi library.
#include <fluidsynth.h>

#include <cstdint>
#include <memory>
#include <string>

#include "midi/synth.h"

template <auto Delete>
struct FluidDelete {
    template <class T>
    void operator()(T* handle) const {
        Delete(handle);
    }
};
using FluidSettings = std::unique_ptr<fluid_settings_t, FluidDelete<delete_fluid_settings>>;
using FluidSynth = std::unique_ptr<fluid_synth_t, FluidDelete<delete_fluid_synth>>;
using FluidDriver = std::unique_ptr<fluid_audio_driver_t, FluidDelete<delete_fluid_audio_driver>>;

// Missing sound systems are an ordinary situation; the libraries would each
// say so on the console. Idempotent.
void SilenceSoundLibraries();

// How many errors FluidSynth has logged since SilenceSoundLibraries. A live
// audio driver that loses its server (PulseAudio killed, JACK stopped) tells
// nobody else.
uint64_t FluidErrorCount();

// The sample rate, gain and dry sound that live and offline play share.
// Throws ESynthError when FluidSynth cannot allocate them.
FluidSettings NewSynthSettings();

std::string SoundFontLoadFailure(const std::string& path);

// The synthesizer calls on one FluidSynth instance.
class FluidCalls : public ISynthCalls {
public:
    explicit FluidCalls(fluid_synth_t* synth = nullptr) : synth_(synth) {}
    void Bind(fluid_synth_t* synth) { synth_ = synth; }
    void NoteOn(int channel, int key, int velocity) override;
    void NoteOff(int channel, int key) override;
    void ProgramChange(int channel, int program) override;
    void ControlChange(int channel, int controller, int value) override;
    void KeyPressure(int channel, int key, int value) override;
    void ChannelPressure(int channel, int value) override;
    void PitchBend(int channel, int value) override;
    void SystemReset() override;

private:
    fluid_synth_t* synth_;
};
