#pragma once
// The formula language's built-in functions: their names (German and English
// spellings) and what each computes from its one or two arguments.
#include <cstdint>
#include <string_view>

// Function codes, resolved from a name once per parse.
enum Function : int32_t {
    kUnknown,
    kLcm,
    kGcd,
    kNthPrime,
    kIsPrime,
    kSigma,
    kPhi,
    kPrimeCount,
    kDiv,
    kMod
};

// The code of a function name in any case; kUnknown when there is none.
int32_t LookupFunction(std::string_view name);
// Applies a function to its arguments, rounded to integers; kUnknown yields 0.
long double ApplyFunction(int32_t function, long double a, long double b);
