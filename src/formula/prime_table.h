#pragma once
// The shared table of primes: the first m primes, growing only at its end,
// and never past kPrimeTableBound.
#include <cstddef>
#include <cstdint>
#include <vector>

// The largest prime the table may hold (the largest prime below 2^22, a few MB
// of table at most), and how many primes lie at or below it.
inline constexpr uint32_t kPrimeTableBound = 4194301;
inline constexpr int32_t kPrimeTableBoundCount = 295947;

// The shared table of primes: always exactly the first m primes, growing only at its end.
const std::vector<uint32_t>& Primes();
// Sets the table back to its start-up content, 2 and 3.
void ResetPrimes();
// Appends the next prime to the table.
void NextPrime();

// Grows the table until it holds count primes; count <= kPrimeTableBoundCount.
void GrowPrimesToCount(size_t count);
// Grows the table until its last prime is at least value; value <= kPrimeTableBound.
void GrowPrimesToReach(uint32_t value);
