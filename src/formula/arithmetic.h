#pragma once
// Integer arithmetic for the formula language and the maps: factorising,
// divisor sums, the totient, gcd, lcm and the non-negative remainder.
#include <cstdint>
#include <string_view>
#include <vector>

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
// The same remainder for a non-negative decimal number of any length, read
// digit by digit, so that a member too large for any integer type still has one.
uint32_t DecimalRemainder(std::string_view digits, int32_t b);
