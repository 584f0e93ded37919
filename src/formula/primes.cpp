#include "formula/primes.h"

#include <algorithm>
#include <string>

#include "common/errors.h"
#include "formula/prime_count.h"

namespace {

std::string PrimeIndexRange() {
    return " (erlaubt sind 0 bis " + std::to_string(kLargestPrimeIndex) + ")";
}

}  // namespace

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
    const auto& primes = Primes();
    if (wanted <= primes.size()) return primes[wanted - 1];
    if (n <= kPrimeTableBoundCount) {
        GrowPrimesToCount(wanted);
        return Primes()[wanted - 1];
    }
    return static_cast<uint32_t>(ComputeNthPrime(wanted));
}

uint32_t IsPrime(int32_t a) {
    if (a < 0) return 0;
    const auto value = static_cast<uint32_t>(a);
    if (value > kPrimeTableBound) return MillerRabin(value) ? 1 : 0;
    GrowPrimesToReach(value);
    const auto& primes = Primes();
    return std::binary_search(primes.begin(), primes.end(), value) ? 1 : 0;
}

uint32_t PrimeCount(uint32_t a) {
    if (a >= kPrimeTableBound) return static_cast<uint32_t>(CountPrimes(a));
    // The table ends on the first prime above a, as counting one by one would leave it.
    GrowPrimesToReach(a + 1);
    const auto& primes = Primes();
    return static_cast<uint32_t>(std::upper_bound(primes.begin(), primes.end(), a) -
                                 primes.begin());
}
