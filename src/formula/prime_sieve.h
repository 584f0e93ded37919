#pragma once
// Sieving odd numbers: the small primes every factorisation and sieve starts
// from, and a segment sieve over any range below 2^32.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

// All primes below 65536 (2 included): enough to factorise, or to sieve, any
// number below 2^32. Apart from the shared table, so that factorising leaves
// the table exactly as large as the prime functions alone make it.
const std::vector<uint32_t>& SmallPrimes();

// Numbers per sieve segment: small enough to stay in the cache.
inline constexpr uint64_t kSegmentSpan = uint64_t{1} << 18;

// Bit counting without a library call: the build targets plain x86-64,
// where std::popcount is an out-of-line routine and the hottest step of counting.
inline uint64_t PopCount(uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555u;
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fu;
    return (x * 0x0101010101010101u) >> 56;
}

// The odd numbers of [lo, hi) with a set bit for each prime among them;
// bit i stands for first + 2i. Works for any range below 2^32.
class OddSieve {
public:
    void Sieve(uint64_t lo, uint64_t hi);

    const std::vector<uint64_t>& Words() const { return words_; }
    uint64_t Count() const;
    // The k-th prime of the range, counted from 1; k must not exceed Count().
    uint64_t Nth(uint64_t k) const;

    template <class Visit>
    void ForEachPrime(Visit visit) const {
        for (size_t w = 0; w < words_.size(); ++w) {
            for (uint64_t bits = words_[w]; bits != 0; bits &= bits - 1) {
                if (!visit(first_ + 2 * (64 * w + std::countr_zero(bits)))) return;
            }
        }
    }

private:
    void Presieve();

    uint64_t first_ = 1;
    uint64_t count_ = 0;
    std::vector<uint64_t> words_;
    std::vector<uint64_t> next_;
};
