#pragma once
// The formula language's built-in functions: one row per function with its
// names (German and English spellings), how it reads its arguments and what
// it computes.
#include <cstdint>
#include <string_view>

// How a function reads an argument rounded to a 64-bit integer. A 32-bit
// reading takes any argument from -2^31 to 2^32 - 1 and keeps its low 32 bits;
// an argument beyond that range is refused rather than cut.
enum class ArgumentReading {
    kSigned32,    // the low 32 bits as a signed number
    kUnsigned32,  // the low 32 bits as an unsigned number
    kInt64,       // the whole 64-bit integer
};

struct BuiltinFunction {
    std::string_view german;
    std::string_view english;
    int arity;  // 1: the second argument is ignored
    ArgumentReading reading;
    // The exact integer result of the arguments as read.
    int64_t (*apply)(int64_t a, int64_t b);
};

// The row of a function name in any letter case; nullptr when there is none.
const BuiltinFunction* LookupFunction(std::string_view name);
// Applies a function to its arguments, rounded to integers; an unknown
// function (nullptr) yields 0. name is the function as written, for messages.
long double ApplyFunction(const BuiltinFunction* function, std::string_view name, long double a,
                          long double b);
// The same for arguments that are already integers, without the rounding:
// false, with result unset, where ApplyFunction would refuse an argument or
// its result is no signed 64-bit integer, so that the caller can take
// ApplyFunction's way and its message instead.
bool ApplyExact(const BuiltinFunction* function, int64_t a, int64_t b, int64_t& result);
