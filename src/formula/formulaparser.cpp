#include "formula/formulaparser.h"

#include <cmath>

#include "common/convert.h"
#include "common/errors.h"
#include "common/messages.h"
#include "formula/builtin_functions.h"
#include "formula/formula_text.h"

namespace {

// A canonical text is at most a few times longer and deeper than the typed
// formula it came from; Parse refuses anything beyond that before recursing.
constexpr size_t kMaxCanonicalLength = 8 * kMaxFormulaLength;
constexpr int kMaxCanonicalDepth = 2 * static_cast<int>(kMaxFormulaLength) + kMaxFormulaDepth;

[[noreturn]] void FailTerm(std::string_view text, const std::string& what) {
    throw EInvalidInput("Der Term " + Quote(text) + " ist ungültig: " + what);
}

[[noreturn, gnu::noinline, gnu::cold]] void ThrowMissingStartValue(uint32_t k) {
    throw EInvalidInput("Für x_" + std::to_string(k) + " fehlt der Startwert");
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

TTerm::TTerm(std::vector<int64_t>& shared) : Predecessors(shared) {}

TTerm::~TTerm() = default;

void TTerm::Clear() {
    LeftKind = RightKind = 0;
    LeftTerm.reset();
    RightTerm.reset();
    LeftValue = RightValue = 0;
    Operation = 0;
    FunctionName.clear();
    function_ = nullptr;
    program_.Clear();
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
    if (count != 0) FailTerm(text, msg::UnclosedParenthesis);
    try {
        ParseNode(text, 0);
    } catch (...) {
        Clear();
        throw;
    }
    program_.Compile(*this);
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

    ParseCall(s, text, split, depth);
}

void TTerm::ParseCall(std::string_view s, std::string_view text, size_t split, int depth) {
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
    int count = 0;
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
    if (program_.Covers(Predecessors)) return program_.Run(n, Predecessors.data());
    return EvaluateTree(n);
}

long double TTerm::OperandValue(int32_t kind, const TTerm* term, uint32_t value, uint32_t n) const {
    switch (kind) {
        case kSubterm:
            return term != nullptr ? term->EvaluateTree(n) : 0;
        case kVariable:
            if (value == 0) return n;
            if (value > Predecessors.size()) ThrowMissingStartValue(value);
            return static_cast<long double>(Predecessors[value - 1]);
        case kConstant:
            return value;
        default:
            return 0;
    }
}

long double TTerm::EvaluateTree(uint32_t n) const {
    const long double a = OperandValue(LeftKind, LeftTerm.get(), LeftValue, n);
    const long double b = OperandValue(RightKind, RightTerm.get(), RightValue, n);
    return ApplyOperation(Operation, function_, FunctionName, a, b);
}

long double TTerm::CallFunction(std::string_view name, long double a, long double b) const {
    return ApplyFunction(LookupFunction(name), name, a, b);
}
