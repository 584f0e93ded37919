#include "melodyfile/audiofile.h"

#include <lame/lame.h>
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

// The formats libsndfile writes here (MP3 goes to LAME).
int FormatOf(AudioCodec codec) {
    return codec == AudioCodec::Flac ? SF_FORMAT_FLAC | SF_FORMAT_PCM_16
                                     : SF_FORMAT_OGG | SF_FORMAT_VORBIS;
}

// LAME's algorithm setting, 0 (best, slowest) to 9: 7 quantizes without noise
// shaping, which at these constant rates costs little sound and halves the
// time (250 s in about 2 s here, against 3.2 s at LAME's own 3).
constexpr int kLameAlgorithm = 7;
// The tag is one frame, at most 1441 bytes (320 kbit/s at 32 kHz).
constexpr size_t kLameTagRoom = 2880;

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
// failure of the disk keeps its cause (errno) for the message. MP3 goes to
// LAME directly (libsndfile's encoder behind it offers no speed setting).
struct AudioEncoder::State {
    int fd = -1;
    AudioCodec codec = AudioCodec::Flac;
    std::string shownPath;
    int error = 0;  // the first errno of a write
    SNDFILE* file = nullptr;
    std::vector<float> floats;
    lame_t lame = nullptr;
    std::vector<unsigned char> encoded;
    off_t start = 0;  // where the MP3 stream begins, for its LAME tag

    // Here, not in the encoder's destructor: a constructor that fails has opened some.
    State() = default;
    ~State() {
        if (file) sf_close(file);
        if (lame) lame_close(lame);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

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
    : state_(std::make_unique<State>()) {
    state_->fd = fd;
    state_->codec = codec;
    state_->shownPath = shownPath;
    quality = Clamped(quality);
    if (codec == AudioCodec::Mp3) {
        OpenMp3(quality);
        return;
    }
    static SF_VIRTUAL_IO io = {State::Length, State::Seek, State::Read, State::Write, State::Tell};
    SF_INFO info{};
    info.samplerate = kSynthSampleRate;
    info.channels = 2;
    info.format = FormatOf(codec);
    state_->file = sf_open_virtual(&io, SFM_WRITE, &info, state_.get());
    if (!state_->file) state_->Fail();
    if (codec == AudioCodec::Vorbis) {
        double compression = 1 - quality;
        if (sf_command(state_->file, SFC_SET_COMPRESSION_LEVEL, &compression, sizeof compression) !=
            SF_TRUE)
            state_->Fail();
    }
}

void AudioEncoder::OpenMp3(double quality) {
    State& s = *state_;
    s.start = lseek(s.fd, 0, SEEK_CUR);
    s.lame = lame_init();
    // A constant rate at 44.1 kHz whatever the rate (LAME would resample the
    // low ones), no ID3 tag, and a LAME tag with the encoder's delay and
    // padding, so that readers give back exactly the samples put in.
    if (!s.lame || s.start < 0 || lame_set_in_samplerate(s.lame, kSynthSampleRate) < 0 ||
        lame_set_out_samplerate(s.lame, kSynthSampleRate) < 0 ||
        lame_set_num_channels(s.lame, 2) < 0 || lame_set_VBR(s.lame, vbr_off) < 0 ||
        lame_set_brate(s.lame, Mp3Bitrate(quality)) < 0 ||
        lame_set_quality(s.lame, kLameAlgorithm) < 0 || lame_set_bWriteVbrTag(s.lame, 1) < 0)
        s.Fail();
    lame_set_write_id3tag_automatic(s.lame, 0);
    if (lame_init_params(s.lame) < 0) s.Fail();
}

AudioEncoder::~AudioEncoder() = default;

void AudioEncoder::Put(const int16_t* samples, size_t frames) {
    // A long render ends here when a signal asks the program to end.
    EndIfTerminationPending();
    State& s = *state_;
    if (s.lame) {
        // LAME's bound on what a call gives out.
        s.encoded.resize(frames + frames / 4 + 7200);
        const int n = lame_encode_buffer_interleaved(s.lame, const_cast<short*>(samples),
                                                     static_cast<int>(frames), s.encoded.data(),
                                                     static_cast<int>(s.encoded.size()));
        if (n < 0 || State::Write(s.encoded.data(), n, &s) != n) s.Fail();
        return;
    }
    const auto count = static_cast<sf_count_t>(frames);
    sf_count_t written = 0;
    if (s.codec == AudioCodec::Flac) {
        written = sf_writef_short(s.file, samples, count);
    } else {
        // Vorbis takes floats, full scale at 2^15 as the readers give them back.
        s.floats.resize(2 * frames);
        for (size_t i = 0; i < 2 * frames; ++i) s.floats[i] = samples[i] / 32768.0f;
        written = sf_writef_float(s.file, s.floats.data(), count);
    }
    if (written != count || s.error) s.Fail();
}

void AudioEncoder::Finish() {
    State& s = *state_;
    if (s.lame) {
        s.encoded.resize(7200);
        const int n =
            lame_encode_flush(s.lame, s.encoded.data(), static_cast<int>(s.encoded.size()));
        if (n < 0 || State::Write(s.encoded.data(), n, &s) != n) s.Fail();
        // The tag fills the frame LAME left empty at the stream's start; below
        // 64 kbit/s a frame is too small for it, and LAME has none (size 0).
        s.encoded.resize(kLameTagRoom);
        const size_t tag = lame_get_lametag_frame(s.lame, s.encoded.data(), s.encoded.size());
        if (tag > s.encoded.size() ||
            (tag > 0 && (lseek(s.fd, s.start, SEEK_SET) != s.start ||
                         State::Write(s.encoded.data(), static_cast<sf_count_t>(tag), &s) !=
                             static_cast<sf_count_t>(tag))))
            s.Fail();
        lame_close(s.lame);
        s.lame = nullptr;
        return;
    }
    SNDFILE* file = s.file;
    s.file = nullptr;
    if (sf_close(file) != 0 || s.error) s.Fail();
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
