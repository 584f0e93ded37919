#pragma once
// Integer arithmetic behind the formula language's built-in functions.
// All functions work on 32-bit integers; the only lasting state visible to
// callers is the shared prime table.
//
// Every function answers exactly and quickly for every 32-bit argument.
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

// One prime factor of a number; Current is the exponent chosen for the
// divisor being built while Sigma enumerates the divisors.
struct TPTeiler {
    uint32_t Prime = 0;
    int32_t Exponent = 0;
    int32_t Current = 0;
};

// The prime factors of n in increasing order, each with Current = 0;
// empty for 0 and 1.
std::vector<TPTeiler> Factorize(uint32_t n);

// The n-th prime counted from 1; 1 for n = 0. A negative n, or one above
// kLargestPrimeIndex, raises EInvalidInput.
uint32_t NthPrime(int32_t n);
// 1 if a is prime, else 0 (0 for every negative a).
uint32_t IsPrime(int32_t a);
// The number of primes not above a.
uint32_t PrimeCount(uint32_t a);
// The sum of the divisors of n less n itself, modulo 2^32; 1 for n = 1, 0 for n = 0.
uint32_t Sigma(uint32_t n);
// Euler's totient of n; 1 for n = 0, 1 and 2.
uint32_t Phi(uint32_t n);
// Greatest common divisor; Gcd(a, 0) = a.
uint32_t Gcd(uint32_t a, uint32_t b);
// The low 32 bits of the least common multiple; 0 if one argument is 0,
// "Ungültige Gleitkommaoperation" if both are.
uint32_t Lcm(uint32_t a, uint32_t b);

// The non-negative remainder of a by b, that is a mod |b|; "Division durch
// Null" for b = 0. Shared by the formula function MOD and the note and tempo maps.
uint32_t PosMod(int32_t a, int32_t b);
