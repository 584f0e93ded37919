#include "melodyfile/audiofile.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "common/file_write.h"
#include "common/system_error.h"
#include "common/termination.h"

namespace {

// The bit rates of MPEG-1 Layer III, which 44.1 kHz is.
constexpr std::array<int, 14> kMp3Bitrates = {32,  40,  48,  56,  64,  80,  96,
                                              112, 128, 160, 192, 224, 256, 320};

double Clamped(double quality) {
    if (!(quality >= 0)) return 0;  // NaN too
    return quality > 1 ? 1 : quality;
}

const char* CodecName(AudioCodec codec) {
    switch (codec) {
        case AudioCodec::Flac:
            return "FLAC";
        case AudioCodec::Vorbis:
            return "Ogg Vorbis";
        case AudioCodec::Mp3:
            break;
    }
    return "MP3";
}

int FormatOf(AudioCodec codec) {
    switch (codec) {
        case AudioCodec::Flac:
            return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        case AudioCodec::Vorbis:
            return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        case AudioCodec::Mp3:
            break;
    }
    return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
}

}  // namespace

int Mp3Bitrate(double quality) {
    const double wanted = 32 + 288 * Clamped(quality);
    int best = kMp3Bitrates.front();
    for (const int kbps : kMp3Bitrates)
        if (std::abs(kbps - wanted) < std::abs(best - wanted)) best = kbps;
    return best;
}

double Mp3Quality(int kbps) { return (kbps - 32) / 288.0; }

// libsndfile writes through these into the caller's descriptor, so that a
// failure of the disk keeps its cause (errno) for the message.
struct AudioEncoder::State {
    int fd;
    AudioCodec codec;
    std::string shownPath;
    int error = 0;  // the first errno of a write
    SNDFILE* file = nullptr;
    std::vector<float> floats;

    [[noreturn]] void Fail() const {
        throw FileWriteError(shownPath, error ? SystemErrorText(error)
                                              : std::string("die Kodierung als ") +
                                                    CodecName(codec) + " ist fehlgeschlagen");
    }

    static State& Of(void* user) { return *static_cast<State*>(user); }
    static sf_count_t Length(void* user) {
        struct stat info;
        return fstat(Of(user).fd, &info) == 0 ? info.st_size : -1;
    }
    static sf_count_t Seek(sf_count_t offset, int whence, void* user) {
        return lseek(Of(user).fd, offset, whence);
    }
    static sf_count_t Tell(void* user) { return lseek(Of(user).fd, 0, SEEK_CUR); }
    static sf_count_t Read(void* data, sf_count_t count, void* user) {
        sf_count_t done = 0;
        while (done < count) {
            const ssize_t n = read(Of(user).fd, static_cast<char*>(data) + done, count - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += n;
        }
        return done;
    }
    static sf_count_t Write(const void* data, sf_count_t count, void* user) {
        State& state = Of(user);
        sf_count_t done = 0;
        while (done < count) {
            const ssize_t n = write(state.fd, static_cast<const char*>(data) + done, count - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (state.error == 0) state.error = n < 0 ? errno : EIO;
                break;
            }
            done += n;
        }
        return done;
    }
};

AudioEncoder::AudioEncoder(int fd, AudioCodec codec, double quality, const std::string& shownPath)
    : state_(std::make_unique<State>(State{fd, codec, shownPath, 0, nullptr, {}})) {
    static SF_VIRTUAL_IO io = {State::Length, State::Seek, State::Read, State::Write, State::Tell};
    SF_INFO info{};
    info.samplerate = kSynthSampleRate;
    info.channels = 2;
    info.format = FormatOf(codec);
    state_->file = sf_open_virtual(&io, SFM_WRITE, &info, state_.get());
    if (!state_->file) state_->Fail();
    quality = Clamped(quality);
    bool set = true;
    if (codec == AudioCodec::Vorbis) {
        double compression = 1 - quality;
        set = sf_command(state_->file, SFC_SET_COMPRESSION_LEVEL, &compression,
                         sizeof compression) == SF_TRUE;
    } else if (codec == AudioCodec::Mp3) {
        // libsndfile takes 320 - 288 * level kbit/s and cuts off the fraction;
        // half a kbit/s more keeps the rate whole.
        double compression = std::max(0.0, (320 - Mp3Bitrate(quality) - 0.5) / 288);
        int mode = SF_BITRATE_MODE_CONSTANT;
        set = sf_command(state_->file, SFC_SET_COMPRESSION_LEVEL, &compression,
                         sizeof compression) == SF_TRUE &&
              sf_command(state_->file, SFC_SET_BITRATE_MODE, &mode, sizeof mode) == SF_TRUE;
    }
    if (!set) state_->Fail();
}

AudioEncoder::~AudioEncoder() {
    if (state_->file) sf_close(state_->file);
}

void AudioEncoder::Put(const int16_t* samples, size_t frames) {
    // A long render ends here when a signal asks the program to end.
    EndIfTerminationPending();
    const auto count = static_cast<sf_count_t>(frames);
    sf_count_t written = 0;
    if (state_->codec == AudioCodec::Flac) {
        written = sf_writef_short(state_->file, samples, count);
    } else {
        // The lossy encoders take floats: libsndfile 1.2.0 copies only half of
        // the 16-bit stereo samples it hands to its MP3 encoder.
        state_->floats.resize(2 * frames);
        for (size_t i = 0; i < 2 * frames; ++i) state_->floats[i] = samples[i] / 32768.0f;
        written = sf_writef_float(state_->file, state_->floats.data(), count);
    }
    if (written != count || state_->error) state_->Fail();
}

void AudioEncoder::Finish() {
    SNDFILE* file = state_->file;
    state_->file = nullptr;
    if (sf_close(file) != 0 || state_->error) state_->Fail();
}

namespace {
struct RenderCancelled {};
}  // namespace

bool WriteAudioScore(const std::string& path, AudioCodec codec, double quality,
                     const RenderScore& score, const std::function<bool(double)>& progress,
                     const std::string& soundFont) {
    try {
        WriteFileAtomicallyThrough(path, [&](int fd) {
            AudioEncoder encoder(fd, codec, quality, path);
            int64_t done = 0;
            const bool complete = RenderScoreSamples(
                score,
                [&](const int16_t* samples, size_t frames) {
                    encoder.Put(samples, frames);
                    done += static_cast<int64_t>(frames);
                    return !progress || progress(double(done) / double(score.frames));
                },
                soundFont);
            if (!complete) throw RenderCancelled{};
            encoder.Finish();
        });
    } catch (const RenderCancelled&) {
        return false;
    }
    return true;
}
