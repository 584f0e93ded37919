// Feeds arbitrary bytes through the formula pipeline the way the formula
// frame does. Every input must end in a value or in one of the program's
// messages; anything else (a crash, a foreign exception, a non-finite value,
// a canonical text that Parse cannot take apart) stops the fuzzer.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/errors.h"
#include "formula/formulaparser.h"

namespace {

constexpr uint32_t kPredecessorValues[] = {1, 4, 0, 4294967295u, 12, 2147483648u, 7, 3};
constexpr uint32_t kIndices[] = {0, 1, 2, 13, 1000, 4294967295u};

void EvaluateAll(const TTerm& term) {
    for (uint32_t n : kIndices) {
        try {
            const long double value = term.Evaluate(n);
            if (!std::isfinite(value)) std::abort();
        } catch (const Exception&) {
            // a message for the user: fine
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    // Parse on its own must refuse any text it cannot read, without harm.
    {
        TTerm raw;
        try {
            raw.Parse(text);
            raw.MaxPredecessor();
            EvaluateAll(raw);
        } catch (const Exception&) {
        }
    }

    TTerm term;
    std::string canonical;
    try {
        canonical = term.Normalize(text);
    } catch (const EInvalidInput&) {
        return 0;
    }
    // What Normalize accepts, Parse takes apart; only a number beyond 32 bits may fail.
    try {
        term.Parse(canonical);
    } catch (const EConvertError&) {
        return 0;
    } catch (const EInvalidInput&) {
        std::abort();
    }
    const int32_t max = term.MaxPredecessor();
    if (max < 0) std::abort();

    // Size the start values as the formula frame does (capped, so that a
    // large x_k also exercises the missing-start-value message), parse again.
    const size_t count = static_cast<size_t>(max) < std::size(kPredecessorValues) ? static_cast<size_t>(max)
                                                                                   : std::size(kPredecessorValues);
    term.Predecessors.assign(kPredecessorValues, kPredecessorValues + count);
    term.Parse(term.Normalize(text));
    EvaluateAll(term);
    return 0;
}
