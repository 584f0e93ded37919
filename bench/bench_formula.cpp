// Evaluation speed of compiled formulas: the formula is compiled once, then
// evaluated once per member. Prints one line per formula and, last, the
// figure for x^2+1 as ns_per_eval=... The figures are the thread's CPU time,
// so that other programs on a shared machine do not inflate them; wall time
// is shown beside it.
//
// Built with muParser (pkg-config muparser), it also times muParser on x^2+1
// and on MOD(x_1+x_2;12), alternating round by round with Sonavix so that
// both see the same machine, and prints the worse of the two ratios
// Sonavix/muParser last as ratio_vs_muparser=...
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "formula/formulaparser.h"
#include "formula/functions.h"

#ifdef SONAVIX_HAVE_MUPARSER
#include <muParser.h>
#endif

namespace {

constexpr uint32_t kEvaluations = 10'000'000;
// The evaluations run in rounds; the fastest round counts, since a busy
// machine can only slow a round down.
constexpr int kRounds = 10;
constexpr uint32_t kPerRound = kEvaluations / kRounds;
// PRIME(x) reads the shared prime table; the indices cycle through its warmed
// part, so the figure is the walk plus a table lookup, not the sieve.
constexpr uint32_t kWarmPrimes = 100'000;

volatile long double g_sink;

double ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// The CPU and wall time of the fastest round so far, in ns per evaluation.
struct Figure {
    double cpu = 1e300;
    double wall = 1e300;
};

// One round of evaluate(n) for n cycling below period, kept in figure.
template <typename Evaluate>
void TimeRound(Figure& figure, uint32_t period, Evaluate evaluate) {
    long double sum = 0;
    uint32_t n = 0;
    const double cpuStart = ThreadCpuNs();
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t i = 0; i < kPerRound; ++i) {
        sum += evaluate(n);
        if (++n == period) n = 0;
    }
    const auto stop = std::chrono::steady_clock::now();
    figure.cpu = std::min(figure.cpu, (ThreadCpuNs() - cpuStart) / kPerRound);
    figure.wall = std::min(
        figure.wall, std::chrono::duration<double, std::nano>(stop - start).count() / kPerRound);
    g_sink = sum;
}

void Print(const char* who, const std::string& formula, const Figure& figure) {
    std::printf("%-9s %-18s %8.2f ns per evaluation (wall %.2f ns)\n", who, formula.c_str(),
                figure.cpu, figure.wall);
}

void Compile(TTerm& term, const std::string& formula, const std::vector<int64_t>& predecessors) {
    term.Parse(term.Normalize(formula));
    term.Predecessors = predecessors;
    term.Parse(term.Normalize(formula));
}

#ifdef SONAVIX_HAVE_MUPARSER
// MOD as the formula language computes it: both arguments rounded to 32-bit
// integers, the remainder made non-negative.
double MuMod(double a, double b) {
    return PosMod(static_cast<int32_t>(std::llrint(a)), static_cast<int32_t>(std::llrint(b)));
}

// Times the formula in Sonavix and the same expression in muParser, whose x
// is n and whose x_1, x_2, ... are the predecessors.
struct Comparison {
    double sonavix;
    double muparser;
};

Comparison Compare(const std::string& formula, const std::vector<int64_t>& predecessors) {
    TTerm term;
    Compile(term, formula, predecessors);

    mu::Parser parser;
    double x = 0;
    std::vector<double> values(predecessors.begin(), predecessors.end());
    parser.DefineVar("x", &x);
    for (size_t k = 0; k < values.size(); ++k)
        parser.DefineVar("x_" + std::to_string(k + 1), &values[k]);
    parser.DefineFun("MOD", MuMod);
    parser.SetArgSep(';');
    parser.SetExpr(formula);
    parser.Eval();  // the first Eval compiles the bytecode

    Figure sonavix;
    Figure mu;
    for (int round = 0; round < kRounds; ++round) {
        TimeRound(sonavix, kEvaluations, [&](uint32_t n) { return term.Evaluate(n); });
        TimeRound(mu, kEvaluations, [&](uint32_t n) {
            x = n;
            return parser.Eval();
        });
    }
    Print("Sonavix", formula, sonavix);
    Print("muParser", formula, mu);
    return {sonavix.cpu, mu.cpu};
}
#endif

double NsPerEval(const std::string& formula, const std::vector<int64_t>& predecessors,
                 uint32_t period) {
    TTerm term;
    Compile(term, formula, predecessors);
    Figure figure;
    for (int round = 0; round < kRounds; ++round)
        TimeRound(figure, period, [&](uint32_t n) { return term.Evaluate(n); });
    Print("Sonavix", formula, figure);
    return figure.cpu;
}

}  // namespace

int main() {
    NthPrime(kWarmPrimes);
    NsPerEval("PRIME(x)", {}, kWarmPrimes);
#ifdef SONAVIX_HAVE_MUPARSER
    const Comparison mod = Compare("MOD(x_1+x_2;12)", {5, 8});
    const Comparison square = Compare("x^2+1", {});
    const double modRatio = mod.sonavix / mod.muparser;
    const double squareRatio = square.sonavix / square.muparser;
    std::printf("ns_per_eval=%.2f\n", square.sonavix);
    std::printf("ratio_mod=%.3f ratio_square=%.3f\n", modRatio, squareRatio);
    std::printf("ratio_vs_muparser=%.3f\n", std::max(modRatio, squareRatio));
#else
    NsPerEval("MOD(x_1+x_2;12)", {5, 8}, kEvaluations);
    std::printf("ns_per_eval=%.2f\n", NsPerEval("x^2+1", {}, kEvaluations));
#endif
    return 0;
}
