#include "formula/formulaparser.h"

#include <cmath>

#include "common/convert.h"
#include "common/errors.h"
#include "formula/functions.h"

namespace {

constexpr std::string_view kOperators = "^*/+-";

// A canonical text is at most a few times longer and deeper than the typed
// formula it came from; Parse refuses anything beyond that before recursing.
constexpr size_t kMaxCanonicalLength = 8 * kMaxFormulaLength;
constexpr int kMaxCanonicalDepth = 2 * static_cast<int>(kMaxFormulaLength) + kMaxFormulaDepth;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsNameLetter(char c) { return IsLetter(c) && c != 'x' && c != 'X'; }
bool IsOperator(char c) { return kOperators.find(c) != std::string_view::npos; }
bool IsOperandChar(char c) { return IsDigit(c) || c == '_' || c == 'x'; }
bool IsAllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!IsDigit(c)) return false;
    return true;
}

// Index of the ")" closing the "(" at `open`, or npos.
size_t MatchForward(std::string_view s, size_t open) {
    int count = 0;
    for (size_t i = open; i < s.size(); ++i) {
        if (s[i] == '(') ++count;
        if (s[i] == ')' && --count == 0) return i;
    }
    return std::string_view::npos;
}

// Index of the "(" opened by the ")" at `close`, or npos.
size_t MatchBackward(std::string_view s, size_t close) {
    int count = 0;
    for (size_t i = close + 1; i-- > 0;) {
        if (s[i] == ')') ++count;
        if (s[i] == '(' && --count == 0) return i;
    }
    return std::string_view::npos;
}

std::string Quote(std::string_view s) { return "'" + std::string(s) + "'"; }

// How a character is named in a message: quoted, a whole UTF-8 sequence when
// it starts one, and control characters by their code.
std::string DescribeChar(std::string_view s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) return "ein Steuerzeichen (Code " + std::to_string(c) + ")";
    size_t end = i + 1;
    if (c >= 0xC0)
        while (end < s.size() && end < i + 4 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80)
            ++end;
    return "das Zeichen " + Quote(s.substr(i, end - i));
}

// Checks a typed formula (spaces removed, ":" as "/", X as x) against the
// formula language, so that the rewriting steps only ever see text they can
// handle, and says in German what is wrong otherwise.
class FormulaChecker {
public:
    // `typed` is `text` before X became x, for quoting names as written.
    FormulaChecker(std::string_view text, std::string_view typed, std::string_view formula)
        : s_(text), typed_(typed), formula_(formula) {}

    void Check() {
        Expression(0);
        if (i_ < s_.size()) {
            if (s_[i_] == ')') Fail("sie enthält eine schließende Klammer ohne öffnende");
            Fail("';' steht außerhalb der Argumentliste einer Funktion");
        }
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw EInvalidInput("Die Formel " + Quote(formula_) + " ist ungültig: " + what);
    }

    bool AtEnd() const { return i_ >= s_.size(); }
    char Peek() const { return AtEnd() ? '\0' : s_[i_]; }

    // A sequence of operands joined by operators or implicit products, with an
    // optional leading sign. Returns false when it is empty.
    bool Expression(int depth) {
        char pendingOperator = '\0';
        if (Peek() == '+' || Peek() == '-') pendingOperator = s_[i_++];
        bool any = false;
        for (;;) {
            if (AtEnd() || Peek() == ')' || Peek() == ';') {
                if (pendingOperator != '\0')
                    Fail("nach " + Quote(std::string(1, pendingOperator)) + " fehlt ein Operand");
                return any;
            }
            if (IsOperator(Peek())) {
                if (pendingOperator != '\0' && (Peek() == '+' || Peek() == '-'))
                    Fail(
                        "das Vorzeichen " + Quote(std::string(1, Peek())) + " folgt auf " +
                        Quote(std::string(1, pendingOperator)) +
                        "; ein Vorzeichen steht nur am Anfang der Formel, einer Klammer oder eines "
                        "Funktionsarguments");
                if (pendingOperator != '\0')
                    Fail("nach " + Quote(std::string(1, pendingOperator)) + " fehlt ein Operand");
                Fail("vor " + Quote(std::string(1, Peek())) + " fehlt ein Operand");
            }
            const size_t start = i_;
            const Unit unit = Operand(depth);
            any = true;
            pendingOperator = '\0';
            if (AtEnd() || Peek() == ')' || Peek() == ';') return true;
            if (IsOperator(Peek())) {
                pendingOperator = s_[i_++];
                continue;
            }
            const char next = Peek();
            const bool startsOperand =
                next == '(' || next == 'x' || IsLetter(next) || IsDigit(next);
            const bool digitBefore = unit == Unit::EndsWithDigit && (next == '(' || IsLetter(next));
            if (digitBefore || (unit == Unit::BareX && next == 'x'))
                continue;  // implicit product: 2x, 3(x+1), 2PRIME(x), xx
            if (startsOperand)
                Fail("zwischen " + Quote(typed_.substr(start, i_ - start)) + " und dem folgenden " +
                     Quote(std::string(1, next)) + " fehlt ein Operator");
            Fail(Unexpected());
        }
    }

    enum class Unit { EndsWithDigit, BareX, Other };

    Unit Operand(int depth) {
        const char c = Peek();
        if (IsDigit(c)) {
            while (IsDigit(Peek())) ++i_;
            return Unit::EndsWithDigit;
        }
        if (c == 'x') {
            ++i_;
            if (Peek() == '_') {
                ++i_;
                if (!IsDigit(Peek())) Fail("nach 'x_' fehlt die Nummer des Vorgängers");
            }
            if (!IsDigit(Peek())) return Unit::BareX;
            while (IsDigit(Peek())) ++i_;
            return Unit::EndsWithDigit;
        }
        if (IsNameLetter(c)) {
            const size_t start = i_;
            while (IsNameLetter(Peek())) ++i_;
            size_t end = i_;
            while (end < s_.size() && IsLetter(s_[end])) ++end;
            bool lettersAfterX = false;
            for (size_t j = i_; j < end; ++j) lettersAfterX = lettersAfterX || IsNameLetter(s_[j]);
            // "MAX(1;2)" or "EXPO(x)" mean a name with an x in it; "PRIME x" lacks its list.
            if (end > i_ && (lettersAfterX || (end < s_.size() && s_[end] == '(')))
                Fail("der Funktionsname " + Quote(typed_.substr(start, end - start)) +
                     " enthält ein x; x steht in Formeln nur für den Index");
            const std::string name(typed_.substr(start, i_ - start));
            if (name.size() < 2)
                Fail(Quote(name) +
                     " ist kein Funktionsname; Funktionsnamen haben mindestens zwei Buchstaben");
            if (Peek() != '(')
                Fail("nach dem Funktionsnamen " + Quote(name) +
                     " fehlt die Argumentliste in Klammern");
            Enter(depth);
            ++i_;
            if (!Expression(depth + 1)) Fail("der Funktion " + Quote(name) + " fehlt ein Argument");
            if (Peek() == ';') {
                ++i_;
                if (!Expression(depth + 1))
                    Fail("der Funktion " + Quote(name) + " fehlt das zweite Argument");
                if (Peek() == ';')
                    Fail("die Funktion " + Quote(name) + " hat mehr als zwei Argumente");
            }
            if (Peek() != ')')
                Fail("die Argumentliste von " + Quote(name) + " wird nicht geschlossen");
            ++i_;
            return Unit::Other;
        }
        if (c == '(') {
            Enter(depth);
            ++i_;
            if (!Expression(depth + 1)) {
                if (Peek() == ';') Fail("';' steht außerhalb der Argumentliste einer Funktion");
                Fail("sie enthält eine leere Klammer");
            }
            if (Peek() == ';') Fail("';' steht außerhalb der Argumentliste einer Funktion");
            if (Peek() != ')') Fail("eine öffnende Klammer wird nicht geschlossen");
            ++i_;
            return Unit::Other;
        }
        Fail(Unexpected());
    }

    void Enter(int depth) const {
        if (depth + 1 > kMaxFormulaDepth)
            Fail("sie ist tiefer als " + std::to_string(kMaxFormulaDepth) +
                 " Klammerebenen verschachtelt");
    }

    std::string Unexpected() const {
        if (Peek() == '_') return "'_' steht nicht direkt nach x";
        return "sie enthält " + DescribeChar(s_, i_) + ", das in Formeln nicht vorkommt";
    }

    std::string_view s_;
    std::string_view typed_;
    std::string_view formula_;
    size_t i_ = 0;
};

[[noreturn]] void FailInternal(std::string_view text) {
    throw EInvalidInput("Die Formel " + Quote(text) + " lässt sich nicht umformen");
}

[[noreturn]] void FailTerm(std::string_view text, const std::string& what) {
    throw EInvalidInput("Der Term " + Quote(text) + " ist ungültig: " + what);
}

// Function codes, resolved from FunctionName once per Parse.
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

long double Apply(int32_t function, long double a, long double b) {
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

// a^bits for a != 0 and bits >= 1, by repeated squaring. Squares only while
// bits remain, so no unused square can overflow.
inline long double IntPower(long double a, uint32_t bits) {
    long double result = 1;
    long double square = a;
    for (;;) {
        if (bits & 1) result *= square;
        bits >>= 1;
        if (bits == 0) return result;
        square *= square;
    }
}

long double Power(long double a, long double b) {
    if (b == 0) return 1;
    if (a == 0) {
        if (b > 0) return 0;
        throw EZeroDivide(msg::FloatDivisionByZero);
    }
    const long double magnitude = std::fabs(b);
    if (magnitude <= 2147483647.0L) {
        // llrint is one x87 store; a truncating cast switches the rounding mode twice.
        const auto bits = static_cast<uint32_t>(std::llrint(magnitude));
        if (static_cast<long double>(bits) == magnitude) {
            const long double result = IntPower(a, bits);
            return b < 0 ? 1 / result : result;
        }
    }
    if (a < 0) throw EInvalidOp(msg::InvalidFloatOp);
    return std::exp(b * std::log(a));
}

// The throws live out of line so that the evaluation walk stays small.
[[noreturn, gnu::noinline, gnu::cold]] void ThrowOverflow() { throw EOverflow(msg::FloatOverflow); }

[[noreturn, gnu::noinline, gnu::cold]] void ThrowDivision(long double dividend) {
    if (dividend == 0) throw EInvalidOp(msg::InvalidFloatOp);
    throw EZeroDivide(msg::FloatDivisionByZero);
}

[[noreturn, gnu::noinline, gnu::cold]] void ThrowMissingStartValue(uint32_t k) {
    throw EInvalidInput("Für x_" + std::to_string(k) + " fehlt der Startwert");
}

[[gnu::always_inline]] inline long double OperandValue(int32_t kind, const TTerm* term,
                                                       uint32_t value,
                                                       const std::vector<uint32_t>& predecessors,
                                                       uint32_t n) {
    switch (kind) {
        case kSubterm:
            return term != nullptr ? term->Evaluate(n) : 0;
        case kVariable:
            if (value == 0) return n;
            if (value > predecessors.size()) ThrowMissingStartValue(value);
            return predecessors[value - 1];
        case kConstant:
            return value;
        default:
            return 0;
    }
}

}  // namespace

int64_t RoundToInt64(long double value) {
    // Every extended value from -2^63 to 2^63 - 1 rounds into range; the next
    // one above, 2^63 - 0.5, is a tie that goes to the even 2^63.
    if (!(value >= -9223372036854775808.0L && value <= 9223372036854775807.0L))
        throw EInvalidOp(msg::InvalidFloatOp);
    return std::llrint(value);  // the default rounding: nearest, ties to even
}

TTerm::TTerm() : Predecessors(ownPredecessors_) {}

TTerm::TTerm(std::vector<uint32_t>& shared) : Predecessors(shared) {}

TTerm::~TTerm() = default;

void TTerm::Clear() {
    LeftKind = RightKind = 0;
    LeftTerm.reset();
    RightTerm.reset();
    LeftValue = RightValue = 0;
    Operation = 0;
    FunctionName.clear();
    function_ = kUnknown;
}

std::string TTerm::Normalize(std::string_view formula) const {
    std::string typed;
    typed.reserve(formula.size());
    for (char c : formula) {
        if (c == ' ') continue;
        if (typed.size() >= kMaxFormulaLength)
            throw EInvalidInput("Die Formel ist zu lang: höchstens " +
                                std::to_string(kMaxFormulaLength) +
                                " Zeichen ohne Leerzeichen sind erlaubt");
        typed += c;
    }
    std::string s = typed;
    for (char& c : s) {
        if (c == ':') c = '/';
        if (c == 'X') c = 'x';  // the plain meaning of an uppercase X
    }
    FormulaChecker(s, typed, formula).Check();

    // Implicit products.
    for (size_t i = s.size(); i-- > 1;) {
        const char c = s[i];
        const char before = s[i - 1];
        if ((c == '(' && IsDigit(before)) || (IsLetter(c) && IsDigit(before)) ||
            (c == 'x' && before == 'x'))
            s.insert(i, 1, '*');
    }

    bool operatorOrName = false;
    for (char c : s)
        if (IsOperator(c) || IsNameLetter(c)) operatorOrName = true;
    if (!operatorOrName) s += "+0";

    // Explicit index 0 after every bare x.
    if (!s.empty() && s.back() == 'x') s += "_0";
    for (size_t i = s.size(); i-- > 1;)
        if (s[i] != '_' && s[i - 1] == 'x') s.insert(i, "_0");

    // Each function call into its own parentheses.
    size_t words = 0;
    for (size_t i = 0; i < s.size(); ++i)
        if (IsNameLetter(s[i]) && (i == 0 || !IsNameLetter(s[i - 1]))) ++words;
    for (size_t word = 0, seen = 0; word < words; ++word, seen = 0) {
        size_t start = 0;
        for (size_t i = 0; i < s.size(); ++i) {
            if (IsNameLetter(s[i]) && (i == 0 || !IsNameLetter(s[i - 1])) && seen++ == word) {
                start = i;
                break;
            }
        }
        s.insert(start, 1, '(');
        size_t end = start + 1;
        while (end < s.size() && IsNameLetter(s[end])) ++end;
        if (end >= s.size() || s[end] != '(') FailInternal(formula);
        const size_t close = MatchForward(s, end);
        if (close == std::string::npos) FailInternal(formula);
        s.insert(close + 1, 1, ')');
    }

    // Each operator application into its own parentheses, tightest operator
    // first, so that precedence is fixed by nesting alone.
    for (char op : kOperators) {
        for (size_t p = s.find(op); p != std::string::npos; p = s.find(op, p + 2)) {
            size_t right = p;
            if (p + 1 < s.size() && s[p + 1] == '(') {
                right = MatchForward(s, p + 1);
                if (right == std::string::npos) FailInternal(formula);
            } else {
                while (right + 1 < s.size() && IsOperandChar(s[right + 1])) ++right;
            }
            size_t left = p;
            if (p > 0 && s[p - 1] == ')') {
                left = MatchBackward(s, p - 1);
                if (left == std::string::npos) FailInternal(formula);
            } else {
                while (left > 0 && IsOperandChar(s[left - 1])) --left;
            }
            s.insert(right + 1, 1, ')');
            s.insert(left, 1, '(');
        }
    }
    return s;
}

void TTerm::Parse(std::string_view text) {
    Clear();
    if (text.size() > kMaxCanonicalLength)
        FailTerm(text.substr(0, 40),
                 "er ist länger als " + std::to_string(kMaxCanonicalLength) + " Zeichen");
    int count = 0;
    for (char c : text) {
        if (c == '(' && ++count > kMaxCanonicalDepth)
            FailTerm(text, "er ist zu tief verschachtelt");
        if (c == ')' && --count < 0) FailTerm(text, "eine schließende Klammer hat keine öffnende");
    }
    if (count != 0) FailTerm(text, "eine öffnende Klammer wird nicht geschlossen");
    try {
        ParseNode(text, 0);
    } catch (...) {
        Clear();
        throw;
    }
}

namespace {

// Removes parentheses that enclose the whole of a (balanced) text.
std::string_view StripOuter(std::string_view s) {
    while (s.size() >= 2 && s.front() == '(' && MatchForward(s, 0) == s.size() - 1)
        s = s.substr(1, s.size() - 2);
    return s;
}

// A number or a variable reference, as the parser reads it: returns the kind
// and stores its value, or returns 0 when the text is neither.
int32_t PlainOperand(std::string_view s, uint32_t& value) {
    if (IsAllDigits(s)) {
        value = static_cast<uint32_t>(StrToInt(s));
        return kConstant;
    }
    if (s.size() >= 3 && (s[0] == 'x' || s[0] == 'X') && s[1] == '_' && IsAllDigits(s.substr(2))) {
        value = static_cast<uint32_t>(StrToInt(s.substr(2)));
        return kVariable;
    }
    return 0;
}

}  // namespace

void TTerm::ParseNode(std::string_view text, int depth) {
    const std::string_view s = StripOuter(text);

    size_t split = std::string_view::npos;
    int count = 0;
    for (size_t i = 0; i < s.size() && split == std::string_view::npos; ++i) {
        if (s[i] == '(') ++count;
        if (s[i] == ')') --count;
        if (count == 0 && (IsOperator(s[i]) || IsNameLetter(s[i]))) split = i;
    }

    if (split == std::string_view::npos) {
        // A group holding a single operand stands for that operand, plus 0.
        uint32_t value = 0;
        const int32_t kind = PlainOperand(s, value);
        if (kind == 0) FailTerm(text, "er enthält keinen Operator und keinen Funktionsaufruf");
        Operation = kSum;
        LeftKind = kind;
        LeftValue = value;
        RightKind = kConstant;
        RightValue = 0;
        return;
    }

    if (IsOperator(s[split])) {
        Operation = static_cast<int32_t>(kOperators.find(s[split]));
        if (split == 0) {
            if (Operation != kSum && Operation != kDifference)
                FailTerm(text, "vor " + Quote(s.substr(0, 1)) + " fehlt ein Operand");
            LeftKind = kConstant;  // a leading sign: 0 - a, 0 + a
            LeftValue = 0;
        } else {
            ParseOperand(s.substr(0, split), text, true, depth);
        }
        if (split + 1 == s.size())
            FailTerm(text, "nach " + Quote(s.substr(split, 1)) + " fehlt ein Operand");
        ParseOperand(s.substr(split + 1), text, false, depth);
        return;
    }

    size_t open = split;
    while (open < s.size() && IsNameLetter(s[open])) ++open;
    if (split != 0) FailTerm(text, "vor dem Funktionsnamen steht " + Quote(s.substr(0, split)));
    if (open >= s.size() || s[open] != '(' || MatchForward(s, open) != s.size() - 1)
        FailTerm(text, "nach dem Funktionsnamen " + Quote(s.substr(0, open)) +
                           " fehlt die Argumentliste");
    Operation = kFunctionCall;
    FunctionName = std::string(s.substr(0, open));
    function_ = LookupFunction(FunctionName);

    const std::string_view arguments = s.substr(open + 1, s.size() - open - 2);
    size_t separator = std::string_view::npos;
    count = 0;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == '(') ++count;
        if (arguments[i] == ')') --count;
        if (arguments[i] == ';' && count == 0) {
            if (separator != std::string_view::npos)
                FailTerm(text, "die Funktion hat mehr als zwei Argumente");
            separator = i;
        }
    }
    ParseArgument(arguments.substr(0, separator), text, true, depth);
    if (separator == std::string_view::npos) {
        RightKind = kConstant;
        RightValue = 0;
    } else {
        ParseArgument(arguments.substr(separator + 1), text, false, depth);
    }
}

void TTerm::ParseOperand(std::string_view operand, std::string_view whole, bool left, int depth) {
    int32_t& kind = left ? LeftKind : RightKind;
    uint32_t& value = left ? LeftValue : RightValue;
    if (operand.empty()) FailTerm(whole, "ein Operand fehlt");
    if (operand.front() == '(') {
        if (MatchForward(operand, 0) != operand.size() - 1)
            FailTerm(whole, "zwischen zwei Operanden fehlt ein Operator");
        // "(x)" or "(5)": the group's content is the operand itself.
        const int32_t plain = PlainOperand(StripOuter(operand), value);
        if (plain != 0) {
            kind = plain;
            return;
        }
        if (depth + 1 > kMaxCanonicalDepth) FailTerm(whole, "er ist zu tief verschachtelt");
        auto term = std::unique_ptr<TTerm>(new TTerm(Predecessors));
        term->ParseNode(operand, depth + 1);
        kind = kSubterm;
        (left ? LeftTerm : RightTerm) = std::move(term);
        return;
    }
    const int32_t plain = PlainOperand(operand, value);
    if (plain == 0)
        FailTerm(whole, Quote(operand) + " ist weder eine Zahl noch ein x_k noch eine Klammer");
    kind = plain;
}

void TTerm::ParseArgument(std::string_view argument, std::string_view whole, bool left, int depth) {
    if (argument.empty()) FailTerm(whole, "ein Funktionsargument fehlt");
    ParseOperand(argument, whole, left, depth);
}

int32_t TTerm::MaxPredecessor() const {
    const auto contribution = [](int32_t kind, const TTerm* term, uint32_t value) -> int32_t {
        if (kind == kSubterm && term != nullptr) return term->MaxPredecessor();
        if (kind == kVariable) return static_cast<int32_t>(value);
        return 0;
    };
    const int32_t left = contribution(LeftKind, LeftTerm.get(), LeftValue);
    const int32_t right = contribution(RightKind, RightTerm.get(), RightValue);
    return left > right ? left : right;
}

long double TTerm::Evaluate(uint32_t n) const {
    const long double a = OperandValue(LeftKind, LeftTerm.get(), LeftValue, Predecessors, n);
    const long double b = OperandValue(RightKind, RightTerm.get(), RightValue, Predecessors, n);
    long double result;
    switch (Operation) {
        case kFunctionCall:
            return Apply(function_, a, b);
        case kPower:
            // A constant exponent is a known whole number: straight to the squaring.
            if (RightKind == kConstant && RightValue != 0 && RightValue <= 2147483647u && a != 0)
                result = IntPower(a, RightValue);
            else
                result = Power(a, b);
            break;
        case kProduct:
            result = a * b;
            break;
        case kQuotient:
            if (b == 0) ThrowDivision(a);
            result = a / b;
            break;
        case kSum:
            result = a + b;
            break;
        case kDifference:
            result = a - b;
            break;
        default:
            return 0;
    }
    if (std::isinf(result)) ThrowOverflow();
    return result;
}

long double TTerm::CallFunction(std::string_view name, long double a, long double b) const {
    return Apply(LookupFunction(name), a, b);
}
