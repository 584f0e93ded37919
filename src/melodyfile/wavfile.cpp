#include "melodyfile/wavfile.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "common/file_write.h"
#include "common/messages.h"
#include "common/text.h"
#include "midi/midinote.h"

// WAV samples are little-endian, and so are the rendered ones here.
static_assert(std::endian::native == std::endian::little);

namespace {
constexpr int kChannels = 2, kBytesPerSample = 2;
constexpr int kFrameBytes = kChannels * kBytesPerSample;
constexpr int64_t kHeaderBytes = 44;
// The RIFF sizes are 32-bit: about 6 h 45 min of sound.
constexpr int64_t kMaxFrames = (0xFFFFFFFFLL - (kHeaderBytes - 8)) / kFrameBytes;
// The tail fades out over its last part, so that the file does not end in a click.
constexpr int kFadeMs = 50;

void PutLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> Header(int64_t frames) {
    const uint32_t data = static_cast<uint32_t>(frames * kFrameBytes);
    std::vector<uint8_t> h = {'R', 'I', 'F', 'F'};
    PutLittleEndian(h, data + kHeaderBytes - 8, 4);
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLittleEndian(h, 16, 4);
    PutLittleEndian(h, 1, 2);  // PCM
    PutLittleEndian(h, kChannels, 2);
    PutLittleEndian(h, kSynthSampleRate, 4);
    PutLittleEndian(h, kSynthSampleRate * kFrameBytes, 4);
    PutLittleEndian(h, kFrameBytes, 2);
    PutLittleEndian(h, 8 * kBytesPerSample, 2);
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    PutLittleEndian(h, data, 4);
    return h;
}
}  // namespace

RenderScore WavScore(const MelodyTimeline& melody, int program) {
    if (program < 0 || program > 127) throw EWavFileError(msg::InvalidInstrument(program));
    if (WavFrameAt(melody.EndMs() + kWavReleaseMs) > kMaxFrames)
        throw EWavFileError(
            "Die Melodie ist für eine WAV-Datei zu lang (höchstens 6 Stunden und 45 Minuten)");
    RenderScore score{{{0, static_cast<uint8_t>(0xC0), static_cast<uint8_t>(program), 0}}, 0};
    PanFollower pan;
    for (const NoteEvent& note : melody.Events()) {
        if (!note.Sounds()) continue;  // a rest is only time
        const uint8_t key = KeyNote(note.Key);
        const uint8_t velocity = note.Velocity.value_or(kNoteVelocity);
        const int64_t start = WavFrameAt(note.StartMs);
        if (const std::optional<uint8_t> controller = pan.Before(note.Pan))
            score.events.push_back({start, 0xB0, kPanController, *controller});
        score.events.push_back({start, 0x90, key, velocity});
        score.events.push_back({WavFrameAt(note.EndMs()), 0x80, key, velocity});
    }
    score.frames = WavFrameAt(melody.EndMs() + kWavReleaseMs);
    return score;
}

RenderScore WavScore(const std::vector<MelodyNote>& melody, int program) {
    return WavScore(TimelineFor<EWavFileError>(melody), program);
}

namespace {
// Thrown out of the file's producer when the user cancels, so that the
// target stays as it was.
struct RenderCancelled {};
}  // namespace

bool WriteWavFile(const std::string& path, const std::vector<MelodyNote>& melody, int program,
                  const std::function<bool(double)>& progress, const std::string& soundFont) {
    return WriteWavFile(path, TimelineFor<EWavFileError>(melody), program, progress, soundFont);
}

bool WriteWavFile(const std::string& path, const MelodyTimeline& melody, int program,
                  const std::function<bool(double)>& progress, const std::string& soundFont) {
    return WriteWavScore(path, WavScore(melody, program), progress, soundFont);
}

RenderScore EnsembleWavScore(const std::vector<EnsembleVoice>& voices) {
    const EnsembleTimeline timeline = BuildEnsembleTimeline(voices);
    if (WavFrameAtUs(timeline.EndUs + int64_t{kWavReleaseMs} * 1000) > kMaxFrames)
        throw EWavFileError(
            "Die Stimmen sind für eine WAV-Datei zu lang (höchstens 6 Stunden und 45 Minuten)");
    RenderScore score{{}, WavFrameAtUs(timeline.EndUs + int64_t{kWavReleaseMs} * 1000)};
    // Voices add up: each is as loud as a melody alone, and together they would clip.
    size_t audible = 0;
    for (size_t v = 0; v < voices.size(); ++v) audible += VoiceAudible(voices, v) ? 1 : 0;
    score.gain = audible > 1 ? static_cast<float>(1.0 / std::sqrt(double(audible))) : 1.0f;
    score.events.reserve(timeline.Programs.size() + timeline.Events.size());
    for (const auto& [channel, program] : timeline.Programs)
        score.events.push_back({0, static_cast<uint8_t>(0xC0 | (channel - 1)), program, 0});
    for (const EnsembleEvent& e : timeline.Events) {
        if (e.PanController)
            score.events.push_back({WavFrameAtUs(e.TimeUs),
                                    static_cast<uint8_t>(0xB0 | (e.Channel - 1)), kPanController,
                                    *e.PanController});
        score.events.push_back({WavFrameAtUs(e.TimeUs),
                                static_cast<uint8_t>((e.On ? 0x90 : 0x80) | (e.Channel - 1)),
                                e.Note, e.Velocity});
    }
    return score;
}

bool WriteEnsembleWavFile(const std::string& path, const std::vector<EnsembleVoice>& voices,
                          const std::function<bool(double)>& progress,
                          const std::string& soundFont) {
    return WriteWavScore(path, EnsembleWavScore(voices), progress, soundFont);
}

bool RenderScoreSamples(const RenderScore& score,
                        const std::function<bool(const int16_t*, size_t)>& sink,
                        const std::string& soundFont) {
    const int64_t fadeFrom = score.frames - WavFrameAt(kFadeMs);
    int64_t done = 0;
    std::vector<int16_t> faded;
    return RenderOffline(
        soundFont, score.events, score.frames,
        [&](const int16_t* samples, size_t frames) {
            const int64_t end = done + static_cast<int64_t>(frames);
            if (end > fadeFrom) {
                faded.assign(samples, samples + 2 * frames);
                for (int64_t f = std::max(done, fadeFrom); f < end; ++f) {
                    const double gain = double(score.frames - f) / double(score.frames - fadeFrom);
                    for (int c = 0; c < kChannels; ++c) {
                        int16_t& s = faded[2 * (f - done) + c];
                        s = static_cast<int16_t>(s * gain);
                    }
                }
                samples = faded.data();
            }
            done = end;
            return sink(samples, frames);
        },
        score.gain);
}

bool WriteWavScore(const std::string& path, const RenderScore& score,
                   const std::function<bool(double)>& progress, const std::string& soundFont) {
    try {
        WriteFileAtomically(path, [&](const FileChunkWriter& put) {
            const std::vector<uint8_t> header = Header(score.frames);
            put(header.data(), header.size());
            int64_t done = 0;
            const bool complete = RenderScoreSamples(
                score,
                [&](const int16_t* samples, size_t frames) {
                    put(samples, frames * kFrameBytes);
                    done += static_cast<int64_t>(frames);
                    return !progress || progress(double(done) / double(score.frames));
                },
                soundFont);
            if (!complete) throw RenderCancelled{};
        });
    } catch (const RenderCancelled&) {
        return false;
    }
    return true;
}
