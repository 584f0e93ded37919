// Feeds arbitrary bytes through the formula pipeline the way the formula
// frame does. Every input must end in a value or in one of the program's
// messages; anything else (a crash, a foreign exception, a non-finite value,
// a canonical text that Parse cannot take apart) stops the fuzzer. Accepted
// formulas are also evaluated by a small independent recursive-descent
// evaluator with the language's precedence; both must agree exactly.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "common/convert.h"
#include "common/errors.h"
#include "formula/formulaparser.h"

namespace {

constexpr int64_t kPredecessorValues[] = {1, 4, 0, -1, 12, 2147483648, INT64_MIN, 3};
constexpr uint32_t kIndices[] = {0, 1, 2, 13, 1000, 4294967295u};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Evaluates a formula that Normalize accepted, straight from its text:
// "-" binds loosest, then "+", "/", "*", "^"; each groups from the left; a
// leading "-" or "+" has 0 as its left operand at its own level. Operands are
// computed left before right, so the first fault is the same as the tree's.
class Reference {
public:
    Reference(const std::string& formula, const TTerm& term, uint32_t n) : term_(term), n_(n) {
        for (size_t i = 0; i < formula.size(); ++i) {
            char c = formula[i];
            if (c == ' ') continue;
            if (c == ':') c = '/';
            if (c == 'X') c = 'x';
            if (!s_.empty() && ((IsDigit(s_.back()) && (c == '(' || IsLetter(c))) ||
                                (s_.back() == 'x' && c == 'x')))
                s_ += '*';
            s_ += c;
        }
    }

    long double Value() {
        if (s_.empty()) return 0;  // the empty formula reads as "+0"
        const long double v = Difference();
        if (i_ != s_.size()) std::abort();
        return v;
    }

private:
    char Peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }

    long double Difference() {
        long double v = Peek() == '-' ? 0 : Sum();
        while (Peek() == '-') {
            ++i_;
            const long double b = Sum();
            v = v - b;
        }
        return v;
    }
    long double Sum() {
        long double v = Peek() == '+' ? 0 : Quotient();
        while (Peek() == '+') {
            ++i_;
            const long double b = Quotient();
            v = v + b;
        }
        return v;
    }
    long double Quotient() {
        long double v = Product();
        while (Peek() == '/') {
            ++i_;
            const long double b = Product();
            if (b == 0)
                throw v == 0 ? Exception(msg::InvalidFloatOp) : Exception(msg::FloatDivisionByZero);
            v = Finite(v / b);
        }
        return v;
    }
    long double Product() {
        long double v = Power();
        while (Peek() == '*') {
            ++i_;
            const long double b = Power();
            v = Finite(v * b);
        }
        return v;
    }
    long double Power() {
        long double v = Atom();
        while (Peek() == '^') {
            ++i_;
            const long double b = Atom();
            v = Finite(Raise(v, b));
        }
        return v;
    }
    static long double Finite(long double v) {
        if (std::isinf(v)) throw Exception(msg::FloatOverflow);
        return v;
    }
    static long double Raise(long double a, long double b) {
        if (b == 0) return 1;
        if (a == 0) {
            if (b > 0) return 0;
            throw Exception(msg::FloatDivisionByZero);
        }
        if (std::fabs(b) <= 2147483647.0L && b == std::trunc(b)) {
            auto bits = static_cast<uint32_t>(std::fabs(b));
            long double result = 1, square = a;
            for (;;) {
                if (bits & 1) result *= square;
                if ((bits >>= 1) == 0) break;
                square *= square;
            }
            return b < 0 ? 1 / result : result;
        }
        if (a < 0) throw Exception(msg::InvalidFloatOp);
        return std::exp(b * std::log(a));
    }
    uint32_t Digits() {
        const size_t start = i_;
        while (IsDigit(Peek())) ++i_;
        return static_cast<uint32_t>(StrToInt(s_.substr(start, i_ - start)));
    }
    long double Atom() {
        const char c = Peek();
        if (IsDigit(c)) return Digits();
        if (c == 'x') {
            ++i_;
            if (Peek() == '_') ++i_;
            if (!IsDigit(Peek())) return n_;
            const uint32_t k = Digits();
            if (k == 0) return n_;
            if (k > term_.Predecessors.size())
                throw Exception("Für x_" + std::to_string(k) + " fehlt der Startwert");
            return term_.Predecessors[k - 1];
        }
        if (c == '(') {
            ++i_;
            const long double v = Difference();
            if (Peek() != ')') std::abort();
            ++i_;
            return v;
        }
        const size_t start = i_;
        while (IsLetter(Peek())) ++i_;
        const std::string name = s_.substr(start, i_ - start);
        if (Peek() != '(') std::abort();
        ++i_;
        const long double a = Difference();
        long double b = 0;
        if (Peek() == ';') {
            ++i_;
            b = Difference();
        }
        if (Peek() != ')') std::abort();
        ++i_;
        return term_.CallFunction(name, a, b);
    }

    const TTerm& term_;
    uint32_t n_;
    std::string s_;
    size_t i_ = 0;
};

std::string Outcome(const std::function<long double()>& compute) {
    try {
        const long double value = compute();
        if (!std::isfinite(value)) std::abort();
        char text[64];
        std::snprintf(text, sizeof text, "%.21Lg", value);
        return text;
    } catch (const Exception& e) {
        return e.Message();
    }
}

void EvaluateAll(const TTerm& term, const std::string* formula) {
    for (uint32_t n : kIndices) {
        const std::string tree = Outcome([&] { return term.Evaluate(n); });
        if (formula == nullptr) continue;
        const std::string reference = Outcome([&] { return Reference(*formula, term, n).Value(); });
        if (tree != reference) {
            std::fprintf(stderr, "formula %s at %u: tree %s, reference %s\n", formula->c_str(), n,
                         tree.c_str(), reference.c_str());
            std::abort();
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
            EvaluateAll(raw, nullptr);
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
    const size_t count = static_cast<size_t>(max) < std::size(kPredecessorValues)
                             ? static_cast<size_t>(max)
                             : std::size(kPredecessorValues);
    term.Predecessors.assign(kPredecessorValues, kPredecessorValues + count);
    term.Parse(term.Normalize(text));
    EvaluateAll(term, &text);
    return 0;
}
