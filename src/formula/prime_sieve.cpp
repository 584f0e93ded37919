#include "formula/prime_sieve.h"

#include <algorithm>
#include <stdexcept>

const std::vector<uint32_t>& SmallPrimes() {
    static const std::vector<uint32_t> primes = [] {
        constexpr uint32_t kLimit = 65536;
        std::vector<bool> composite(kLimit, false);
        std::vector<uint32_t> found;
        for (uint32_t i = 2; i < kLimit; ++i) {
            if (composite[i]) continue;
            found.push_back(i);
            for (uint32_t j = i * i; j < kLimit; j += i) composite[j] = true;
        }
        return found;
    }();
    return primes;
}

namespace {

// The odd primes 3 to 13 are crossed off by copying their joint pattern,
// which repeats every 3 * 5 * 7 * 11 * 13 odd numbers.
constexpr size_t kPresieved = 5;  // SmallPrimes()[1..5]
constexpr uint64_t kPeriod = 15015;

struct Pattern {
    std::vector<uint64_t> bits;  // one period and two words more, so any 64-bit window can be read
    Pattern() {
        const uint64_t total = kPeriod + 128;
        bits.assign((total + 63) / 64 + 1, 0);
        for (uint64_t i = 0; i < total; ++i) {
            const uint64_t n = 2 * i + 1;  // the pattern starts at odd number 1
            if (n % 3 && n % 5 && n % 7 && n % 11 && n % 13)
                bits[i / 64] |= uint64_t{1} << (i % 64);
        }
    }
    uint64_t Window(uint64_t offset) const {
        const uint64_t w = offset / 64, s = offset % 64;
        return s == 0 ? bits[w] : (bits[w] >> s) | (bits[w + 1] << (64 - s));
    }
};

}  // namespace

void OddSieve::Sieve(uint64_t lo, uint64_t hi) {
    first_ = lo | 1;
    count_ = hi > first_ ? (hi - first_ + 1) / 2 : 0;
    words_.resize((count_ + 63) / 64);
    if (count_ == 0) return;
    Presieve();
    const auto& small = SmallPrimes();
    // Cross off in cache-sized blocks; next[k] is the next bit to clear for prime k.
    next_.clear();
    for (size_t k = kPresieved + 1; k < small.size(); ++k) {
        const uint64_t p = small[k];
        if (p * p >= hi) break;
        uint64_t start = p * p;
        if (start < first_) {
            start = (first_ + p - 1) / p * p;
            if (start % 2 == 0) start += p;
        }
        next_.push_back((start - first_) / 2);
    }
    constexpr uint64_t kBlockBits = uint64_t{1} << 18;
    uint64_t* words = words_.data();
    for (uint64_t blockEnd = 0; blockEnd < count_;) {
        blockEnd = std::min(blockEnd + kBlockBits, count_);
        for (size_t k = 0; k < next_.size(); ++k) {
            const uint64_t p = small[kPresieved + 1 + k];
            uint64_t i = next_[k];
            for (; i < blockEnd; i += p) words[i / 64] &= ~(uint64_t{1} << (i % 64));
            next_[k] = i;
        }
    }
    if (count_ % 64 != 0) words_.back() &= (uint64_t{1} << (count_ % 64)) - 1;
}

uint64_t OddSieve::Count() const {
    uint64_t n = 0;
    for (uint64_t w : words_) n += PopCount(w);
    return n;
}

uint64_t OddSieve::Nth(uint64_t k) const {
    for (size_t w = 0; w < words_.size(); ++w) {
        uint64_t bits = words_[w];
        const uint64_t here = PopCount(bits);
        if (k > here) {
            k -= here;
            continue;
        }
        for (; k > 1; --k) bits &= bits - 1;
        return first_ + 2 * (64 * w + std::countr_zero(bits));
    }
    throw std::logic_error("OddSieve::Nth past the range");
}

void OddSieve::Presieve() {
    static const Pattern pattern;
    uint64_t offset = (first_ / 2) % kPeriod;
    for (uint64_t& word : words_) {
        word = pattern.Window(offset);
        offset += 64;
        if (offset >= kPeriod) offset -= kPeriod;
    }
    // The pattern keeps 1, which is no prime, and drops 3 to 13, which are.
    if (first_ == 1) words_[0] &= ~uint64_t{1};
    for (uint64_t n : {3, 5, 7, 11, 13}) {
        if (n >= first_ && (n - first_) / 2 < count_) {
            const uint64_t i = (n - first_) / 2;
            words_[i / 64] |= uint64_t{1} << (i % 64);
        }
    }
}
