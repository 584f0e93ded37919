#include "formula/functions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "common/errors.h"
#include "common/messages.h"
#include "support/expect_error.h"

namespace {

constexpr int32_t kMinInt = std::numeric_limits<int32_t>::min();
constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();
constexpr uint32_t kMaxU = std::numeric_limits<uint32_t>::max();

// The references below are deliberately naive and share no code with the unit.

// Primes in [lo, hi] by crossing off the multiples of every integer up to sqrt(hi)
// (only of primes when the window starts at 0).
std::vector<uint64_t> WindowPrimes(uint64_t lo, uint64_t hi) {
    std::vector<char> composite(hi - lo + 1, 0);
    for (uint64_t d = 2; d * d <= hi; ++d) {
        if (lo == 0 && composite[d]) continue;  // its prime factors have done its work
        for (uint64_t m = std::max(d * d, (lo + d - 1) / d * d); m <= hi; m += d)
            composite[m - lo] = 1;
    }
    std::vector<uint64_t> primes;
    for (uint64_t n = std::max<uint64_t>(lo, 2); n <= hi; ++n) {
        if (!composite[n - lo]) primes.push_back(n);
    }
    return primes;
}

// All primes up to a little beyond 2^22, computed once.
const std::vector<uint64_t>& LowPrimes() {
    static const std::vector<uint64_t> primes = WindowPrimes(0, (1u << 22) + 1000);
    return primes;
}

uint64_t LowPi(uint64_t a) {
    const auto& p = LowPrimes();
    return std::upper_bound(p.begin(), p.end(), a) - p.begin();
}

// The sum of the divisors of n, found by trying every d up to sqrt(n).
uint64_t DivisorSum(uint64_t n) {
    uint64_t sum = 0;
    for (uint64_t d = 1; d * d <= n; ++d) {
        if (n % d != 0) continue;
        sum += d;
        if (d * d != n) sum += n / d;
    }
    return sum;
}

uint32_t TotientByTrial(uint32_t n) {
    uint64_t result = n, m = n;
    for (uint64_t d = 2; d * d <= m; ++d) {
        if (m % d != 0) continue;
        while (m % d == 0) m /= d;
        result -= result / d;
    }
    if (m > 1) result -= result / m;
    return static_cast<uint32_t>(result);
}

bool TableIsPrefixOfPrimes() {
    const auto& t = Primes();
    const auto& ref = LowPrimes();
    return t.size() >= 2 && t.size() <= ref.size() && std::equal(t.begin(), t.end(), ref.begin());
}

class Functions : public ::testing::Test {
protected:
    void SetUp() override { ResetPrimes(); }
    void TearDown() override { ResetPrimes(); }
};

TEST_F(Functions, DocumentedValues) {
    const struct {
        const char* call;
        uint32_t got;
        uint32_t expected;
    } cases[] = {
        {"NthPrime(0)", NthPrime(0), 1},
        {"NthPrime(1)", NthPrime(1), 2},
        {"NthPrime(2)", NthPrime(2), 3},
        {"NthPrime(4792)", NthPrime(4792), 46337},
        {"NthPrime(4793)", NthPrime(4793), 46349},
        {"IsPrime(0)", IsPrime(0), 0},
        {"IsPrime(1)", IsPrime(1), 0},
        {"IsPrime(-7)", IsPrime(-7), 0},
        {"IsPrime(2)", IsPrime(2), 1},
        {"IsPrime(46349)", IsPrime(46349), 1},
        {"IsPrime(46341)", IsPrime(46341), 0},
        {"PrimeCount(0)", PrimeCount(0), 0},
        {"PrimeCount(1)", PrimeCount(1), 0},
        {"PrimeCount(2)", PrimeCount(2), 1},
        {"PrimeCount(100)", PrimeCount(100), 25},
        {"Sigma(0)", Sigma(0), 0},
        {"Sigma(1)", Sigma(1), 1},
        {"Sigma(2)", Sigma(2), 1},
        {"Sigma(6)", Sigma(6), 6},
        {"Sigma(12)", Sigma(12), 16},
        {"Sigma(28)", Sigma(28), 28},
        {"Phi(0)", Phi(0), 1},
        {"Phi(1)", Phi(1), 1},
        {"Phi(2)", Phi(2), 1},
        {"Phi(9)", Phi(9), 6},
        {"Phi(10)", Phi(10), 4},
        {"Gcd(12, 18)", Gcd(12, 18), 6},
        {"Gcd(5, 0)", Gcd(5, 0), 5},
        {"Gcd(0, 5)", Gcd(0, 5), 5},
        {"Gcd(0, 0)", Gcd(0, 0), 0},
        {"Gcd(-4, 6)", Gcd(static_cast<uint32_t>(-4), 6), 6},
        {"Lcm(4, 6)", Lcm(4, 6), 12},
        {"Lcm(5, 0)", Lcm(5, 0), 0},
        {"Lcm(0, 5)", Lcm(0, 5), 0},
        {"Lcm(100000, 200000)", Lcm(100000, 200000), 200000},
        {"PosMod(-7, 3)", PosMod(-7, 3), 2},
        {"PosMod(7, 3)", PosMod(7, 3), 1},
        {"PosMod(7, -3)", PosMod(7, -3), 1},
        {"PosMod(-7, -3)", PosMod(-7, -3), 2},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.call;
}

TEST_F(Functions, RefusalsCarryTheirMessages) {
    EXPECT_EQ(MessageOf<EInvalidOp>([] { Lcm(0, 0); }), msg::InvalidFloatOp);
    for (int32_t a : {7, 0, -7, kMinInt, kMaxInt})
        EXPECT_EQ(MessageOf<EDivByZero>([&] { PosMod(a, 0); }), "Division durch Null") << a;
    for (int32_t n : {-1, kMinInt, kLargestPrimeIndex + 1, kMaxInt}) {
        const std::string message = MessageOf<EInvalidInput>([&] { NthPrime(n); });
        EXPECT_NE(message.find(std::to_string(n)), std::string::npos) << message;
        EXPECT_EQ(message.find("<"), std::string::npos) << message;
        EXPECT_EQ(Primes().size(), 2u) << "a refused call must not grow the table";
    }
}

TEST_F(Functions, PosModIsTheRemainderModuloAbsoluteB) {
    const int32_t values[] = {kMinInt, kMinInt + 1, -1000000007, -12, -7, -3,         -1,
                              0,       1,           3,           7,   12, 1000000007, kMaxInt};
    for (int32_t a : values) {
        for (int32_t b : values) {
            if (b == 0) continue;
            const int64_t r = PosMod(a, b);
            const int64_t m = b < 0 ? -int64_t{b} : b;
            EXPECT_TRUE(r >= 0 && r < m && (int64_t{a} - r) % m == 0)
                << a << " mod " << b << " gave " << r;
        }
    }
}

TEST_F(Functions, TheBoundIsTheLargestPrimeBelow2To22) {
    const auto& ref = LowPrimes();
    const auto last = std::upper_bound(ref.begin(), ref.end(), uint64_t{1} << 22) - 1;
    EXPECT_EQ(*last, kPrimeTableBound);
    EXPECT_EQ(last - ref.begin() + 1, kPrimeTableBoundCount);
}

// Each call leaves the table exactly where the one-prime-at-a-time rules would.
TEST_F(Functions, TableGrowsExactlyAsFarAsEachCallNeeds) {
    enum Kind { Nth, Is, Count };
    const struct {
        Kind kind;
        uint32_t arg;
    } calls[] = {
        {Is, 10},     {Is, 11},         {Count, 11},   {Nth, 7},      {Nth, 40},
        {Count, 500}, {Is, 100000},     {Is, 1000},    {Nth, 20000},  {Count, 1000000},
        {Is, 17},     {Count, 4194300}, {Nth, 295947}, {Is, 4194301}, {Count, 4194301},
    };
    const auto& ref = LowPrimes();
    size_t expected = 2;
    for (const auto& c : calls) {
        switch (c.kind) {
            case Nth:
                NthPrime(static_cast<int32_t>(c.arg));
                expected = std::max<size_t>(expected, c.arg);
                break;
            case Is:  // up to the first prime not below a
                IsPrime(static_cast<int32_t>(c.arg));
                expected = std::max<size_t>(
                    expected, std::lower_bound(ref.begin(), ref.end(), c.arg) - ref.begin() + 1);
                break;
            case Count:  // up to the first prime above a, unless that lies past the bound
                PrimeCount(c.arg);
                if (c.arg < kPrimeTableBound) {
                    expected =
                        std::max<size_t>(expected, std::upper_bound(ref.begin(), ref.end(), c.arg) -
                                                       ref.begin() + 1);
                }
                break;
        }
        EXPECT_EQ(Primes().size(), expected) << "after call kind " << c.kind << " of " << c.arg;
        EXPECT_TRUE(TableIsPrefixOfPrimes());
    }
    EXPECT_EQ(Primes().back(), kPrimeTableBound);
}

TEST_F(Functions, NextPrimeAppendsTheFollowingPrime) {
    for (int i = 0; i < 2000; ++i) NextPrime();
    EXPECT_EQ(Primes().size(), 2002u);
    EXPECT_TRUE(TableIsPrefixOfPrimes());
}

TEST_F(Functions, TableFoundForOneFormulaServesTheOther) {
    for (int32_t n = 0; n <= 100; ++n) NthPrime(n);
    ASSERT_EQ(Primes().size(), 100u);
    ASSERT_EQ(Primes().back(), 541u);
    for (int32_t a = -5; a <= 541; ++a) IsPrime(a);
    EXPECT_EQ(Primes().size(), 100u);
}

TEST_F(Functions, ArgumentsBeyondTheBoundLeaveTheTableAlone) {
    NthPrime(1000);
    IsPrime(kMaxInt);
    IsPrime(kPrimeTableBound + 1);
    PrimeCount(kMaxU);
    PrimeCount(kPrimeTableBound);
    NthPrime(kPrimeTableBoundCount + 1);
    NthPrime(kLargestPrimeIndex);
    Sigma(kMaxU);
    Phi(4294967291u);
    EXPECT_EQ(Primes().size(), 1000u);
    EXPECT_TRUE(TableIsPrefixOfPrimes());
}

TEST_F(Functions, PrimeFunctionsAgreeWithASieveBelow2To22) {
    const auto& ref = LowPrimes();
    for (int32_t a = -3; a <= 200000; ++a) {
        ASSERT_EQ(IsPrime(a),
                  std::binary_search(ref.begin(), ref.end(), static_cast<uint64_t>(a)) ? 1u : 0u)
            << a;
    }
    for (uint32_t a = 0; a <= 200000; a += 7) ASSERT_EQ(PrimeCount(a), LowPi(a)) << a;
    // Across the bound, where table look-up gives way to computing.
    for (uint32_t a = kPrimeTableBound - 3000; a <= kPrimeTableBound + 900; ++a) {
        ASSERT_EQ(IsPrime(static_cast<int32_t>(a)),
                  std::binary_search(ref.begin(), ref.end(), a) ? 1u : 0u)
            << a;
    }
    for (uint32_t a = kPrimeTableBound - 300; a <= kPrimeTableBound + 900; a += 3)
        ASSERT_EQ(PrimeCount(a), LowPi(a)) << a;
    for (int32_t n = kPrimeTableBoundCount - 20; n < static_cast<int32_t>(ref.size()); ++n) {
        ASSERT_EQ(NthPrime(n), ref[n - 1]) << n;
    }
}

TEST_F(Functions, PublishedPrimeCountsAndPrimes) {
    const struct {
        uint32_t x;
        uint32_t pi;
    } counts[] = {
        {10000000, 664579},      {100000000, 5761455},     {1000000000, 50847534},
        {2147483647, 105097565}, {2147483648u, 105097565}, {4294967295u, 203280221},
    };
    for (const auto& c : counts) EXPECT_EQ(PrimeCount(c.x), c.pi) << c.x;
    const struct {
        int32_t n;
        uint32_t prime;
    } primes[] = {
        {1000000, 15485863},
        {10000000, 179424673},
        {100000000, 2038074743},
        {105097565, 2147483647},
        {kLargestPrimeIndex, 4294967291u},
    };
    for (const auto& c : primes) EXPECT_EQ(NthPrime(c.n), c.prime) << c.n;
}

// Near 2^31 and 2^32, against a window sieve anchored to pi(2^31) and pi(2^32).
TEST_F(Functions, PrimeFunctionsAgreeWithWindowSievesAtTheTop) {
    const struct {
        uint64_t top;
        uint64_t piOfTop;
    } windows[] = {{2147483647, 105097565}, {4294967295u, 203280221}};
    for (const auto& w : windows) {
        const uint64_t lo = w.top - 30000;
        const auto primes = WindowPrimes(lo, w.top);
        // pi(a) = pi(top) - primes in (a, top]
        for (uint64_t a = lo; a <= w.top; a += 1499) {
            const uint64_t above = primes.end() - std::upper_bound(primes.begin(), primes.end(), a);
            ASSERT_EQ(PrimeCount(static_cast<uint32_t>(a)), w.piOfTop - above) << a;
        }
        for (size_t k = 0; k < 12; ++k) {
            const auto n = static_cast<int32_t>(w.piOfTop - k);
            ASSERT_EQ(NthPrime(n), primes[primes.size() - 1 - k]) << n;
        }
        if (w.top <= static_cast<uint64_t>(kMaxInt)) {
            for (uint64_t a = lo; a <= w.top; ++a) {
                ASSERT_EQ(IsPrime(static_cast<int32_t>(a)),
                          std::binary_search(primes.begin(), primes.end(), a) ? 1u : 0u)
                    << a;
            }
        }
    }
}

// Composites above the bound that pass the strong test to base 2 alone
// (25326001 passes bases 2, 3 and 5 too).
TEST_F(Functions, StrongPseudoprimesAreNoPrimes) {
    for (int32_t n : {4335241, 4360621, 4502485, 5016191, 25326001}) {
        ASSERT_NE(TotientByTrial(static_cast<uint32_t>(n)), static_cast<uint32_t>(n) - 1)
            << n << " is prime";
        EXPECT_EQ(IsPrime(n), 0u) << n;
    }
}

// Counting and walking to the n-th prime are separate methods; check one by the other.
TEST_F(Functions, NthPrimeAndPrimeCountAreInverse) {
    std::mt19937 random(20240611);
    for (int i = 0; i < 12; ++i) {
        const uint32_t a = std::uniform_int_distribution<uint32_t>(kPrimeTableBound, kMaxU)(random);
        const uint32_t k = PrimeCount(a);
        const uint32_t below = NthPrime(static_cast<int32_t>(k));
        EXPECT_LE(below, a);
        if (k < static_cast<uint32_t>(kLargestPrimeIndex)) {
            EXPECT_GT(NthPrime(static_cast<int32_t>(k) + 1), a) << a;
        }
        EXPECT_EQ(PrimeCount(below), k);
        EXPECT_EQ(PrimeCount(below - 1), k - 1);
    }
}

TEST_F(Functions, SigmaAndPhiAgreeWithCountingForSmallN) {
    for (uint32_t n = 2; n <= 3000; ++n) {
        uint32_t coprime = 1;  // 1 itself, then every k from 2 to n - 1
        for (uint32_t k = 2; k < n; ++k) coprime += std::gcd(k, n) == 1;
        ASSERT_EQ(Phi(n), coprime) << n;
        ASSERT_EQ(Sigma(n), static_cast<uint32_t>(DivisorSum(n) - n)) << n;
    }
}

TEST_F(Functions, SigmaAndPhiAcrossThe32BitRange) {
    std::vector<uint32_t> values = {
        65536u,      65537u,      65521u * 65519u, 65521u * 65521u, 2147483647u, 2147483648u,
        3491888400u, 4294967291u, 4294967294u,     4294967295u,     4294967279u, 3221225472u,
    };
    std::mt19937 random(7);
    for (int i = 0; i < 300; ++i)
        values.push_back(std::uniform_int_distribution<uint32_t>(2, kMaxU)(random));
    for (uint32_t n : values) {
        EXPECT_EQ(Sigma(n), static_cast<uint32_t>(DivisorSum(n) - n)) << n;
        EXPECT_EQ(Phi(n), TotientByTrial(n)) << n;
    }
    // 3491888400 has so many divisors that their sum wraps past 2^32.
    EXPECT_GT(DivisorSum(3491888400u) - 3491888400u, uint64_t{kMaxU});
}

TEST_F(Functions, FactorizeGivesIncreasingPrimePowersThatMultiplyBack) {
    EXPECT_TRUE(Factorize(0).empty());
    EXPECT_TRUE(Factorize(1).empty());
    std::mt19937 random(11);
    for (int i = 0; i < 300; ++i) {
        const uint32_t n = std::uniform_int_distribution<uint32_t>(2, kMaxU)(random);
        uint64_t product = 1;
        uint32_t previous = 1;
        for (const TPTeiler& f : Factorize(n)) {
            EXPECT_GT(f.Prime, previous);
            EXPECT_EQ(TotientByTrial(f.Prime), f.Prime - 1) << f.Prime << " is no prime";
            EXPECT_EQ(f.Current, 0);
            for (int32_t k = 0; k < f.Exponent; ++k) product *= f.Prime;
            previous = f.Prime;
        }
        EXPECT_EQ(product, n);
    }
}

TEST_F(Functions, GcdAndLcmAgreeWithTheStandardLibrary) {
    std::vector<std::pair<uint32_t, uint32_t>> pairs = {
        {2971215073u, 1836311903u}, {kMaxU, kMaxU - 1}, {kMaxU, kMaxU},
        {65536, 65521u * 65519u},   {1, kMaxU},         {0, kMaxU},
        {4294967291u, 4294967279u},
    };
    std::mt19937 random(3);
    std::uniform_int_distribution<uint32_t> any;
    for (int i = 0; i < 500; ++i) {
        const uint32_t common = std::uniform_int_distribution<uint32_t>(1, 5000)(random);
        pairs.emplace_back(any(random) / common * common, any(random) / common * common);
    }
    for (auto [a, b] : pairs) {
        const uint64_t g = std::gcd(uint64_t{a}, uint64_t{b});
        EXPECT_EQ(Gcd(a, b), g) << a << ", " << b;
        if (a != 0 || b != 0) {
            EXPECT_EQ(Lcm(a, b), static_cast<uint32_t>(std::lcm(uint64_t{a}, uint64_t{b})))
                << a << ", " << b;
        }
    }
}

}  // namespace
