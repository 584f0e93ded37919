#pragma once
// A melody as a compressed audio file: the samples of the WAV export (44.1 kHz
// stereo, the same render) encoded as FLAC (lossless) or Ogg Vorbis through
// libsndfile, or as MP3 through LAME, and written as every export is: complete or not at all.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "melodyfile/wavfile.h"

enum class AudioCodec { Flac, Vorbis, Mp3 };

// The quality of the lossy codecs, from 0 (the smallest file) to 1 (the best
// sound): Vorbis takes it as its VBR quality; MP3 as a constant bit rate of
// 32 + 288 * quality kbit/s, taken to the nearest rate MP3 has. FLAC has none.
inline constexpr double kDefaultAudioQuality = 0.6;

// The MP3 bit rate (kbit/s) of a quality: 0.6 gives 192, 1 gives 320.
int Mp3Bitrate(double quality);
// The quality whose MP3 bit rate is kbps (one of MP3's rates).
double Mp3Quality(int kbps);

// Encodes blocks of samples into a file open for reading and writing (the
// descriptor stays the caller's). Throws EFileWriteError naming shownPath.
class AudioEncoder {
public:
    AudioEncoder(int fd, AudioCodec codec, double quality, const std::string& shownPath);
    ~AudioEncoder();
    AudioEncoder(const AudioEncoder&) = delete;
    AudioEncoder& operator=(const AudioEncoder&) = delete;
    // Interleaved 16-bit stereo at kSynthSampleRate.
    void Put(const int16_t* samples, size_t frames);
    // Writes what the encoder still holds; the file is complete only after this.
    void Finish();

    struct State;

private:
    void OpenMp3(double quality);

    std::unique_ptr<State> state_;
};

// Renders the score into path as WriteWavScore does, encoded by codec.
// False when progress cancelled; nothing was written then.
bool WriteAudioScore(const std::string& path, AudioCodec codec, double quality,
                     const RenderScore& score, const std::function<bool(double)>& progress = {},
                     const std::string& soundFont = DefaultSoundFontPath());
