// Saves and opens a setup with a 10 000-row note map and an explicit list of
// 10^6 members, and reads a b-file of 10 000 terms; each the best of five
// runs, in wall-clock time and in the processor time this process used (which
// a machine busy with other work does not inflate).
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "best_of_five.h"
#include "setup/setup_file.h"
#include "sources/bfile.h"

int main() {
    MelodySetup setup;
    VoiceSetup& voice = setup.Voices.front();
    voice.NoteMap.clear();
    for (int i = 0; i < 10000; ++i) voice.NoteMap.push_back(std::to_string(1 + i % 88));
    voice.Notes.Selected = SourceKind::Explicit;
    std::string& list = voice.Notes.ExplicitList;
    list.clear();
    for (int i = 0; i < 1000000; ++i) {
        if (i) list += ", ";
        list += std::to_string((i * 2654435761u) % 1000000);
    }
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("sonavix-bench-setup-" + std::to_string(getpid()) + ".sonavix");

    const Times save = BestOfFive([&] { SaveSetupFile(path.string(), setup); });
    MelodySetup read;
    const Times open = BestOfFive([&] { read = ReadSetupFile(path.string()); });
    const auto bytes = std::filesystem::file_size(path);
    std::filesystem::remove(path);
    if (read.Voices.front().Notes.ExplicitList != list) return 1;

    // Terms of 1 to 60 digits, as a sequence that grows like Fibonacci's does.
    std::string bFile = "# A000000 (b-file)\n";
    for (int n = 0; n < 10000; ++n)
        bFile += std::to_string(n) + " " + std::string(1 + n % 60, static_cast<char>('1' + n % 9)) +
                 "\n";
    std::string terms;
    const Times parse = BestOfFive([&] { terms = ReadBFile(bFile).terms; });

    std::printf(
        "setup file %.1f MiB (note map 10000 rows, list 10^6 members): save wall_ms=%.1f "
        "cpu_ms=%.1f, open wall_ms=%.1f cpu_ms=%.1f\n",
        bytes / 1048576.0, save.wallMs, save.cpuMs, open.wallMs, open.cpuMs);
    std::printf("b-file %.2f MiB, 10000 terms: parse wall_ms=%.2f cpu_ms=%.2f\n",
                bFile.size() / 1048576.0, parse.wallMs, parse.cpuMs);
    return terms.empty() ? 1 : 0;
}
