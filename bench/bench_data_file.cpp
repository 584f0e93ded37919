// Reads lists of 10^6 values from data files, from the disk to the list's
// text: a German CSV with a header and decimal commas (every value rounded),
// and a b-file of integers. Each the best of five runs, in wall-clock time and
// in the processor time this process used (which a busy machine does not inflate).
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "best_of_five.h"
#include "sources/data_file.h"

namespace {
constexpr int kRows = 1000000;
}  // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path();
    const std::string tag = std::to_string(getpid());
    const fs::path csv = folder / ("sonavix-bench-" + tag + ".csv");
    const fs::path bfile = folder / ("sonavix-bench-" + tag + ".txt");
    {
        std::ofstream out(csv);
        out << "Datum;Messwert;Bemerkung\n";
        for (int i = 0; i < kRows; ++i)
            out << "2024-01-" << (1 + i % 28) << ';' << (i * 2654435761u) % 100000 << ',' << i % 10
                << ";ok\n";
    }
    {
        std::ofstream out(bfile);
        out << "# b-file\n";
        for (int i = 0; i < kRows; ++i) out << i << ' ' << (i * 2654435761u) % 1000000 << '\n';
    }
    for (const fs::path& path : {csv, bfile}) {
        std::size_t count = 0;
        const Times t =
            BestOfFive([&] { count = ReadDataList(ReadDataFile(path.string()), "").Count; });
        std::printf("%s: %zu values from %.1f MB in %.0f ms (processor %.0f ms)\n",
                    path.extension().c_str(), count, static_cast<double>(fs::file_size(path)) / 1e6,
                    t.wallMs, t.cpuMs);
        fs::remove(path);
    }
}
