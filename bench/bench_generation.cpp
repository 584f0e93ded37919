// Generates 1,000,000 members of x^2 and of MOD(x_1+x_2;12) (start values 1
// and 1) through the formula frame's generator, and times a generation that
// runs into the explicit list's capacity.
#include <chrono>
#include <cstdio>
#include <string>

#include "common/errors.h"
#include "formula/functions.h"
#include "sources/generation.h"

namespace {
double GenerateMs(const char* formula, const char* count, std::vector<std::string> starts,
                  size_t& length) {
    TTerm term;
    ValueListTable startValues{std::vector<std::string>{"0"}, 1};
    FormulaGenerator generator(term, startValues);
    generator.FormulaExit(formula);
    for (size_t i = 0; i < starts.size(); ++i) startValues.SetValue(static_cast<int>(i), starts[i]);
    std::string list;
    const auto start = std::chrono::steady_clock::now();
    try {
        generator.Generate(formula, count, false, list);
    } catch (const EOutOfCapacity&) {
    }
    length = list.size();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}
}  // namespace

int main() {
    size_t length = 0;
    const double modMs = GenerateMs("MOD(x_1+x_2;12)", "1000000", {"1", "1"}, length);
    std::printf("formula=MOD(x_1+x_2;12) members=1000000 ms=%.1f bytes=%zu\n", modMs, length);
    const double capMs = GenerateMs("x", "2147483647", {}, length);
    std::printf("formula=x count=2147483647 ms=%.1f bytes=%zu (stopped at the capacity)\n", capMs,
                length);
    double best = 1e9;
    for (int run = 0; run < 5; ++run)
        best = std::min(best, GenerateMs("x^2", "1000000", {}, length));
    std::printf("formula=x^2 bytes=%zu\n", length);
    std::printf("members=1000000 ms=%.1f\n", best);
    return 0;
}
