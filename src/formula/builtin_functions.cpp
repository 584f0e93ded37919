#include "formula/builtin_functions.h"

#include <array>

#include "common/errors.h"
#include "formula/formula_text.h"
#include "formula/formulaparser.h"
#include "formula/functions.h"

namespace {

using enum ArgumentReading;

auto U(int64_t v) { return static_cast<uint32_t>(v); }
auto S(int64_t v) { return static_cast<int32_t>(v); }

long double Quotient(int64_t a, int64_t b) {
    if (b == 0) throw EDivByZero(msg::DivisionByZero);
    // The one quotient of two 64-bit integers that has no 64-bit result.
    if (a == INT64_MIN && b == -1) return 9223372036854775808.0L;
    // DIV truncates: the integer quotient is the result.
    return static_cast<long double>(a / b);  // NOLINT(bugprone-integer-division)
}

// clang-format off
constexpr std::array kFunctions = {
    BuiltinFunction{"KGV", "LCM", 2, kUnsigned32,
                    [](int64_t a, int64_t b) -> long double { return Lcm(U(a), U(b)); }},
    BuiltinFunction{"GGT", "GCD", 2, kUnsigned32,
                    [](int64_t a, int64_t b) -> long double { return Gcd(U(a), U(b)); }},
    BuiltinFunction{"PRIMZAHL", "PRIME", 1, kSigned32,
                    [](int64_t a, int64_t) -> long double { return NthPrime(S(a)); }},
    BuiltinFunction{"PRIMBOOL", "PRIMEBOOL", 1, kSigned32,
                    [](int64_t a, int64_t) -> long double { return IsPrime(S(a)); }},
    BuiltinFunction{"SIGMA", "SIGMA", 1, kUnsigned32,
                    [](int64_t a, int64_t) -> long double { return Sigma(U(a)); }},
    BuiltinFunction{"PHI", "PHI", 1, kUnsigned32,
                    [](int64_t a, int64_t) -> long double { return Phi(U(a)); }},
    BuiltinFunction{"PRIMCOUNT", "PRIMECOUNT", 1, kUnsigned32,
                    [](int64_t a, int64_t) -> long double { return PrimeCount(U(a)); }},
    BuiltinFunction{"DIV", "DIV", 2, kInt64, Quotient},
    BuiltinFunction{"MOD", "MOD", 2, kSigned32,
                    [](int64_t a, int64_t b) -> long double { return PosMod(S(a), S(b)); }},
};
// clang-format on

bool SameName(std::string_view name, std::string_view upper) {
    if (name.size() != upper.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != upper[i]) return false;
    }
    return true;
}

[[noreturn]] void RefuseArgument(std::string_view name, int which, long double value) {
    throw EInvalidInput(std::string(which == 1 ? "Das erste" : "Das zweite") + " Argument von " +
                        Quote(name) + " ist " + IntegerText(value) +
                        "; erlaubt sind -2147483648 bis 4294967295");
}

int64_t Read(ArgumentReading reading, std::string_view name, int which, long double value) {
    if (reading == kInt64) return RoundToInt64(value);
    // The bounds are the extreme values that round into the range.
    if (!(value >= -2147483648.5L && value < 4294967295.5L)) RefuseArgument(name, which, value);
    const int64_t rounded = RoundToInt64(value);
    switch (reading) {
        case kSigned32:
            return S(rounded);
        case kUnsigned32:
            return U(rounded);
        case kInt64:
            break;
    }
    return rounded;
}

}  // namespace

const BuiltinFunction* LookupFunction(std::string_view name) {
    for (const BuiltinFunction& f : kFunctions)
        if (SameName(name, f.german) || SameName(name, f.english)) return &f;
    return nullptr;
}

long double ApplyFunction(const BuiltinFunction* function, std::string_view name, long double a,
                          long double b) {
    if (function == nullptr) return 0;
    const int64_t x = Read(function->reading, name, 1, a);
    const int64_t y = function->arity == 2 ? Read(function->reading, name, 2, b) : 0;
    return function->apply(x, y);
}
