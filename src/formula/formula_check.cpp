#include "formula/formula_check.h"

#include <string>

#include "common/errors.h"
#include "common/messages.h"
#include "formula/formula_text.h"
#include "formula/formulaparser.h"

namespace {

// Reads the formula once, left to right, as the language's grammar; the
// rewriting steps then only ever see text they can handle.
class FormulaChecker {
public:
    // `typed` is `text` before X became x, for quoting names as written.
    FormulaChecker(std::string_view text, std::string_view typed, std::string_view formula)
        : s_(text), typed_(typed), formula_(formula) {}

    void Check() {
        Expression(0);
        if (i_ < s_.size()) {
            if (s_[i_] == ')') Fail("sie enthält eine schließende Klammer ohne öffnende");
            Fail(msg::SemicolonOutsideArguments);
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
        if (IsNameLetter(c)) return FunctionCall(depth);
        if (c == '(') return Group(depth);
        Fail(Unexpected());
    }

    // A name of two or more letters and its list of one or two arguments.
    Unit FunctionCall(int depth) {
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
            Fail("nach dem Funktionsnamen " + Quote(name) + " fehlt die Argumentliste in Klammern");
        Enter(depth);
        ++i_;
        if (!Expression(depth + 1)) Fail("der Funktion " + Quote(name) + " fehlt ein Argument");
        if (Peek() == ';') {
            ++i_;
            if (!Expression(depth + 1))
                Fail("der Funktion " + Quote(name) + " fehlt das zweite Argument");
            if (Peek() == ';') Fail("die Funktion " + Quote(name) + " hat mehr als zwei Argumente");
        }
        if (Peek() != ')') Fail("die Argumentliste von " + Quote(name) + " wird nicht geschlossen");
        ++i_;
        return Unit::Other;
    }

    // A parenthesised expression.
    Unit Group(int depth) {
        Enter(depth);
        ++i_;
        if (!Expression(depth + 1)) {
            if (Peek() == ';') Fail(msg::SemicolonOutsideArguments);
            Fail("sie enthält eine leere Klammer");
        }
        if (Peek() == ';') Fail(msg::SemicolonOutsideArguments);
        if (Peek() != ')') Fail(msg::UnclosedParenthesis);
        ++i_;
        return Unit::Other;
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

}  // namespace

void CheckFormula(std::string_view text, std::string_view typed, std::string_view formula) {
    FormulaChecker(text, typed, formula).Check();
}
