#include "formula/primes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "common/errors.h"

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

std::vector<uint32_t> g_primes{2, 3};

constexpr uint64_t kTwo32 = uint64_t{1} << 32;

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
    void Sieve(uint64_t lo, uint64_t hi) {
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

    const std::vector<uint64_t>& Words() const { return words_; }

    uint64_t Count() const {
        uint64_t n = 0;
        for (uint64_t w : words_) n += PopCount(w);
        return n;
    }

    // The k-th prime of the range, counted from 1; k must not exceed Count().
    uint64_t Nth(uint64_t k) const {
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

    template <class Visit>
    void ForEachPrime(Visit visit) const {
        for (size_t w = 0; w < words_.size(); ++w) {
            for (uint64_t bits = words_[w]; bits != 0; bits &= bits - 1) {
                if (!visit(first_ + 2 * (64 * w + std::countr_zero(bits)))) return;
            }
        }
    }

private:
    // The odd primes 3 to 13 are crossed off by copying their joint pattern,
    // which repeats every 3 * 5 * 7 * 11 * 13 odd numbers.
    static constexpr size_t kPresieved = 5;  // SmallPrimes()[1..5]
    static constexpr uint64_t kPeriod = 15015;

    struct Pattern {
        std::vector<uint64_t>
            bits;  // one period and two words more, so any 64-bit window can be read
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

    void Presieve() {
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

    uint64_t first_ = 1;
    uint64_t count_ = 0;
    std::vector<uint64_t> words_;
    std::vector<uint64_t> next_;
};

// Numbers per sieve segment: small enough to stay in the cache.
constexpr uint64_t kSegmentSpan = uint64_t{1} << 18;

// pi(y) for y up to kPiLimit by table look-up. Meissel's formula needs pi
// only below x^(2/3) < 2^(64/3) = 2642245.9... for x < 2^32.
constexpr uint64_t kPiLimit = 2642246;

class PiTable {
public:
    PiTable() {
        OddSieve sieve;
        sieve.Sieve(1, kPiLimit + 1);
        words_ = sieve.Words();
        before_.resize(words_.size());
        uint32_t sum = 0;
        for (size_t w = 0; w < words_.size(); ++w) {
            before_[w] = sum;
            sum += PopCount(words_[w]);
        }
    }

    uint64_t Pi(uint64_t y) const {
        if (y < 2) return 0;
        const uint64_t last = (y - 1) / 2;  // bit of the largest odd number <= y
        const uint64_t w = last / 64;
        const uint64_t bit = last % 64;
        const uint64_t mask = bit == 63 ? ~uint64_t{0} : (uint64_t{1} << (bit + 1)) - 1;
        return 1 + before_[w] + PopCount(words_[w] & mask);
    }

private:
    std::vector<uint64_t> words_;
    std::vector<uint32_t> before_;
};

const PiTable& Pis() {
    static const PiTable table;
    return table;
}

// phi(y, c) for c <= kTinyC through the period of the first c primes.
constexpr int kTinyC = 6;

class TinyPhi {
public:
    TinyPhi() {
        const auto& p = SmallPrimes();
        uint32_t product = 1;
        for (int c = 1; c <= kTinyC; ++c) {
            product *= p[c - 1];
            period_[c] = product;
            auto& cum = counts_[c];
            cum.resize(product);
            uint32_t n = 0;
            for (uint32_t r = 0; r < product; ++r) {
                bool coprime = r != 0;
                for (int k = 0; k < c && coprime; ++k) coprime = r % p[k] != 0;
                n += coprime;
                cum[r] = n;
            }
            totient_[c] = n;
        }
    }

    uint32_t operator()(uint32_t y, int c) const {
        if (c == 0) return y;
        return y / period_[c] * totient_[c] + counts_[c][y % period_[c]];
    }

private:
    std::array<uint32_t, kTinyC + 1> period_{};
    std::array<uint32_t, kTinyC + 1> totient_{};
    std::array<std::vector<uint32_t>, kTinyC + 1> counts_;
};

// Legendre's phi(y, c): how many of 1..y have no prime factor among the first c primes.
// 32-bit arguments, as the divisions here are most of the work of counting.
class LegendrePhi {
public:
    LegendrePhi() : p_(SmallPrimes().data()), pis_(Pis()) {}

    uint32_t operator()(uint32_t y, int c) const {
        if (c <= kTinyC) return tiny_(y, c);
        const uint64_t next = p_[c];
        if (y < next * next && y <= kPiLimit) {
            // Below the square of the next prime only 1 and the primes above p_c are left.
            const auto pi = static_cast<uint32_t>(pis_.Pi(y));
            return pi > static_cast<uint32_t>(c) ? pi - c + 1 : (y > 0 ? 1 : 0);
        }
        uint32_t sum = tiny_(y, kTinyC);
        for (int i = kTinyC; i < c; ++i) {
            const uint32_t q = y / p_[i];
            if (q == 0) break;
            sum -= (*this)(q, i);
        }
        return sum;
    }

private:
    const uint32_t* p_;
    const PiTable& pis_;
    TinyPhi tiny_;
};

uint64_t IntSqrt(uint64_t x) {
    uint64_t r = static_cast<uint64_t>(std::sqrt(static_cast<long double>(x)));
    while (r * r > x) --r;
    while ((r + 1) * (r + 1) <= x) ++r;
    return r;
}

uint64_t IntCbrt(uint64_t x) {
    uint64_t r = static_cast<uint64_t>(std::cbrt(static_cast<long double>(x)));
    while (r * r * r > x) --r;
    while ((r + 1) * (r + 1) * (r + 1) <= x) ++r;
    return r;
}

// pi(x) for any x below 2^32 without a sieve up to x: Meissel's formula
// pi(x) = phi(x, a) + a - 1 - sum over a < i <= b of (pi(x / p_i) - i + 1)
// with a = pi(x^(1/3)) and b = pi(x^(1/2)).
uint64_t CountPrimes(uint64_t x) {
    const PiTable& pis = Pis();
    if (x <= kPiLimit) return pis.Pi(x);
    static const LegendrePhi phi;
    const auto& p = SmallPrimes();
    const uint64_t a = pis.Pi(IntCbrt(x));
    const uint64_t b = pis.Pi(IntSqrt(x));
    uint64_t result = phi(static_cast<uint32_t>(x), static_cast<int>(a)) + a - 1;
    for (uint64_t i = a + 1; i <= b; ++i) result -= pis.Pi(x / p[i - 1]) - (i - 1);
    return result;
}

// The logarithmic integral by Ramanujan's series.
long double LogIntegral(long double x) {
    constexpr long double kEulerGamma = 0.5772156649015328606065120900824024L;
    const long double lnx = std::log(x);
    long double sum = 0;
    long double term = 1;   // (ln x)^n / (n! 2^(n-1)), built up step by step
    long double inner = 0;  // sum of 1/(2k+1) for k up to (n-1)/2
    for (int n = 1; n < 200; ++n) {
        term *= lnx / n;
        if (n > 1) term /= 2;
        if ((n - 1) % 2 == 0) inner += 1.0L / n;
        const long double add = ((n % 2 == 1) ? term : -term) * inner;
        sum += add;
        if (std::fabs(add) < 1e-18L * std::fabs(sum)) break;
    }
    return kEulerGamma + std::log(lnx) + std::sqrt(x) * sum;
}

// A guess at the n-th prime: li^-1(n), within a few ten thousand of it below 2^32.
uint64_t GuessNthPrime(uint64_t n) {
    long double x = n * std::log(static_cast<long double>(n));
    for (int step = 0; step < 30; ++step) {
        const long double next = x - (LogIntegral(x) - n) * std::log(x);
        if (std::fabs(next - x) < 0.5L) {
            x = next;
            break;
        }
        x = next;
    }
    return static_cast<uint64_t>(std::clamp(x, 3.0L, static_cast<long double>(kTwo32 - 1)));
}

// The n-th prime for primes beyond the table: count up to a guess, then
// sieve forward or backward from it to the exact prime.
uint64_t ComputeNthPrime(uint64_t n) {
    const uint64_t guess = GuessNthPrime(n);
    uint64_t count = CountPrimes(guess);  // primes <= guess
    OddSieve sieve;
    if (count < n) {
        for (uint64_t lo = guess + 1; lo < kTwo32; lo += kSegmentSpan) {
            sieve.Sieve(lo, std::min(lo + kSegmentSpan, kTwo32));
            const uint64_t here = sieve.Count();
            if (count + here >= n) return sieve.Nth(n - count);
            count += here;
        }
    } else {
        for (uint64_t hi = guess + 1; hi > 2;) {
            const uint64_t lo = hi > kSegmentSpan + 2 ? hi - kSegmentSpan : 2;
            sieve.Sieve(lo, hi);
            const uint64_t here = sieve.Count();
            if (count - here < n) return sieve.Nth(n - (count - here));
            count -= here;
            hi = lo;
        }
    }
    throw std::logic_error("ComputeNthPrime ran out of range");
}

uint64_t PowMod(uint64_t base, uint64_t exp, uint64_t mod) {
    uint64_t result = 1;
    base %= mod;
    for (; exp != 0; exp >>= 1) {
        if (exp & 1) result = result * base % mod;
        base = base * base % mod;
    }
    return result;
}

// Deterministic Miller-Rabin: the bases 2, 7 and 61 decide every n below 4759123141.
bool MillerRabin(uint32_t n) {
    if (n < 2) return false;
    for (uint32_t p : {2u, 3u, 5u, 7u, 11u, 13u, 61u}) {
        if (n % p == 0) return n == p;
    }
    uint64_t d = n - 1;
    int s = 0;
    while (d % 2 == 0) {
        d /= 2;
        ++s;
    }
    for (uint64_t a : {2u, 7u, 61u}) {
        uint64_t x = PowMod(a, d, n);
        if (x == 1 || x == n - 1) continue;
        bool composite = true;
        for (int r = 1; r < s && composite; ++r) {
            x = x * x % n;
            composite = x != n - 1;
        }
        if (composite) return false;
    }
    return true;
}

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

std::string PrimeIndexRange() {
    return " (erlaubt sind 0 bis " + std::to_string(kLargestPrimeIndex) + ")";
}

}  // namespace

const std::vector<uint32_t>& Primes() { return g_primes; }

void ResetPrimes() { g_primes.assign({2, 3}); }

void NextPrime() {
    // The table always reaches the square root of the next candidate
    // (there is a prime between p and 2p), so its own primes decide.
    for (uint64_t candidate = uint64_t{g_primes.back()} + 2;; candidate += 2) {
        if (candidate >= kTwo32) throw EInvalidInput("Es gibt keine größere Primzahl unter 2^32");
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

uint32_t NthPrime(int32_t n) {
    if (n < 0)
        throw EInvalidInput("Es gibt keine Primzahl mit der Nummer " + std::to_string(n) +
                            PrimeIndexRange());
    if (n > kLargestPrimeIndex) {
        throw EInvalidInput("Die Primzahl mit der Nummer " + std::to_string(n) +
                            " ist größer als 4294967295" + PrimeIndexRange());
    }
    if (n == 0) return 1;
    const auto wanted = static_cast<size_t>(n);
    if (wanted <= g_primes.size()) return g_primes[wanted - 1];
    if (n <= kPrimeTableBoundCount) {
        GrowTable([&] { return g_primes.size() < wanted; });
        return g_primes[wanted - 1];
    }
    return static_cast<uint32_t>(ComputeNthPrime(wanted));
}

uint32_t IsPrime(int32_t a) {
    if (a < 0) return 0;
    const auto value = static_cast<uint32_t>(a);
    if (value > kPrimeTableBound) return MillerRabin(value) ? 1 : 0;
    GrowTable([&] { return g_primes.back() < value; });
    return std::binary_search(g_primes.begin(), g_primes.end(), value) ? 1 : 0;
}

uint32_t PrimeCount(uint32_t a) {
    if (a >= kPrimeTableBound) return static_cast<uint32_t>(CountPrimes(a));
    // The table ends on the first prime above a, as counting one by one would leave it.
    GrowTable([&] { return g_primes.back() <= a; });
    return static_cast<uint32_t>(std::upper_bound(g_primes.begin(), g_primes.end(), a) -
                                 g_primes.begin());
}
