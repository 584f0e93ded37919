#include "formula/functions.h"

#include <cstdlib>

#include "common/errors.h"

namespace {
std::vector<uint32_t> g_primes{2, 3};
}

const std::vector<uint32_t>& Primes() { return g_primes; }

void ResetPrimes() { g_primes.assign({2, 3}); }

uint32_t PosMod(int32_t a, int32_t b) {
    if (b == 0) throw EDivByZero(msg::DivisionByZero);
    // Adding |b| while a is negative ends with the same value as one
    // truncating remainder shifted into 0..|b|-1, without the long loop.
    const int64_t m = std::llabs(static_cast<int64_t>(b));
    int64_t r = static_cast<int64_t>(a) % m;
    if (r < 0) r += m;
    return static_cast<uint32_t>(r);
}
