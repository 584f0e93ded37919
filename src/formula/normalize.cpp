// Normalize: a typed formula becomes fully parenthesised canonical text in a
// row of named passes, each of which sees only text that the checks accepted.
#include <string>

#include "common/errors.h"
#include "formula/formula_check.h"
#include "formula/formula_text.h"
#include "formula/formulaparser.h"

namespace {

[[noreturn]] void FailInternal(std::string_view text) {
    throw EInvalidInput("Die Formel " + Quote(text) + " lässt sich nicht umformen");
}

// The formula without its spaces, refused when longer than the cap.
std::string WithoutSpaces(std::string_view formula) {
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
    return typed;
}

// ":" is division, and an uppercase X has the plain meaning of x.
std::string WithCanonicalSymbols(std::string s) {
    for (char& c : s) {
        if (c == ':') c = '/';
        if (c == 'X') c = 'x';
    }
    return s;
}

// "2x", "3(x+1)", "2PRIME(x)" and "xx" get their "*".
void InsertImplicitProducts(std::string& s) {
    for (size_t i = s.size(); i-- > 1;) {
        const char c = s[i];
        const char before = s[i - 1];
        if ((c == '(' && IsDigit(before)) || (IsLetter(c) && IsDigit(before)) ||
            (c == 'x' && before == 'x'))
            s.insert(i, 1, '*');
    }
}

// A formula without operator or function becomes a sum with 0, so that the
// tree always has an operation at its root.
void AppendZeroWithoutOperation(std::string& s) {
    for (char c : s)
        if (IsOperator(c) || IsNameLetter(c)) return;
    s += "+0";
}

// Every bare x becomes x_0, the index itself.
void IndexBareX(std::string& s) {
    if (!s.empty() && s.back() == 'x') s += "_0";
    for (size_t i = s.size(); i-- > 1;)
        if (s[i] != '_' && s[i - 1] == 'x') s.insert(i, "_0");
}

// Each function call into its own parentheses: "PRIME(x_0)" -> "(PRIME(x_0))".
void BracketFunctionCalls(std::string& s, std::string_view formula) {
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
}

// Each operator application into its own parentheses, tightest operator
// first, so that precedence is fixed by nesting alone.
void BracketOperators(std::string& s, std::string_view formula) {
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
}

}  // namespace

std::string TTerm::Normalize(std::string_view formula) const {
    const std::string typed = WithoutSpaces(formula);
    std::string s = WithCanonicalSymbols(typed);
    CheckFormula(s, typed, formula);
    InsertImplicitProducts(s);
    AppendZeroWithoutOperation(s);
    IndexBareX(s);
    BracketFunctionCalls(s, formula);
    BracketOperators(s, formula);
    return s;
}
