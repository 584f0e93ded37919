#include "formula/builtin_functions.h"

#include <string>

#include "common/errors.h"
#include "formula/formulaparser.h"
#include "formula/functions.h"

int32_t LookupFunction(std::string_view name) {
    std::string upper(name);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    static const struct {
        const char* name;
        Function function;
    } table[] = {
        {"KGV", kLcm},
        {"LCM", kLcm},
        {"GGT", kGcd},
        {"GCD", kGcd},
        {"PRIMZAHL", kNthPrime},
        {"PRIME", kNthPrime},
        {"PRIMBOOL", kIsPrime},
        {"PRIMEBOOL", kIsPrime},
        {"SIGMA", kSigma},
        {"PHI", kPhi},
        {"PRIMCOUNT", kPrimeCount},
        {"PRIMECOUNT", kPrimeCount},
        {"DIV", kDiv},
        {"MOD", kMod},
    };
    for (const auto& entry : table)
        if (upper == entry.name) return entry.function;
    return kUnknown;
}

long double ApplyFunction(int32_t function, long double a, long double b) {
    if (function == kUnknown) return 0;
    if (function == kDiv) {
        const int64_t x = RoundToInt64(a);
        const int64_t y = RoundToInt64(b);
        if (y == 0) throw EDivByZero(msg::DivisionByZero);
        // The one quotient of two 64-bit integers that has no 64-bit result.
        if (x == INT64_MIN && y == -1) return 9223372036854775808.0L;
        return static_cast<long double>(x / y);
    }
    const auto x = static_cast<uint32_t>(RoundToInt64(a));
    switch (function) {
        case kLcm:
            return Lcm(x, static_cast<uint32_t>(RoundToInt64(b)));
        case kGcd:
            return Gcd(x, static_cast<uint32_t>(RoundToInt64(b)));
        case kNthPrime:
            return static_cast<int32_t>(NthPrime(static_cast<int32_t>(x)));
        case kIsPrime:
            return static_cast<int32_t>(IsPrime(static_cast<int32_t>(x)));
        case kSigma:
            return Sigma(x);
        case kPhi:
            return Phi(x);
        case kPrimeCount:
            return PrimeCount(x);
        case kMod:
            return static_cast<int32_t>(
                PosMod(static_cast<int32_t>(x),
                       static_cast<int32_t>(static_cast<uint32_t>(RoundToInt64(b)))));
        default:
            return 0;
    }
}
