// The compressed audio exports, read back through libsndfile (and ffprobe or
// soxi where one is installed) and compared with the WAV file of the same melody.
#include "melodyfile/audiofile.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "melodyfile/export_formats.h"
#include "support/jack_server.h"
#include "support/pitch.h"

namespace {
namespace fs = std::filesystem;

const char* const kSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

struct Sound {
    SF_INFO info{};
    std::vector<int16_t> samples;  // interleaved
    std::vector<int16_t> Left() const {
        std::vector<int16_t> left;
        for (size_t i = 0; i < samples.size(); i += 2) left.push_back(samples[i]);
        return left;
    }
};

Sound Read(const fs::path& path) {
    Sound sound;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &sound.info);
    if (!file) return sound;
    sound.samples.resize(static_cast<size_t>(sound.info.frames * sound.info.channels));
    sound.samples.resize(static_cast<size_t>(
        sf_readf_short(file, sound.samples.data(), sound.info.frames) * sound.info.channels));
    sf_close(file);
    return sound;
}

class AudioFile : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(kSoundFont, R_OK) != 0)
            GTEST_SKIP() << kSoundFont << " missing (timgm6mb-soundfont)";
        dir = fs::temp_directory_path() / ("sonavix-audio-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    fs::path dir;
};

TEST_F(AudioFile, EachFormatReadsBackAsTheWavFilesSound) {
    // Key 49 is the A at 220 Hz; 2 s of it and the release tail.
    const MelodyTimeline melody = TimelineOf({{49, 2000}});
    const MelodyExport m{melody, 90, 0, "", 0, 0};
    ASSERT_TRUE(WavExport().WriteOne((dir / "m.wav").string(), m, {}));
    const Sound wav = Read(dir / "m.wav");
    ASSERT_EQ(wav.info.frames, WavFrameAt(2000 + kWavReleaseMs));
    const struct {
        const char* ending;
        int type;
    } cases[] = {{".flac", SF_FORMAT_FLAC}, {".ogg", SF_FORMAT_OGG}, {".mp3", SF_FORMAT_MPEG}};
    ASSERT_EQ(AudioExports().size(), std::size(cases));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ending);
        const fs::path path = dir / (std::string("m") + c.ending);
        const ExportFormat* format = ExportFormatOf(path.string());
        ASSERT_NE(format, nullptr);
        ASSERT_TRUE(format->WriteOne(path.string(), m, {}));
        const Sound sound = Read(path);
        EXPECT_EQ(sound.info.format & SF_FORMAT_TYPEMASK, c.type);
        EXPECT_EQ(sound.info.channels, 2);
        EXPECT_EQ(sound.info.samplerate, 44100);
        EXPECT_LE(std::abs(sound.info.frames - wav.info.frames), 1);
        const std::vector<int16_t> left = sound.Left();
        ASSERT_GE(left.size(), size_t(WavFrameAt(1500)));
        // 220 Hz against its neighbours up to a fifth away (the octave above may be louder).
        EXPECT_NEAR(DominantFrequency(left, WavFrameAt(50), WavFrameAt(1050), 44100, 150, 330), 220,
                    3);
        const double kbps = 8.0 * double(fs::file_size(path)) / 2.5 / 1000;
        std::cout << "[ MEASURED ] " << c.ending << ": " << sound.info.frames << " frames, " << kbps
                  << " kbit/s\n";
        if (c.type == SF_FORMAT_FLAC) {
            EXPECT_EQ(sound.samples, wav.samples) << "not lossless";
        }
        // The dialog's first choice, the default quality, is a constant 192 kbit/s.
        if (c.type == SF_FORMAT_MPEG) {
            EXPECT_NEAR(kbps, 192, 8);
        }
        for (const char* reader : {"ffprobe", "soxi"}) {
            const std::optional<std::string> program = FindOnPath(reader);
            if (!program) continue;
            const ProgramResult r =
                RunProgram(*program, std::string(reader) == "soxi"
                                         ? std::vector<std::string>{"-r", path.string()}
                                         : std::vector<std::string>{"-v", "error", "-show_entries",
                                                                    "stream=sample_rate", "-of",
                                                                    "csv=p=0", path.string()});
            EXPECT_EQ(r.out, "44100\n") << reader << ": " << r.err;
        }
    }
}

TEST_F(AudioFile, NothingIsWrittenWhenTheRenderCannotComplete) {
    const fs::path target = dir / "da.mp3";
    std::ofstream(target) << "before";
    const RenderScore score = WavScore(TimelineOf({{49, 3000}}), 0);
    int calls = 0;
    EXPECT_FALSE(WriteAudioScore(
        target.string(), AudioCodec::Mp3, kDefaultAudioQuality, score,
        [&](double) { return ++calls < 2; }, kSoundFont));
    EXPECT_THROW(WriteAudioScore(target.string(), AudioCodec::Flac, 0, score, {},
                                 (dir / "missing.sf2").string()),
                 ESynthError);
    EXPECT_EQ(ReadWholeFile(target), "before");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1) << "a temporary file was left";
}

}  // namespace
