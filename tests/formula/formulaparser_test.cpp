#include "formula/formulaparser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "common/errors.h"
#include "common/messages.h"
#include "common/quote.h"
#include "support/expect_error.h"

namespace {

// Compiles a formula the way the formula frame does: Normalize and Parse,
// then the start values into the root's list, then Normalize and Parse again.
void Compile(TTerm& term, const std::string& formula,
             const std::vector<int64_t>& predecessors = {}) {
    term.Parse(term.Normalize(formula));
    term.Predecessors.assign(predecessors.begin(), predecessors.end());
    term.Parse(term.Normalize(formula));
}

// What the user gets for a formula at index n: the value, printed exactly,
// or the message of the failure. Each message must come with its own class.
std::string Outcome(const std::string& formula, uint32_t n,
                    const std::vector<int64_t>& predecessors = {}) {
    TTerm term;
    try {
        Compile(term, formula, predecessors);
        char text[64];
        std::snprintf(text, sizeof text, "%.21Lg", term.Evaluate(n));
        return text;
    } catch (const EZeroDivide& e) {
        EXPECT_EQ(e.Message(), "Gleitkommadivision durch Null");
        return e.Message();
    } catch (const EInvalidOp& e) {
        EXPECT_EQ(e.Message(), msg::InvalidFloatOp);
        return e.Message();
    } catch (const EOverflow& e) {
        EXPECT_EQ(e.Message(), "Gleitkommaüberlauf");
        return e.Message();
    } catch (const EDivByZero& e) {
        EXPECT_EQ(e.Message(), "Division durch Null");
        return e.Message();
    } catch (const EConvertError& e) {
        EXPECT_NE(e.Message().find("ist kein gültiger Integerwert"), std::string::npos);
        return e.Message();
    } catch (const EInvalidInput& e) {
        return e.Message();
    }
}

struct Case {
    const char* formula;
    uint32_t n;
    std::vector<int64_t> predecessors;
    const char* outcome;
};

void ExpectOutcomes(const std::vector<Case>& cases) {
    for (const auto& c : cases)
        EXPECT_EQ(Outcome(c.formula, c.n, c.predecessors), c.outcome) << c.formula << " at " << c.n;
}

TEST(Normalize, GivesTheCanonicalTexts) {
    const struct {
        const char* formula;
        const char* canonical;
    } cases[] = {
        {"x^2+1", "((x_0^2)+1)"},
        {"10-2+3", "(10-(2+3))"},
        {"8/2*2", "(8/(2*2))"},
        {"2^3^2", "((2^3)^2)"},
        {"-x+1", "(-(x_0+1))"},
        {"3(x+1)", "(3*((x_0+1)))"},
        {"2x_1+3x_2", "((2*x_1)+(3*x_2))"},
        {"MOD(x_1+x_2;12)", "(MOD((x_1+x_2);12))"},
        {"5", "(5+0)"},
        {"", "(+0)"},
        {"   ", "(+0)"},
        {"x", "(x_0+0)"},
        {"x_1", "(x_1+0)"},
        {"x2", "(x_02+0)"},
        {"xx", "(x_0*x_0)"},
        {"x2x", "(x_02*x_0)"},
        {" x : 2 ", "(x_0/2)"},
        {"2PRIME(x)", "(2*(PRIME(x_0)))"},
        {"PRIME(PRIME(x))", "(PRIME((PRIME(x_0))))"},
        {"MOD(-7;3)", "(MOD((-7);3))"},
        {"MOD(7;-x)", "(MOD(7;(-x_0)))"},
        {"X+1", "(x_0+1)"},
        {"(x)", "((x_0)+0)"},
    };
    TTerm term;
    for (const auto& c : cases) EXPECT_EQ(term.Normalize(c.formula), c.canonical) << c.formula;
}

TEST(Evaluate, EdgeCasesOfTheLanguage) {
    ExpectOutcomes({
        {"0", 0, {}, "0"},
        {"0", 4000000000u, {}, "0"},
        {"", 17, {}, "0"},
        {"x", 7, {}, "7"},
        {"10-2+3", 0, {}, "5"},
        {"8/2*2", 0, {}, "2"},
        {"2^3^2", 0, {}, "64"},
        {"2*3^2", 0, {}, "18"},
        {"-x+1", 3, {}, "-4"},
        {"7/2", 0, {}, "3.5"},
        {"5/2", 0, {}, "2.5"},
        {"x2", 0, {5, 9}, "9"},
        {"x_1+x_2", 1, {1, 1}, "2"},
        {"x_1+1", 0, {4294967295u}, "4294967296"},
        {"x_1/2", 0, {-4}, "-2"},  // a member enters as the signed number it is
        {"x_1+1", 0, {INT64_MIN}, "-9223372036854775807"},
        {"PRIME(x)", 0, {}, "1"},
        {"PRIME(x)", 1, {}, "2"},
        {"prime(x)", 5, {}, "11"},
        {"PRIMZAHL(x)", 5, {}, "11"},
        {"FOO(x)", 9, {}, "0"},
        {"MOD(0-7;3)", 0, {}, "2"},
        {"DIV(0-7;2)", 0, {}, "-3"},
        {"MOD(MOD(x;7)+1;5)", 13, {}, "2"},
        {"PRIME(x_1+1)", 0, {4}, "11"},
        {"x/0", 1, {}, "Gleitkommadivision durch Null"},
        {"x/0", 0, {}, msg::InvalidFloatOp},
        {"DIV(x;0)", 1, {}, "Division durch Null"},
        {"x+3000000000", 0, {}, "'3000000000' ist kein gültiger Integerwert"},
    });
}

TEST(Evaluate, OperatorsSignsAndGroups) {
    ExpectOutcomes({
        {"x", 4294967295u, {}, "4294967295"},
        {"+x", 3, {}, "3"},
        {"5:2", 0, {}, "2.5"},
        {"3(x+1)", 2, {}, "9"},
        {"2x_1+3x_2", 0, {10, 100}, "320"},
        {"xx", 5, {}, "25"},
        {"(x)", 4, {}, "4"},
        {"((x_1))", 4, {8}, "8"},
        {"2*(5)", 0, {}, "10"},
        {"2(5)", 0, {}, "10"},
        {"2147483647+x", 1, {}, "2147483648"},
        {"x_1+x_3", 0, {1, 2}, "Für x_3 fehlt der Startwert"},
        {"x_2147483648", 0, {}, "'2147483648' ist kein gültiger Integerwert"},
        {"PRIME(99999999999)", 0, {}, "'99999999999' ist kein gültiger Integerwert"},
    });
}

TEST(Evaluate, PowerRule) {
    ExpectOutcomes({
        {"x^0", 0, {}, "1"},
        {"0^x", 0, {}, "1"},
        {"0^x", 3, {}, "0"},
        {"2^(0-2)", 0, {}, "0.25"},
        {"(0-2)^3", 0, {}, "-8"},
        {"(0-2)^(0-3)", 0, {}, "-0.125"},
        {"1^(x_1+1)", 0, {4294967295u}, "1"},  // a whole exponent beyond 31 bits
        {"10^(0-5000)", 0, {}, "0"},           // too small: silently 0
        {"0^(0-1)", 0, {}, "Gleitkommadivision durch Null"},
        {"0^(0-1/2)", 0, {}, "Gleitkommadivision durch Null"},
        {"(0-8)^(1/3)", 0, {}, msg::InvalidFloatOp},
        {"(0-2)^(x_1+1)", 0, {4294967295u}, msg::InvalidFloatOp},
        {"10^5000", 0, {}, "Gleitkommaüberlauf"},
        {"2^x", 16384, {}, "Gleitkommaüberlauf"},
        {"(3/2)^x", 30000, {}, "Gleitkommaüberlauf"},
        {"2^(x_1+1)", 0, {4294967295u}, "Gleitkommaüberlauf"},
        {"(1/10)^(0-5000)", 0, {}, "Gleitkommaüberlauf"},
    });
    // Fractional exponents go through the logarithm, so only nearly exact.
    TTerm term;
    Compile(term, "4^(1/2)+2^(1/2)^2");
    EXPECT_NEAR(static_cast<double>(term.Evaluate(0)), 4.0, 1e-15);
}

TEST(Evaluate, BuiltInFunctions) {
    ExpectOutcomes({
        {"2PRIME(x)", 3, {}, "10"},
        {"FOO(2^64;x)", 9, {}, "0"},                           // an unknown name rounds no argument
        {"FOO(1/0)", 0, {}, "Gleitkommadivision durch Null"},  // but they are computed
        {"MOD(-7;3)", 0, {}, "2"},
        {"DIV(7;2)", 0, {}, "3"},
        {"GCD(12;18)", 0, {}, "6"},
        {"ggt(12;18)", 0, {}, "6"},
        {"KGV(4;6)", 0, {}, "12"},
        {"LCM(x;0)", 5, {}, "0"},
        {"SIGMA(12)", 0, {}, "16"},
        {"PHI(10)", 0, {}, "4"},
        {"PRIMECOUNT(100)", 0, {}, "25"},
        {"PRIMCOUNT(100)", 0, {}, "25"},
        {"PRIMEBOOL(46349)", 0, {}, "1"},
        {"PRIMBOOL(46341)", 0, {}, "0"},
        {"MOD(x;0)", 1, {}, "Division durch Null"},
        // DIV works on the full 64-bit values; the others read the low 32 bits
        // of arguments from -2^31 to 2^32 - 1 and refuse any other.
        {"DIV(2^40;3)", 0, {}, "366503875925"},
        {"DIV(2^63;1)", 0, {}, msg::InvalidFloatOp},
        {"DIV(0-2^63;0-1)", 0, {}, "9223372036854775808"},
        {"GCD(0-4;6)", 0, {}, "6"},
        {"GCD(0-2^31;6)", 0, {}, "2"},
        {"GCD(2^32-1;6)", 0, {}, "3"},
        {"MOD(2^32-1;7)", 0, {}, "6"},
        {"MOD(2^40+3;7)",
         0,
         {},
         "Das erste Argument von 'MOD' ist 1099511627779; erlaubt sind -2147483648 bis 4294967295"},
        {"gcd(6;0-2^31-1)",
         0,
         {},
         "Das zweite Argument von 'gcd' ist -2147483649; erlaubt sind -2147483648 bis 4294967295"},
        {"PHI(2^32-1/2)",
         0,
         {},
         "Das erste Argument von 'PHI' ist 4294967296; erlaubt sind -2147483648 bis 4294967295"},
        {"MOD(1;0-2^63-1)",
         0,
         {},
         "Das zweite Argument von 'MOD' ist -9223372036854775809; erlaubt sind -2147483648 bis "
         "4294967295"},
        {"SIGMA(10^30)",
         0,
         {},
         "Das erste Argument von 'SIGMA' ist 1e+30; erlaubt sind -2147483648 bis 4294967295"},
        // Results enter as the integers they are.
        {"PRIME(203280221)", 0, {}, "4294967291"},
        {"PHI(0-1)", 0, {}, "2147483648"},
        {"SIGMA(0-1)", 0, {}, "3009636033"},
        // Arguments are rounded to the nearest integer, ties to even.
        {"MOD(5/2;7)", 0, {}, "2"},
        {"MOD(7/2;7)", 0, {}, "4"},
        {"DIV(0-5/2;1)", 0, {}, "-2"},
        {"PRIME(3;2^70)", 0, {}, "5"},  // one-argument functions ignore the second
    });
}

// Evaluation runs in 64-bit integers while it can; where an exact result is
// no such integer, the same extended arithmetic as before takes over.
TEST(Evaluate, IntegersHandOverToExtendedPrecision) {
    const int64_t two62 = int64_t{1} << 62;
    ExpectOutcomes({
        {"0*(0-5)", 0, {}, "-0"},  // a signed zero
        {"x/(0-3)", 0, {}, "-0"},
        {"x_1*2", 0, {two62}, "9223372036854775808"},     // beyond int64, exact
        {"x_1*4+1", 0, {two62}, "18446744073709551616"},  // and rounded after
        {"x_1/(0-1)", 0, {INT64_MIN}, "9223372036854775808"},
        {"2^63", 0, {}, "9223372036854775808"},
        {"x+2^62*4", 1, {}, "18446744073709551616"},           // constants that do not fold
        {"(x+1)*(x/4)", 2, {}, "1.5"},                         // a pending integer result
        {"x_3+1/0", 0, {1}, "Für x_3 fehlt der Startwert"},    // left before right,
        {"1/0+x_3", 0, {1}, "Gleitkommadivision durch Null"},  // also without a start value
        {"DIV(x_1;0-1)+1", 0, {INT64_MIN}, "9223372036854775809"},
    });
}

TEST(MaxPredecessor, FindsTheLargestIndexAnywhereInTheTree) {
    const struct {
        const char* formula;
        int32_t max;
    } cases[] = {
        {"0", 0},
        {"", 0},
        {"x", 0},
        {"x_0", 0},
        {"x_3+x_1", 3},
        {"x2", 2},
        {"x_1x_2", 2},
        {"PRIME(x_7)", 7},
        {"MOD(x_2;x_5)", 5},
        {"MOD(1;(x_4+1))", 4},
        {"2^x_9", 9},
        {"(x_6)", 6},
        {"x_2147483647", 2147483647},
    };
    for (const auto& c : cases) {
        TTerm term;
        term.Parse(term.Normalize(c.formula));
        EXPECT_EQ(term.MaxPredecessor(), c.max) << c.formula;
    }
}

TEST(Predecessors, EveryNodeReadsTheRootsList) {
    TTerm term;
    Compile(term, "PRIME(x_1+1)+MOD(x_2;x_1)", {4, 23});
    ASSERT_NE(term.LeftTerm, nullptr);
    ASSERT_NE(term.LeftTerm->LeftTerm, nullptr);
    EXPECT_EQ(&term.LeftTerm->LeftTerm->Predecessors, &term.Predecessors);
    EXPECT_EQ(&term.RightTerm->Predecessors, &term.Predecessors);
    EXPECT_EQ(term.Evaluate(0), 11 + 3);
    // The tree sees the caller's later changes, also after a reallocation.
    term.Predecessors = {6, 20};
    EXPECT_EQ(term.Evaluate(0), 17 + 2);
    term.Predecessors.resize(1000, 1);
    EXPECT_EQ(term.Evaluate(0), 17 + 2);
}

// Texts outside the language: refused by Normalize with the formula quoted.
TEST(Normalize, RefusesTextsOutsideTheLanguage) {
    const struct {
        std::string formula;
        const char* reason;
    } cases[] = {
        {"x*-1", "das Vorzeichen '-' folgt auf '*'"},
        {"--x", "das Vorzeichen '-' folgt auf '-'"},
        {"(x+1)(x+2)", "fehlt ein Operator"},
        {"x(x+1)", "fehlt ein Operator"},
        {"PRIME(x)2", "fehlt ein Operator"},
        {"xPRIME(x)", "fehlt ein Operator"},
        {"1.5", "das Zeichen '.'"},
        {"x²", "das Zeichen '²'"},
        {"x\t+1", "das Steuerzeichen U+0009"},
        {"x\x1B[2J", "das Steuerzeichen U+001B"},
        {"x+\u00A01", "das Zeichen U+00A0"},
        {"\uFEFFx", "das Zeichen U+FEFF"},
        {"x\u200F+1", "das Zeichen U+200F"},
        {"\u0445+1", "das Zeichen '\u0445' (U+0445)"},
        {"f(x)", "'f' ist kein Funktionsname"},
        {"PRIME", "nach dem Funktionsnamen 'PRIME' fehlt die Argumentliste"},
        {"PRIME x", "nach dem Funktionsnamen 'PRIME' fehlt die Argumentliste"},
        {"MAX(1;2)", "der Funktionsname 'MAX' enthält ein x"},
        {"PRIME()", "der Funktion 'PRIME' fehlt ein Argument"},
        {"MOD(;3)", "der Funktion 'MOD' fehlt ein Argument"},
        {"MOD(3;)", "der Funktion 'MOD' fehlt das zweite Argument"},
        {"MOD(1;2;3)", "hat mehr als zwei Argumente"},
        {"MOD(1;2", "wird nicht geschlossen"},
        {"(x+1", msg::UnclosedParenthesis},
        {"x+1)", "eine schließende Klammer ohne öffnende"},
        {"()", "eine leere Klammer"},
        {"(-)", "nach '-' fehlt ein Operand"},
        {"x+", "nach '+' fehlt ein Operand"},
        {"*x", "vor '*' fehlt ein Operand"},
        {"x;1", msg::SemicolonOutsideArguments},
        {"(x;1)", msg::SemicolonOutsideArguments},
        {"x_", "nach 'x_' fehlt die Nummer"},
        {"x_1_2", "'_' steht nicht direkt nach x"},
        {"_1", "'_' steht nicht direkt nach x"},
    };
    for (const auto& c : cases) {
        TTerm term;
        const std::string message = MessageOf<EInvalidInput>([&] { term.Normalize(c.formula); });
        const std::string prefix = "Die Formel '" + QuotedText(c.formula) + "' ist ungültig: ";
        EXPECT_EQ(message.substr(0, prefix.size()), prefix);
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        for (const char ch : message) EXPECT_GE(static_cast<unsigned char>(ch), 0x20);
    }
}

TEST(Normalize, CapsLengthAndNesting) {
    TTerm term;
    // The longest and the deepest accepted formulas still parse and evaluate.
    const std::string longest(kMaxFormulaLength, 'x');
    Compile(term, longest + "   ");
    EXPECT_EQ(term.Evaluate(1), 1);
    std::string deepest =
        std::string(kMaxFormulaDepth, '(') + "x" + std::string(kMaxFormulaDepth, ')');
    Compile(term, deepest);
    EXPECT_EQ(term.Evaluate(6), 6);
    std::string powers = "x";
    while (powers.size() + 2 <= kMaxFormulaLength) powers += "^1";
    Compile(term, powers);
    EXPECT_EQ(term.Evaluate(6), 6);

    EXPECT_EQ(MessageOf<EInvalidInput>([&] { term.Normalize(longest + "x"); }),
              "Die Formel ist zu lang: höchstens 1000 Zeichen ohne Leerzeichen sind erlaubt");
    const std::string tooDeep = "(" + deepest + ")";
    const std::string message = MessageOf<EInvalidInput>([&] { term.Normalize(tooDeep); });
    EXPECT_NE(message.find("tiefer als 100 Klammerebenen"), std::string::npos) << message;
}

// Parse refuses what no Normalize produces, and a refused Parse leaves an
// empty term behind instead of half a tree.
TEST(Parse, RefusesMalformedTextAndLeavesAnEmptyTerm) {
    const char* texts[] = {"",
                           "()",
                           "(x_0*)",
                           "(*2)",
                           "x_0+(1",
                           "x_0+1)",
                           "(x_0+1)(2+3)",
                           "5(x_0+1)",
                           "(1.5+0)",
                           "(PRIME(x_0)+1",
                           "(PRIME x_0)",
                           "(MOD(1;2;3))",
                           "(MOD(;3))",
                           "(2PRIME(x_0))",
                           "(x_+1)",
                           "((x_0+1)+)"};
    for (const char* text : texts) {
        TTerm term;
        term.Parse("((x_1^2)+(PRIME(x_0)))");
        EXPECT_THROW(term.Parse(text), Exception) << text;
        EXPECT_EQ(term.Operation, 0) << text;
        EXPECT_EQ(term.LeftKind, 0) << text;
        EXPECT_EQ(term.LeftTerm, nullptr) << text;
        EXPECT_EQ(term.RightTerm, nullptr) << text;
        EXPECT_EQ(term.MaxPredecessor(), 0) << text;
    }
}

TEST(Parse, BuildsTheDescribedFields) {
    TTerm term;
    term.Parse("(MOD((x_1+x_2);12))");
    EXPECT_EQ(term.Operation, kFunctionCall);
    EXPECT_EQ(term.FunctionName, "MOD");
    EXPECT_EQ(term.LeftKind, kSubterm);
    EXPECT_EQ(term.RightKind, kConstant);
    EXPECT_EQ(term.RightValue, 12u);
    ASSERT_NE(term.LeftTerm, nullptr);
    EXPECT_EQ(term.LeftTerm->Operation, kSum);
    EXPECT_EQ(term.LeftTerm->LeftKind, kVariable);
    EXPECT_EQ(term.LeftTerm->RightValue, 2u);

    term.Parse("(-(x_0+1))");  // a new tree replaces the old one
    EXPECT_EQ(term.Operation, kDifference);
    EXPECT_EQ(term.LeftKind, kConstant);
    EXPECT_EQ(term.LeftValue, 0u);
    EXPECT_EQ(term.RightKind, kSubterm);
    EXPECT_TRUE(term.FunctionName.empty());
}

TEST(RoundToInt64, RoundsToNearestWithTiesToEven) {
    const struct {
        long double value;
        int64_t rounded;
    } cases[] = {
        {2.5L, 2},
        {3.5L, 4},
        {-2.5L, -2},
        {-3.5L, -4},
        {2.4999L, 2},
        {0.5L, 0},
        {-9223372036854775808.0L, INT64_MIN},
        {9223372036854775807.0L, INT64_MAX},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RoundToInt64(c.value), c.rounded) << static_cast<double>(c.value);
    for (long double bad :
         {9223372036854775807.5L, 9223372036854775808.0L, -9223372036854775809.0L, 1e30L})
        EXPECT_EQ(MessageOf<EInvalidOp>([&] { RoundToInt64(bad); }), msg::InvalidFloatOp);
}

}  // namespace
