#pragma once
// The best of five runs of a piece of work, in wall-clock time and in the
// processor time this process used (which a machine busy with other work
// does not inflate).
#include <time.h>

#include <algorithm>
#include <chrono>

struct Times {
    double wallMs = 1e300, cpuMs = 1e300;
};

inline double CpuMs() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

template <typename F>
Times BestOfFive(F&& run) {
    Times best;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const double cpu = CpuMs();
        run();
        best.cpuMs = std::min(best.cpuMs, CpuMs() - cpu);
        best.wallMs = std::min(best.wallMs, std::chrono::duration<double, std::milli>(
                                                std::chrono::steady_clock::now() - start)
                                                .count());
    }
    return best;
}
