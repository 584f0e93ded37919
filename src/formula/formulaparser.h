#pragma once
// The formula language: a typed formula is rewritten into a fully
// parenthesised canonical text (Normalize), taken apart into a tree of terms
// (Parse) and evaluated per index in extended precision (Evaluate).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formula/formula_program.h"

struct BuiltinFunction;

// Operand kinds (LeftKind, RightKind).
inline constexpr int32_t kSubterm = 1;
inline constexpr int32_t kVariable = 2;
inline constexpr int32_t kConstant = 3;

// Operation codes: positions in the operator table "^*/+-", and -1 for a call.
inline constexpr int32_t kFunctionCall = -1;
inline constexpr int32_t kPower = 0;
inline constexpr int32_t kProduct = 1;
inline constexpr int32_t kQuotient = 2;
inline constexpr int32_t kSum = 3;
inline constexpr int32_t kDifference = 4;

// Limits that keep every input's work and recursion small. A typed formula
// longer than kMaxFormulaLength characters (spaces not counted) or nested
// deeper than kMaxFormulaDepth parentheses is refused with a message.
inline constexpr size_t kMaxFormulaLength = 1000;
inline constexpr int kMaxFormulaDepth = 100;

// Nearest integer, ties to even, as a signed 64-bit integer. A value outside
// that range raises EInvalidOp ("Ungültige Gleitkommaoperation").
int64_t RoundToInt64(long double value);

// One node of a formula tree: one operation applied to two operands. The root
// stands for the whole formula and owns the Predecessors list that every node
// of its tree reads.
class TTerm {
public:
    TTerm();
    ~TTerm();
    // Subterms refer to their root's list, so a term never moves or copies.
    TTerm(const TTerm&) = delete;
    TTerm& operator=(const TTerm&) = delete;

    int32_t LeftKind = 0;
    int32_t RightKind = 0;
    std::unique_ptr<TTerm> LeftTerm;
    std::unique_ptr<TTerm> RightTerm;
    uint32_t LeftValue = 0;
    uint32_t RightValue = 0;
    int32_t Operation = 0;
    std::string FunctionName;
    // Element k-1 is the value of x_k, an exact signed 64-bit member. The
    // root's own list; in a subterm this is the very same list as its root's.
    std::vector<int64_t>& Predecessors;

    // Rewrites a typed formula into canonical text. Refuses text outside the
    // formula language with EInvalidInput, quoting the formula.
    std::string Normalize(std::string_view formula) const;
    // Builds the tree of a canonical text in this term. Numbers beyond
    // 2147483647 raise EConvertError; malformed text raises EInvalidInput.
    // After a failure the term is empty again.
    void Parse(std::string_view text);
    // The largest k of any x_k in the tree, 0 if there is none.
    int32_t MaxPredecessor() const;
    // The value of the term at index n. The root of a parsed tree runs its
    // compiled program; the result is the same as the walk through the tree.
    long double Evaluate(uint32_t n) const;
    // Applies a built-in function; an unknown name yields 0. An argument that
    // the function cannot read is refused with EInvalidInput.
    long double CallFunction(std::string_view name, long double a, long double b) const;

private:
    friend class FormulaProgram;
    explicit TTerm(std::vector<int64_t>& shared);
    // The walk through the tree: the order in which operands are computed and
    // fail, which the program keeps, and the answer when x_k has no start value.
    long double EvaluateTree(uint32_t n) const;
    long double OperandValue(int32_t kind, const TTerm* term, uint32_t value, uint32_t n) const;
    void Clear();
    void ParseNode(std::string_view text, int depth);
    // The function call that s (text without its outer parentheses) holds from split on.
    void ParseCall(std::string_view s, std::string_view text, size_t split, int depth);
    void ParseOperand(std::string_view operand, std::string_view whole, bool left, int depth);
    void ParseArgument(std::string_view argument, std::string_view whole, bool left, int depth);

    const BuiltinFunction* function_ = nullptr;  // FunctionName resolved once by Parse
    std::vector<int64_t> ownPredecessors_;
    FormulaProgram program_;  // the root's tree compiled by Parse; empty in subterms
};
