#include "formula/builtin_functions.h"

#include <array>
#include <cstdint>

#include "common/errors.h"
#include "formula/formula_text.h"
#include "formula/formulaparser.h"
#include "formula/functions.h"

namespace {

using enum ArgumentReading;

auto U(int64_t v) { return static_cast<uint32_t>(v); }
auto S(int64_t v) { return static_cast<int32_t>(v); }

// DIV truncates: the integer quotient is the result. The one quotient that
// has no 64-bit result is left to the callers (see Beyond64).
int64_t Quotient(int64_t a, int64_t b) {
    if (b == 0) throw EDivByZero(msg::DivisionByZero);
    return a / b;
}

// Whether a function's result lies beyond int64: only DIV(-2^63; -1), 2^63.
bool Beyond64(const BuiltinFunction& function, int64_t x, int64_t y) {
    return function.apply == Quotient && x == INT64_MIN && y == -1;
}

// clang-format off
constexpr std::array kFunctions = {
    BuiltinFunction{"KGV", "LCM", 2, kUnsigned32,
                    [](int64_t a, int64_t b) -> int64_t { return Lcm(U(a), U(b)); }},
    BuiltinFunction{"GGT", "GCD", 2, kUnsigned32,
                    [](int64_t a, int64_t b) -> int64_t { return Gcd(U(a), U(b)); }},
    BuiltinFunction{"PRIMZAHL", "PRIME", 1, kSigned32,
                    [](int64_t a, int64_t) -> int64_t { return NthPrime(S(a)); }},
    BuiltinFunction{"PRIMBOOL", "PRIMEBOOL", 1, kSigned32,
                    [](int64_t a, int64_t) -> int64_t { return IsPrime(S(a)); }},
    BuiltinFunction{"SIGMA", "SIGMA", 1, kUnsigned32,
                    [](int64_t a, int64_t) -> int64_t { return Sigma(U(a)); }},
    BuiltinFunction{"PHI", "PHI", 1, kUnsigned32,
                    [](int64_t a, int64_t) -> int64_t { return Phi(U(a)); }},
    BuiltinFunction{"PRIMCOUNT", "PRIMECOUNT", 1, kUnsigned32,
                    [](int64_t a, int64_t) -> int64_t { return PrimeCount(U(a)); }},
    BuiltinFunction{"DIV", "DIV", 2, kInt64, Quotient},
    BuiltinFunction{"MOD", "MOD", 2, kSigned32,
                    [](int64_t a, int64_t b) -> int64_t { return PosMod(S(a), S(b)); }},
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

// Read for an integer argument; false where Read would refuse it.
bool ReadExact(ArgumentReading reading, int64_t value, int64_t& read) {
    if (reading == kInt64) {
        read = value;
        return true;
    }
    if (value < INT32_MIN || value > UINT32_MAX) return false;
    read = reading == kSigned32 ? S(value) : U(value);
    return true;
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
    if (Beyond64(*function, x, y)) return 9223372036854775808.0L;
    return static_cast<long double>(function->apply(x, y));
}

bool ApplyExact(const BuiltinFunction* function, int64_t a, int64_t b, int64_t& result) {
    if (function == nullptr) {
        result = 0;
        return true;
    }
    int64_t x = 0;
    int64_t y = 0;
    if (!ReadExact(function->reading, a, x)) return false;
    if (function->arity == 2 && !ReadExact(function->reading, b, y)) return false;
    if (Beyond64(*function, x, y)) return false;
    result = function->apply(x, y);
    return true;
}
