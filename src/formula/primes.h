#pragma once
// Primes for the formula language: the n-th prime, primality and prime
// counting for every 32-bit argument.
//
// The prime table grows only while the prime asked for is at most
// kPrimeTableBound; answers beyond it are computed (Miller-Rabin, Meissel's
// prime counting, a sieve walk) without touching the table, so a formula
// such as PRIMECOUNT(0-1) neither freezes the window nor fills the memory.
#include <cstdint>

#include "formula/prime_table.h"

// The largest n whose n-th prime fits in 32 bits (that prime is 4294967291).
inline constexpr int32_t kLargestPrimeIndex = 203280221;

// The n-th prime counted from 1; 1 for n = 0. A negative n, or one above
// kLargestPrimeIndex, raises EInvalidInput.
uint32_t NthPrime(int32_t n);
// 1 if a is prime, else 0 (0 for every negative a).
uint32_t IsPrime(int32_t a);
// The number of primes not above a.
uint32_t PrimeCount(uint32_t a);
