#include "formula/arithmetic.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/errors.h"
#include "formula/prime_sieve.h"

std::vector<TPTeiler> Factorize(uint32_t n) {
    std::vector<TPTeiler> factors;
    if (n < 2) return factors;
    uint32_t m = n;
    for (uint32_t p : SmallPrimes()) {
        if (uint64_t{p} * p > m) break;
        if (m % p != 0) continue;
        TPTeiler factor{p, 0, 0};
        do {
            m /= p;
            ++factor.Exponent;
        } while (m % p == 0);
        factors.push_back(factor);
    }
    if (m > 1) factors.push_back(TPTeiler{m, 1, 0});
    return factors;
}

uint32_t Sigma(uint32_t n) {
    if (n == 0) return 0;
    if (n == 1) return 1;
    std::vector<TPTeiler> factors = Factorize(n);
    uint64_t divisorCount = 1;
    for (const TPTeiler& f : factors) divisorCount *= static_cast<uint64_t>(f.Exponent) + 1;
    // Visit every combination of exponents once, like an odometer whose
    // lowest digit is the first factor; every divisor is at most n, so the
    // products are exact and only the sum wraps.
    uint32_t sum = 0;
    for (uint64_t pass = 0; pass < divisorCount; ++pass) {
        for (TPTeiler& f : factors) {
            const bool wraps = f.Current == f.Exponent;
            f.Current = wraps ? 0 : f.Current + 1;
            if (!wraps) break;
        }
        uint32_t divisor = 1;
        for (auto f = factors.rbegin(); f != factors.rend(); ++f) {
            for (int32_t k = 0; k < f->Current; ++k) divisor *= f->Prime;
        }
        sum += divisor;
    }
    return sum - n;
}

uint32_t Phi(uint32_t n) {
    // 0 counts as 1 too: no k from 2 up is coprime to it.
    if (n <= 2) return 1;
    uint32_t result = n;
    for (const TPTeiler& f : Factorize(n)) result = result / f.Prime * (f.Prime - 1);
    return result;
}

uint32_t Gcd(uint32_t a, uint32_t b) {
    while (b != 0) {
        const uint32_t r = a % b;
        a = b;
        b = r;
    }
    return a;
}

uint32_t Lcm(uint32_t a, uint32_t b) {
    // The quotient 0 / 0.
    if (a == 0 && b == 0) throw EInvalidOp(msg::InvalidFloatOp);
    if (a == 0 || b == 0) return 0;
    // The product fits in 64 bits and the gcd divides it exactly.
    return static_cast<uint32_t>(uint64_t{a} * b / Gcd(a, b));
}

uint32_t PosMod(int32_t a, int32_t b) {
    if (b == 0) throw EDivByZero(msg::DivisionByZero);
    // Adding |b| while a is negative ends with the same value as one
    // truncating remainder shifted into 0..|b|-1, without the long loop.
    const int64_t m = std::llabs(static_cast<int64_t>(b));
    int64_t r = static_cast<int64_t>(a) % m;
    if (r < 0) r += m;
    return static_cast<uint32_t>(r);
}

uint32_t DecimalRemainder(std::string_view digits, int32_t b) {
    if (b == 0) throw EDivByZero(msg::DivisionByZero);
    const uint64_t m = static_cast<uint64_t>(std::llabs(static_cast<int64_t>(b)));
    uint64_t r = 0;
    for (char c : digits) r = (r * 10 + static_cast<uint64_t>(c - '0')) % m;
    return static_cast<uint32_t>(r);
}
