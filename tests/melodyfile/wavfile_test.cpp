// The WAV export, checked from its samples.
#include "melodyfile/wavfile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/expect_error.h"
#include "support/pitch.h"

namespace {
namespace fs = std::filesystem;
using Melody = std::vector<MelodyNote>;

const char* const kSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

struct Wav {
    std::vector<uint8_t> header;
    std::vector<int16_t> left;  // the left channel
};

Wav ReadWav(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    Wav wav;
    if (bytes.size() < 44) return wav;
    wav.header.assign(bytes.begin(), bytes.begin() + 44);
    for (size_t i = 44; i + 3 < bytes.size(); i += 4)
        wav.left.push_back(static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8));
    return wav;
}

uint32_t Field(const std::vector<uint8_t>& h, size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint32_t{h[at + i]} << (8 * i);
    return value;
}

int PeakBetween(const std::vector<int16_t>& s, int64_t from, int64_t to) {
    int peak = 0;
    for (int64_t i = from; i < to; ++i) peak = std::max(peak, std::abs(int{s[i]}));
    return peak;
}

class WavFile : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(kSoundFont, R_OK) != 0)
            GTEST_SKIP() << kSoundFont << " missing (timgm6mb-soundfont)";
        dir = fs::temp_directory_path() / ("sonavix-wav-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    Wav Render(const Melody& melody, const std::string& name = "melodie.wav") {
        EXPECT_TRUE(WriteWavFile((dir / name).string(), melody, 0, {}, kSoundFont));
        return ReadWav(dir / name);
    }
    fs::path dir;
};

TEST_F(WavFile, LengthPitchAndSilenceFromTheSamples) {
    // Key 49 is MIDI note 57, the A at 220 Hz; then a rest of 2 s, then one more note.
    const Wav wav = Render({{49, 600}, {0, 2000}, {49, 300}});
    const int64_t frames = WavFrameAt(600 + 2000 + 300 + kWavReleaseMs);
    ASSERT_EQ(wav.header.size(), 44u);
    EXPECT_EQ(std::memcmp(wav.header.data(), "RIFF", 4), 0);
    EXPECT_EQ(Field(wav.header, 4, 4), 36 + 4 * frames);
    EXPECT_EQ(Field(wav.header, 22, 2), 2u);      // stereo
    EXPECT_EQ(Field(wav.header, 24, 4), 44100u);  // frames per second
    EXPECT_EQ(Field(wav.header, 34, 2), 16u);     // bits per sample
    EXPECT_EQ(Field(wav.header, 40, 4), 4 * frames);
    ASSERT_EQ(static_cast<int64_t>(wav.left.size()), frames);

    const int hz = DominantFrequency(wav.left, WavFrameAt(50), WavFrameAt(550));
    EXPECT_NEAR(hz, 220, 3);
    const int notePeak = PeakBetween(wav.left, 0, WavFrameAt(600));
    EXPECT_GT(notePeak, 2000);
    EXPECT_LT(notePeak, 32767);  // not clipped
    // The release dies away within the rest; its second half is silent.
    EXPECT_EQ(PeakBetween(wav.left, WavFrameAt(1600), WavFrameAt(2600)), 0);
    EXPECT_GT(PeakBetween(wav.left, WavFrameAt(2600), WavFrameAt(2900)), 2000);
    std::cout << "[ MEASURED ] " << hz << " Hz, " << wav.left.size() << " frames, note peak "
              << notePeak << ", rest peak "
              << PeakBetween(wav.left, WavFrameAt(1600), WavFrameAt(2600)) << "\n";
}

TEST_F(WavFile, NotesStartOnTheirExactFrame) {
    // The same note at 2000 ms as the melody's first sound, after an earlier
    // note, and 1 ms (44 frames, no whole number of the synthesizer's 64-frame
    // blocks) later: each must sound the same samples counted from its frame.
    const Wav alone = Render({{0, 2000}, {49, 200}}, "alone.wav");
    const Wav after = Render({{49, 100}, {0, 1900}, {49, 200}}, "after.wav");
    const Wav later = Render({{49, 100}, {0, 1901}, {49, 200}}, "later.wav");
    const int64_t start = WavFrameAt(2000), shift = WavFrameAt(2001) - start;
    ASSERT_EQ(shift, 44);
    ASSERT_GE(later.left.size(), static_cast<size_t>(start + shift + 8000));
    EXPECT_EQ(PeakBetween(alone.left, WavFrameAt(1500), start), 0);
    EXPECT_EQ(PeakBetween(after.left, WavFrameAt(1500), start), 0);
    EXPECT_EQ(PeakBetween(later.left, WavFrameAt(1500), start + shift), 0);
    EXPECT_GT(PeakBetween(alone.left, start, start + 8000), 1000);
    // A synthesizer that sounded before ramps the first block of the new
    // voice a little differently; from the second block on the samples agree.
    for (int64_t i = 64; i < 8000; ++i) {
        ASSERT_EQ(after.left[start + i], alone.left[start + i]) << "frame " << i;
        ASSERT_EQ(later.left[start + shift + i], alone.left[start + i]) << "frame " << i;
    }
}

TEST(WavScore, AnEnsembleMixesEveryVoiceOnItsChannelFromItsFrame) {
    const std::vector<EnsembleVoice> voices = {
        {.Melody = TimelineOf({{40, 1000}})},
        {.Melody = TimelineOf({{40, 1000}}),
         .Channel = 2,
         .Program = 40,
         .Velocity = 90,
         .OffsetUs = VoiceOffsetUs(0.25, 90)},
    };
    const RenderScore score = EnsembleWavScore(voices);
    const int64_t second = WavFrameAtUs(666667);
    EXPECT_EQ(second, 29400);
    const std::vector<std::array<int64_t, 4>> expected = {
        {0, 0xC0, 0, 0},        {0, 0xC1, 40, 0},       {0, 0x90, 48, 110},
        {second, 0x91, 48, 90}, {44100, 0x80, 48, 110}, {second + 44100, 0x81, 48, 90},
    };
    std::vector<std::array<int64_t, 4>> events;
    for (const SynthEvent& e : score.events)
        events.push_back({e.frame, e.status, e.data1, e.data2});
    EXPECT_EQ(events, expected);
    EXPECT_EQ(score.frames, WavFrameAtUs(666667 + 1000000 + kWavReleaseMs * 1000));
}

TEST_F(WavFile, SixteenLoudVoicesTogetherDoNotClip) {
    std::vector<EnsembleVoice> voices;
    for (int v = 0; v < 16; ++v)
        voices.push_back({.Melody = TimelineOf({{40 + 3 * v, 1000}}),
                          .Channel = DefaultVoiceChannel(v),
                          .Program = v % 4 * 16,
                          .Velocity = 127});
    ASSERT_TRUE(WriteEnsembleWavFile((dir / "laut.wav").string(), voices, {}, kSoundFont));
    const Wav wav = ReadWav(dir / "laut.wav");
    const int peak = PeakBetween(wav.left, 0, static_cast<int64_t>(wav.left.size()));
    EXPECT_LT(peak, 32767);
    EXPECT_GT(peak, 4000);
}

TEST_F(WavFile, NothingIsWrittenWhenTheRenderCannotComplete) {
    const fs::path target = dir / "da.wav";
    std::ofstream(target) << "before";
    int calls = 0;
    EXPECT_FALSE(WriteWavFile(
        target.string(), {{49, 3000}}, 0, [&](double) { return ++calls < 2; }, kSoundFont));
    EXPECT_EQ(MessageOf<ESynthError>([&] {
                  WriteWavFile(target.string(), {{49, 100}}, 0, {}, (dir / "missing.sf2").string());
              }),
              "Die SoundFont \"" + (dir / "missing.sf2").string() + "\" lässt sich nicht laden");
    EXPECT_THROW(WriteWavFile(target.string(), {{49, -1}}, 0), EWavFileError);
    EXPECT_THROW(WriteWavFile(target.string(), {{49, 100}}, 128), EWavFileError);
    EXPECT_THROW(WavScore(Melody(4, {1, 2000000000}), 0), EWavFileError);  // over 6 h 45 min
    std::ifstream in(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "before");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1) << "a temporary file was left";
}

}  // namespace

// The pan map moves the sound: a hard-left note at least 20 dB louder on the
// left, a hard-right one on the right, in the same file (the note cache keeps
// the two apart), each past the other's release.
TEST_F(WavFile, EachChannelFollowsThePanMap) {
    ASSERT_TRUE(WriteWavFile((dir / "pan.wav").string(),
                             {{49, 500, 100, -64}, {0, 1500}, {49, 500, 100, 63}}, 0, {},
                             kSoundFont));
    std::ifstream in(dir / "pan.wav", std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    // The energy of each channel over frames [from, to).
    const auto energy = [&](int64_t from, int64_t to, int channel) {
        double sum = 0;
        for (int64_t f = from; f < to; ++f) {
            const size_t at = 44 + 4 * static_cast<size_t>(f) + 2 * static_cast<size_t>(channel);
            const double s = static_cast<int16_t>(bytes[at] | bytes[at + 1] << 8);
            sum += s * s;
        }
        return sum;
    };
    ASSERT_GE(bytes.size(), 44 + 4 * static_cast<size_t>(WavFrameAt(2500)));
    const auto decibels = [](double a, double b) { return 10 * std::log10(a / std::max(b, 1.0)); };
    const int64_t first = WavFrameAt(20), second = WavFrameAt(2020);
    const double leftOverRight = decibels(energy(first, first + WavFrameAt(400), 0),
                                          energy(first, first + WavFrameAt(400), 1));
    const double rightOverLeft = decibels(energy(second, second + WavFrameAt(400), 1),
                                          energy(second, second + WavFrameAt(400), 0));
    EXPECT_GE(leftOverRight, 20);
    EXPECT_GE(rightOverLeft, 20);
    std::cout << "[ MEASURED ] hard left " << leftOverRight << " dB left over right, hard right "
              << rightOverLeft << " dB right over left\n";
}
