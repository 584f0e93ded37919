// Times the compressed audio exports of 250 s of music (2000 notes of 125 ms):
// the render alone, each encoder alone on the rendered samples, and the whole
// export (render and encode) as the menu item and --out run it. Each in wall
// time and in this process's processor time, which a busy machine does not
// inflate (the encoders run on one thread; the render on two).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "common/file_write.h"
#include "melodyfile/audiofile.h"
#include "melodyfile/export_formats.h"

namespace {
// Wall and processor seconds from its making to Stop.
class Timer {
public:
    void Stop(double& wall, double& cpu) const {
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count();
        cpu = double(std::clock() - cpu_) / CLOCKS_PER_SEC;
    }

private:
    std::chrono::steady_clock::time_point wall_ = std::chrono::steady_clock::now();
    std::clock_t cpu_ = std::clock();
};
}  // namespace

int main(int argc, char** argv) {
    constexpr int kNotes = 2000, kNoteMs = 125;
    MelodyTimeline melody;
    // Keys up and down over four octaves, every eleventh a rest.
    for (int i = 0; i < kNotes; ++i) melody.Append(i % 11 == 10 ? 0 : 28 + (i * 7) % 48, kNoteMs);
    const std::filesystem::path dir =
        argc > 1 ? std::filesystem::path(argv[1])
                 : std::filesystem::temp_directory_path() /
                       ("sonavix-bench-encode-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);

    const RenderScore score = WavScore(melody, 0);
    const double musicSeconds = double(score.frames) / kSynthSampleRate;
    double wall = 0, cpu = 0;
    std::vector<int16_t> samples;
    const Timer render;
    samples.reserve(static_cast<size_t>(2 * score.frames));
    RenderScoreSamples(score, [&](const int16_t* block, size_t frames) {
        samples.insert(samples.end(), block, block + 2 * frames);
        return true;
    });
    render.Stop(wall, cpu);
    std::printf("music_s=%.1f render_s=%.3f (cpu %.3f)\n", musicSeconds, wall, cpu);

    const struct {
        const char* name;
        AudioCodec codec;
        const char* ending;
    } codecs[] = {{"flac", AudioCodec::Flac, ".flac"},
                  {"vorbis", AudioCodec::Vorbis, ".ogg"},
                  {"mp3", AudioCodec::Mp3, ".mp3"}};
    for (const auto& c : codecs) {
        const std::string path = (dir / (std::string("encoded") + c.ending)).string();
        const Timer encode;
        WriteFileAtomicallyThrough(path, [&](int fd) {
            AudioEncoder encoder(fd, c.codec, kDefaultAudioQuality, path);
            constexpr size_t kBlock = 4096;
            for (size_t frame = 0; frame < samples.size() / 2; frame += kBlock)
                encoder.Put(samples.data() + 2 * frame,
                            std::min(kBlock, samples.size() / 2 - frame));
            encoder.Finish();
        });
        double encodeWall = 0, encodeCpu = 0;
        encode.Stop(encodeWall, encodeCpu);
        const std::string exported = (dir / (std::string("export") + c.ending)).string();
        const Timer whole;
        ExportFormatOf(exported)->WriteOne(exported, {melody, 120, 0, "", 0, 0}, {});
        whole.Stop(wall, cpu);
        const auto bytes = std::filesystem::file_size(path);
        std::printf(
            "%-6s encode_s=%.3f (cpu %.3f) export_s=%.3f (cpu %.3f) size_kb=%.0f kbit_s=%.0f\n",
            c.name, encodeWall, encodeCpu, wall, cpu, bytes / 1024.0,
            8.0 * double(bytes) / musicSeconds / 1000);
    }
    std::printf("files in %s\n", dir.string().c_str());
    return 0;
}
