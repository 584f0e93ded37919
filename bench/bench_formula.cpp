// Evaluation speed of compiled formulas: the tree is built once, then walked
// once per member. Prints one line per formula and, last, the figure for
// x^2+1 as ns_per_eval=... The figures are the thread's CPU time, so that
// other programs on a shared machine do not inflate them; wall time is shown
// beside it.
#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "formula/formulaparser.h"
#include "formula/functions.h"

namespace {

constexpr uint32_t kEvaluations = 10'000'000;
// PRIME(x) reads the shared prime table; the indices cycle through its warmed
// part, so the figure is the walk plus a table lookup, not the sieve.
constexpr uint32_t kWarmPrimes = 100'000;

volatile long double g_sink;

double ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

double NsPerEval(const std::string& formula, const std::vector<int64_t>& predecessors,
                 uint32_t period) {
    TTerm term;
    term.Parse(term.Normalize(formula));
    term.Predecessors = predecessors;
    term.Parse(term.Normalize(formula));
    long double sum = 0;
    uint32_t n = 0;
    const double cpuStart = ThreadCpuNs();
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t i = 0; i < kEvaluations; ++i) {
        sum += term.Evaluate(n);
        if (++n == period) n = 0;
    }
    const auto stop = std::chrono::steady_clock::now();
    const double ns = (ThreadCpuNs() - cpuStart) / kEvaluations;
    g_sink = sum;
    const double wall =
        std::chrono::duration<double, std::nano>(stop - start).count() / kEvaluations;
    std::printf("%-18s %8.2f ns per evaluation (wall %.2f ns)\n", formula.c_str(), ns, wall);
    return ns;
}

}  // namespace

int main() {
    NthPrime(kWarmPrimes);
    NsPerEval("MOD(x_1+x_2;12)", {5, 8}, kEvaluations);
    NsPerEval("PRIME(x)", {}, kWarmPrimes);
    const double square = NsPerEval("x^2+1", {}, kEvaluations);
    std::printf("ns_per_eval=%.2f\n", square);
    return 0;
}
