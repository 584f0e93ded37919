#pragma once
// Integer arithmetic behind the formula language's built-in functions.
// All functions work on 32-bit integers; the only state is the shared prime table.
#include <cstdint>
#include <vector>

// The shared table of primes: always exactly the first m primes, growing only at its end.
const std::vector<uint32_t>& Primes();
// Sets the table back to its start-up content, 2 and 3.
void ResetPrimes();
// Appends the next prime to the table.
void NextPrime();

uint32_t NthPrime(int32_t n);
uint32_t IsPrime(int32_t a);
uint32_t PrimeCount(uint32_t a);
uint32_t Sigma(uint32_t n);
uint32_t Phi(uint32_t n);
uint32_t Gcd(uint32_t a, uint32_t b);
uint32_t Lcm(uint32_t a, uint32_t b);

// The non-negative remainder of a by b; "Division durch Null" for b = 0.
// Shared by the formula function MOD and the note and tempo maps.
uint32_t PosMod(int32_t a, int32_t b);
