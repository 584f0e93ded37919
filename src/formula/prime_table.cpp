#include "formula/prime_table.h"

#include <algorithm>
#include <stdexcept>

#include "common/errors.h"
#include "formula/prime_sieve.h"

namespace {

std::vector<uint32_t> g_primes{2, 3};

// Appends primes while needMore() says so. The caller guarantees that the
// last prime it needs is at most kPrimeTableBound.
template <class NeedMore>
void GrowTable(NeedMore needMore) {
    // A few steps of trial division are cheaper than sieving a segment,
    // and a formula such as PRIME(x) asks for one more prime per member.
    for (int i = 0; i < 16; ++i) {
        if (!needMore()) return;
        NextPrime();
    }
    // The table's whole size, 1.2 MB, reserved once: copying it on every doubling costs more.
    g_primes.reserve(kPrimeTableBoundCount);
    OddSieve sieve;
    while (needMore()) {
        const uint64_t lo = uint64_t{g_primes.back()} + 2;
        if (lo > kPrimeTableBound)
            throw std::logic_error("prime table asked to grow past its bound");
        sieve.Sieve(lo, std::min(lo + kSegmentSpan, uint64_t{kPrimeTableBound} + 1));
        sieve.ForEachPrime([&](uint64_t prime) {
            if (!needMore()) return false;
            g_primes.push_back(static_cast<uint32_t>(prime));
            return true;
        });
    }
}

}  // namespace

const std::vector<uint32_t>& Primes() { return g_primes; }

void ResetPrimes() { g_primes.assign({2, 3}); }

void NextPrime() {
    // The table always reaches the square root of the next candidate
    // (there is a prime between p and 2p), so its own primes decide.
    for (uint64_t candidate = uint64_t{g_primes.back()} + 2;; candidate += 2) {
        if (candidate >= (uint64_t{1} << 32))
            throw EInvalidInput("Es gibt keine größere Primzahl unter 2^32");
        bool prime = true;
        for (size_t i = 1; i < g_primes.size(); ++i) {
            const uint64_t p = g_primes[i];
            if (p * p > candidate) break;
            if (candidate % p == 0) {
                prime = false;
                break;
            }
        }
        if (prime) {
            g_primes.push_back(static_cast<uint32_t>(candidate));
            return;
        }
    }
}

void GrowPrimesToCount(size_t count) {
    GrowTable([&] { return g_primes.size() < count; });
}

void GrowPrimesToReach(uint32_t value) {
    GrowTable([&] { return g_primes.back() < value; });
}
