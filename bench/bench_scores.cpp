// Writes a melody of 10 000 notes (every length from a half to a 32nd, rests,
// ties, a grand staff's range) as MusicXML and as LilyPond, five times each,
// and prints the fastest and the slowest run of each in milliseconds; then
// finds the key of a melody of 100 000 notes the same way.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "melodyfile/score.h"

namespace {
std::pair<double, double> Time(const std::function<void()>& run) {
    double best = 1e9, worst = 0;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        best = std::min(best, ms), worst = std::max(worst, ms);
    }
    return {best, worst};
}
}  // namespace

int main() {
    constexpr int kNotes = 10000, kTempo = 120;
    MelodyTimeline melody;
    for (int i = 0; i < kNotes; ++i) {
        const int length = 1 + i % 5;  // half .. 32nd, off the beat more often than not
        melody.Append(i % 13 == 12 ? 0 : 20 + (i * 7) % 60, 2000 >> length, length);
    }
    const Score score{"Benchmark", kTempo, 1, 23, {{melody, 0}}};
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const std::string xml =
        (dir / ("sonavix-bench-" + std::to_string(getpid()) + ".musicxml")).string();
    const std::string ly = (dir / ("sonavix-bench-" + std::to_string(getpid()) + ".ly")).string();
    const auto [xmlBest, xmlWorst] = Time([&] { WriteMusicXmlFile(xml, score); });
    const auto [lyBest, lyWorst] = Time([&] { WriteLilyPondFile(ly, score); });
    std::printf(
        "notes=%d musicxml_ms=%.1f (slowest %.1f, %ju bytes) lilypond_ms=%.1f (slowest %.1f, %ju "
        "bytes)\n",
        kNotes, xmlBest, xmlWorst, static_cast<uintmax_t>(std::filesystem::file_size(xml)), lyBest,
        lyWorst, static_cast<uintmax_t>(std::filesystem::file_size(ly)));
    std::filesystem::remove(xml);
    std::filesystem::remove(ly);

    constexpr int kKeyNotes = 100000;
    MelodyTimeline many;
    for (int i = 0; i < kKeyNotes; ++i) many.Append(20 + (i * 7) % 60, 250, 1 + i % 5);
    const Score keyScore{"Tonart", kTempo, 0, 0, {{many, 0}}};
    int fifths = 0;
    const auto [keyBest, keyWorst] = Time([&] { fifths = KeyOfScore(keyScore).Fifths; });
    std::printf("key_notes=%d key_ms=%.2f (slowest %.2f, fifths %d)\n", kKeyNotes, keyBest,
                keyWorst, fifths);
    return 0;
}
