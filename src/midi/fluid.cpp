#include "midi/fluid.h"

#include <alsa/asoundlib.h>
#include <glib.h>
#include <jack/jack.h>

#include <atomic>
#include <mutex>

#include "common/messages.h"
#include "common/quote.h"

namespace {
// Louder than FluidSynth's 0.2: a melody is one voice at a time, and its peaks stay
// well below full scale (about -15 dBFS at velocity 110).
constexpr double kSynthGain = 1.0;

std::atomic<uint64_t> fluidErrors{0};

extern "C" void QuietFluid(int, const char*, void*) {}
// An audio driver whose server went away says so only here, from its own thread.
extern "C" void CountFluidError(int, const char*, void*) { fluidErrors.fetch_add(1); }
extern "C" void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
extern "C" void QuietJack(const char*) {}
extern "C" void QuietGlib(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}
}  // namespace

// The synthesizer's absence from the device list says it instead. A broken
// SoundFont makes FluidSynth's DLS loader (libinstpatch) complain through GLib
// without a log domain.
void SilenceSoundLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level = 0; level < LAST_LOG_LEVEL; ++level)
            fluid_set_log_function(level, level <= FLUID_ERR ? CountFluidError : QuietFluid,
                                   nullptr);
        snd_lib_error_set_handler(QuietAlsa);
        jack_set_error_function(QuietJack);
        jack_set_info_function(QuietJack);
        const auto levels =
            static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION);
        for (const char* domain : {static_cast<const char*>(nullptr), "libInstPatch"})
            g_log_set_handler(domain, levels, QuietGlib, nullptr);
    });
}

uint64_t FluidErrorCount() { return fluidErrors.load(); }

FluidSettings NewSynthSettings() {
    FluidSettings settings(new_fluid_settings());
    if (!settings) throw ESynthError(msg::SynthSetupFailed);
    fluid_settings_setnum(settings.get(), "synth.sample-rate", kSynthSampleRate);
    fluid_settings_setnum(settings.get(), "synth.gain", kSynthGain);
    // Dry, as the offline render must be, so both sound alike.
    fluid_settings_setint(settings.get(), "synth.reverb.active", 0);
    fluid_settings_setint(settings.get(), "synth.chorus.active", 0);
    return settings;
}

std::string SoundFontLoadFailure(const std::string& path) {
    // The whole sentence fits an error text buffer; the path gives way, from its front.
    const std::string before = "Die SoundFont \"", after = "\" lässt sich nicht laden";
    return before + QuotedTail(path, MAXERRORLENGTH - 1 - before.size() - after.size()) + after;
}

void FluidCalls::NoteOn(int channel, int key, int velocity) {
    fluid_synth_noteon(synth_, channel, key, velocity);
}
void FluidCalls::NoteOff(int channel, int key) { fluid_synth_noteoff(synth_, channel, key); }
void FluidCalls::ProgramChange(int channel, int program) {
    fluid_synth_program_change(synth_, channel, program);
}
void FluidCalls::ControlChange(int channel, int controller, int value) {
    fluid_synth_cc(synth_, channel, controller, value);
}
void FluidCalls::KeyPressure(int channel, int key, int value) {
    fluid_synth_key_pressure(synth_, channel, key, value);
}
void FluidCalls::ChannelPressure(int channel, int value) {
    fluid_synth_channel_pressure(synth_, channel, value);
}
void FluidCalls::PitchBend(int channel, int value) {
    fluid_synth_pitch_bend(synth_, channel, value);
}
void FluidCalls::SystemReset() { fluid_synth_system_reset(synth_); }
