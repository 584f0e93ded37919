// Reads lists of 10^6 values from data files, from the disk to the list's
// text: a German CSV with a header and decimal commas (every value rounded),
// and a b-file of integers. Each the best of five runs, in wall-clock time and
// in the processor time this process used (which a busy machine does not inflate).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "sources/data_file.h"

namespace {
constexpr int kRows = 1000000;

double CpuMs() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Times {
    double wallMs = 1e300, cpuMs = 1e300;
};

Times Best(const std::string& path, std::size_t& count) {
    Times best;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const double cpu = CpuMs();
        count = ReadDataList(ReadDataFile(path), "").Count;
        best.cpuMs = std::min(best.cpuMs, CpuMs() - cpu);
        best.wallMs = std::min(best.wallMs, std::chrono::duration<double, std::milli>(
                                                std::chrono::steady_clock::now() - start)
                                                .count());
    }
    return best;
}
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
        const Times t = Best(path.string(), count);
        std::printf("%s: %zu values from %.1f MB in %.0f ms (processor %.0f ms)\n",
                    path.extension().c_str(), count, static_cast<double>(fs::file_size(path)) / 1e6,
                    t.wallMs, t.cpuMs);
        fs::remove(path);
    }
}
