#include "formula/prime_count.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "formula/prime_sieve.h"

namespace {

constexpr uint64_t kTwo32 = uint64_t{1} << 32;

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

}  // namespace

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

namespace {

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

}  // namespace

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

namespace {

uint64_t PowMod(uint64_t base, uint64_t exp, uint64_t mod) {
    uint64_t result = 1;
    base %= mod;
    for (; exp != 0; exp >>= 1) {
        if (exp & 1) result = result * base % mod;
        base = base * base % mod;
    }
    return result;
}

}  // namespace

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
