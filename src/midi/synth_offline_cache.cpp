#include "midi/synth_offline_cache.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <new>

#include "common/messages.h"
#include "midi/synth_offline_add.h"

namespace offline {
namespace {

// A note alone needs few voices, and a synthesizer of few is quick to set up.
constexpr int kSoloVoices = 16;
// The live notes of one place in the block rarely sound more than a few
// voices; each voice a synthesizer has costs memory.
constexpr int kLiveVoices = 64;
// A note kept for reuse is held and dies away within this (30 s); a longer one is played live.
constexpr int64_t kMaxSoloFrames = 30 * int64_t{kSynthSampleRate};

// Far below a 16-bit step (2^-15): a right channel this close to the scaled
// left one is kept as the scale.
constexpr float kMonoError = 1.0f / (1 << 22);

// An exclusive class stops other notes; a note of more voices than a solo
// synthesizer has would lose some.
bool ActsOnOthers(fluid_synth_t* synth) {
    std::array<fluid_voice_t*, kSoloVoices> voices{};
    fluid_synth_get_voicelist(synth, voices.data(), kSoloVoices, -1);
    return fluid_synth_get_active_voice_count(synth) >= kSoloVoices ||
           std::any_of(voices.begin(), voices.end(), [](fluid_voice_t* voice) {
               return voice && fluid_voice_gen_get(voice, GEN_EXCLUSIVECLASS) != 0;
           });
}

constexpr int kReverbSend = 91, kChorusSend = 93;  // controller numbers

// From here on a sound's samples are pages of their own (64 KiB: 0.7 s of a panned note).
constexpr size_t kPagesFrom = size_t{64} << 10;

}  // namespace

void* TakePages(size_t bytes) {
    if (bytes < kPagesFrom) return ::operator new(bytes);
    // Populated at once: every page is written next, and one call is cheaper than a fault each.
    void* at = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (at == MAP_FAILED) throw std::bad_alloc();
    return at;
}

void GivePages(void* at, size_t bytes) noexcept {
    if (bytes < kPagesFrom)
        ::operator delete(at);
    else
        munmap(at, bytes);
}

SoundFontSynths::SoundFontSynths(const std::string& soundFont)
    : settings_(NewSynthSettings()), soloSettings_(NewSynthSettings()) {
    fluid_settings_setint(settings_.get(), "synth.polyphony", kLiveVoices);
    fluid_settings_setint(soloSettings_.get(), "synth.polyphony", kSoloVoices);
    owner_.reset(new_fluid_synth(settings_.get()));
    if (!owner_) throw ESynthError(msg::SynthSetupFailed);
    const int id = fluid_is_soundfont(soundFont.c_str())
                       ? fluid_synth_sfload(owner_.get(), soundFont.c_str(), 1)
                       : FLUID_FAILED;
    if (id == FLUID_FAILED) throw ESynthError(SoundFontLoadFailure(soundFont));
    sfont_ = fluid_synth_get_sfont_by_id(owner_.get(), id);
}

SharedSynth SoundFontSynths::Make(const FluidSettings& settings) const {
    SharedSynth synth(new_fluid_synth(settings.get()), LetGo{sfont_});
    if (!synth || fluid_synth_add_sfont(synth.get(), sfont_) == FLUID_FAILED)
        throw ESynthError(msg::SynthSetupFailed);
    // With reverb and chorus off FluidSynth still mixes every voice into
    // their sends, which costs a quarter of its time; the dry sound is the same
    // without them.
    for (int channel = 0; channel < 16; ++channel) {
        fluid_synth_cc(synth.get(), channel, kReverbSend, 0);
        fluid_synth_cc(synth.get(), channel, kChorusSend, 0);
    }
    return synth;
}

void AddFrames(fluid_synth_t* synth, int64_t count, float* left, float* right) {
    for (int64_t done = 0; done < count;) {
        const int n = static_cast<int>(std::min(count - done, kChunk));
        float* out[2] = {left + done, right + done};
        fluid_synth_process(synth, n, 0, nullptr, 2, out);
        done += n;
    }
}

void DropFrames(fluid_synth_t* synth, int64_t count) {
    static thread_local std::array<float, size_t{2} * kBlock> scratch;
    for (; count > 0; count -= kBlock)
        AddFrames(synth, std::min<int64_t>(count, kBlock), scratch.data(), scratch.data() + kBlock);
}

std::shared_ptr<const Sound> SoloNotes::Render(const NoteKey& note) {
    if (note.blocks * kBlock > kMaxSoloFrames) return nullptr;
    if (left_.capacity() > size_t{4} * kChunk) {
        // A long note's room goes back; most notes need a few seconds.
        left_ = {};
        right_ = {};
    }
    const SharedSynth owned = synths_.Solo();
    fluid_synth_t* synth = owned.get();
    fluid_synth_program_change(synth, note.channel, note.program);
    if (note.pan >= 0) fluid_synth_cc(synth, note.channel, kPanControllerNumber, note.pan);
    fluid_synth_noteon(synth, note.channel, note.key, note.velocity);
    if (ActsOnOthers(synth)) return nullptr;
    int64_t frames = Append(synth, 0, note.blocks * kBlock);
    fluid_synth_noteoff(synth, note.channel, note.key);
    while (fluid_synth_get_active_voice_count(synth) > 0) {
        if (frames >= kMaxSoloFrames) return nullptr;
        frames = Append(synth, frames, int64_t{16} * kBlock);
    }
    return Keep(frames);
}

int64_t SoloNotes::Append(fluid_synth_t* synth, int64_t at, int64_t count) {
    const auto end = static_cast<size_t>(at + count);
    if (left_.size() < end) {
        // In whole windows, not doubled: a long note should not leave twice its room behind.
        const size_t room = (end + kChunk - 1) / kChunk * kChunk;
        left_.reserve(room);
        right_.reserve(room);
        left_.resize(end);
        right_.resize(end);
    }
    // Written, not added: the room needs no clearing first.
    fluid_synth_write_float(synth, static_cast<int>(count), left_.data(), static_cast<int>(at), 1,
                            right_.data(), static_cast<int>(at), 1);
    return at + count;
}

Sound::Sound(SoundBytes& bytes, int64_t frames, bool isPanned)
    : samples(static_cast<size_t>(isPanned ? frames : 2 * frames)),
      panned(isPanned),
      counted_(bytes) {
    counted_ += static_cast<int64_t>(Bytes());
}

std::shared_ptr<const Sound> SoloNotes::Keep(int64_t frames) const {
    const float *left = left_.data(), *right = right_.data();
    const float peakLeft = Peak(left, frames), peakRight = Peak(right, frames);
    const int64_t loudest =
        std::find_if(left, left + frames, [&](float x) { return std::fabs(x) == peakLeft; }) - left;
    const float gain = peakLeft != 0.0f ? right[loudest] / left[loudest] : 0.0f;
    const bool panned = Scales(left, right, gain, kMonoError, frames);

    // The finest power-of-two step that holds the loudest sample in 16 bits.
    const float peak = panned ? peakLeft : std::max(peakLeft, peakRight);
    int exponent = 0;
    std::frexp(peak, &exponent);
    int shift = 15 - exponent;
    if (std::lrint(std::ldexp(peak, shift)) > 32767) --shift;
    const float scale = std::ldexp(1.0f, shift);
    // The samples that round to nothing at the end are left out.
    const float nothing = 0.5f / scale;
    while (frames > 0 && std::fabs(left[frames - 1]) < nothing &&
           (panned || std::fabs(right[frames - 1]) < nothing))
        --frames;

    auto sound = std::make_shared<Sound>(bytes_, frames, panned);
    ToSteps(left, scale, sound->samples.data(), frames);
    if (!panned) ToSteps(right, scale, sound->samples.data() + frames, frames);
    sound->leftGain = 1.0f / scale;
    sound->rightGain = panned ? gain / scale : 1.0f / scale;
    return sound;
}

void KeptNotes::Limit(std::vector<DistinctNote>& notes, size_t keptBytes) {
    if (bytes_ <= keptBytes) return;
    while (bytes_ > keptBytes - keptBytes / 8) {
        DistinctNote* last = nullptr;
        for (DistinctNote& n : notes)
            if (n.sound && (!last || n.uses[n.started] > last->uses[last->started])) last = &n;
        if (!last) return;
        Drop(*last);
    }
}

void KeptNotes::Drop(DistinctNote& note) {
    bytes_ -= note.sound->Bytes();
    note.sound.reset();
}

}  // namespace offline
