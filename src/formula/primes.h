#pragma once
// Primes for the formula language: the shared prime table, and the n-th
// prime, primality and prime counting for every 32-bit argument.
//
// The prime table grows only while the prime asked for is at most
// kPrimeTableBound; answers beyond it are computed (Miller-Rabin, Meissel's
// prime counting, a sieve walk) without touching the table, so a formula
// such as PRIMECOUNT(0-1) neither freezes the window nor fills the memory.
#include <cstdint>
#include <vector>

// The largest prime the table may hold (the largest prime below 2^22, a few MB
// of table at most), and how many primes lie at or below it.
inline constexpr uint32_t kPrimeTableBound = 4194301;
inline constexpr int32_t kPrimeTableBoundCount = 295947;
// The largest n whose n-th prime fits in 32 bits (that prime is 4294967291).
inline constexpr int32_t kLargestPrimeIndex = 203280221;

// The shared table of primes: always exactly the first m primes, growing only at its end.
const std::vector<uint32_t>& Primes();
// Sets the table back to its start-up content, 2 and 3.
void ResetPrimes();
// Appends the next prime to the table.
void NextPrime();

// All primes below 65536 (2 included): enough to factorise, or to sieve, any
// number below 2^32. Apart from the shared table, so that factorising leaves
// the table exactly as large as the prime functions alone make it.
const std::vector<uint32_t>& SmallPrimes();

// The n-th prime counted from 1; 1 for n = 0. A negative n, or one above
// kLargestPrimeIndex, raises EInvalidInput.
uint32_t NthPrime(int32_t n);
// 1 if a is prime, else 0 (0 for every negative a).
uint32_t IsPrime(int32_t a);
// The number of primes not above a.
uint32_t PrimeCount(uint32_t a);
