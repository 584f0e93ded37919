#pragma once
// Primes beyond the shared table, computed without it: counting below any
// 32-bit bound (Meissel's formula), the n-th prime from a count and a sieve
// walk, and a primality test.
#include <cstdint>

// The number of primes not above x, for x below 2^32.
uint64_t CountPrimes(uint64_t x);
// The n-th prime counted from 1, for an n whose prime lies below 2^32.
uint64_t ComputeNthPrime(uint64_t n);
// Whether n is prime, decided without a table.
bool MillerRabin(uint32_t n);
