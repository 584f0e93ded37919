// Worst-case time of each number-theory function over adversarial arguments.
// Every call runs in a freshly forked process, so it pays for every table and
// cache it needs (the prime table holds only 2 and 3 at the start). Each
// argument is timed in kRuns fresh processes and the fastest kept: other
// programs on a busy machine only ever add time, never take it away.
// Prints one line per function and last the maximum: worst_ms=...
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "common/errors.h"
#include "formula/functions.h"

namespace {

struct Case {
    std::string label;
    std::function<void()> call;
};

struct Bench {
    std::string name;
    std::vector<Case> cases;
};

// Runs call in a child process; returns its time in milliseconds, or a
// negative value if the child failed.
double TimeInFreshProcess(const std::function<void()>& call) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        close(fds[0]);
        const auto start = std::chrono::steady_clock::now();
        try {
            call();
        } catch (const Exception&) {
            // A refused argument answers too; its time counts like any other.
        }
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        const double ms = took.count();
        const bool ok = write(fds[1], &ms, sizeof ms) == static_cast<ssize_t>(sizeof ms);
        _exit(ok ? 0 : 1);
    }
    close(fds[1]);
    double ms = -1;
    if (read(fds[0], &ms, sizeof ms) != static_cast<ssize_t>(sizeof ms)) ms = -1;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return ms;
}

constexpr int kRuns = 5;

// The least of kRuns fresh-process timings; negative if any run failed.
double FastestTime(const std::function<void()>& call) {
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        const double ms = TimeInFreshProcess(call);
        if (ms < 0) return ms;
        times.push_back(ms);
    }
    return *std::min_element(times.begin(), times.end());
}

volatile uint32_t g_sink;

template <class F>
Case One(uint32_t arg, F f) {
    return {std::to_string(arg), [=] { g_sink = f(arg); }};
}

template <class F>
Case Signed(int32_t arg, F f) {
    return {std::to_string(arg), [=] { g_sink = f(arg); }};
}

template <class F>
Case Two(int64_t a, int64_t b, F f) {
    return {std::to_string(a) + ";" + std::to_string(b), [=] { g_sink = f(a, b); }};
}

}  // namespace

// NOLINTNEXTLINE(readability-function-size): a table, one line per measured case
int main() {
    constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMinInt = std::numeric_limits<int32_t>::min();
    const std::vector<uint32_t> unsignedArgs = {
        0u,          1u,          2u,          65536u,      65537u,      65521u * 65519u,
        4194301u,    4194302u,    4194304u,    2147483647u, 2147483648u, 3491888400u,
        4294967279u, 4294967291u, 4294967294u, 4294967295u, 1000000000u,
    };
    const std::vector<int32_t> signedArgs = {
        kMinInt, -1, 0, 1, 2, 65536, 4194301, 4194302, 46349, 2147483629, kMaxInt,
    };

    std::vector<Bench> benches;
    Bench nth{"NthPrime", {}};
    for (int32_t n : {-1, 0, 1, 2, 4793, 100000, kPrimeTableBoundCount, kPrimeTableBoundCount + 1,
                      1000000, 50847534, 105097565, 105097566, 150000000, kLargestPrimeIndex - 1,
                      kLargestPrimeIndex, kLargestPrimeIndex + 1, kMaxInt}) {
        nth.cases.push_back(Signed(n, NthPrime));
    }
    benches.push_back(nth);

    Bench isPrime{"IsPrime", {}};
    for (int32_t a : signedArgs) isPrime.cases.push_back(Signed(a, IsPrime));
    benches.push_back(isPrime);

    Bench count{"PrimeCount", {}}, sigma{"Sigma", {}}, phi{"Phi", {}};
    for (uint32_t a : unsignedArgs) {
        count.cases.push_back(One(a, PrimeCount));
        sigma.cases.push_back(One(a, Sigma));
        phi.cases.push_back(One(a, Phi));
    }
    benches.push_back(count);
    benches.push_back(sigma);
    benches.push_back(phi);

    // Consecutive Fibonacci numbers make Euclid take the most steps.
    Bench gcd{"Gcd", {}}, lcm{"Lcm", {}};
    for (auto [a, b] : std::vector<std::pair<uint32_t, uint32_t>>{{0, 0},
                                                                  {4294967295u, 4294967294u},
                                                                  {2971215073u, 1836311903u},
                                                                  {65536, 65521u * 65519u},
                                                                  {100000, 200000},
                                                                  {4294967291u, 4294967279u}}) {
        gcd.cases.push_back(Two(a, b, [](uint32_t x, uint32_t y) { return Gcd(x, y); }));
        lcm.cases.push_back(Two(a, b, [](uint32_t x, uint32_t y) { return Lcm(x, y); }));
    }
    benches.push_back(gcd);
    benches.push_back(lcm);

    Bench mod{"PosMod", {}};
    for (auto [a, b] : std::vector<std::pair<int32_t, int32_t>>{{kMinInt, -1},
                                                                {kMinInt, kMaxInt},
                                                                {-1, kMinInt},
                                                                {kMaxInt, kMinInt},
                                                                {-7, 0},
                                                                {7, 0}}) {
        mod.cases.push_back(Two(a, b, [](int32_t x, int32_t y) { return PosMod(x, y); }));
    }
    benches.push_back(mod);

    double worstAll = 0;
    bool failed = false;
    for (const Bench& bench : benches) {
        double worst = 0;
        std::string worstLabel;
        for (const Case& c : bench.cases) {
            const double ms = FastestTime(c.call);
            if (ms < 0) {
                std::printf("%s(%s) FAILED\n", bench.name.c_str(), c.label.c_str());
                failed = true;
                continue;
            }
            if (ms >= worst) {
                worst = ms;
                worstLabel = c.label;
            }
        }
        std::printf("%-10s worst_ms=%.3f at (%s)\n", bench.name.c_str(), worst, worstLabel.c_str());
        worstAll = std::max(worstAll, worst);
    }
    std::printf("worst_ms=%.3f\n", worstAll);
    return failed ? 1 : 0;
}
