#pragma once
// A parsed formula tree flattened into a list of instructions, so that an
// evaluation is one loop instead of a walk through linked nodes. It computes
// in exact 64-bit integers while every value is one, and in extended
// precision from the first operation whose exact result is not such an
// integer (a fraction, an overflow, -0) or that fails: that operation and all
// after it run exactly as the tree computes them, so the value and every
// message stay the tree's.
#include <cstdint>
#include <string_view>
#include <vector>

struct BuiltinFunction;
class TTerm;

// One node's operation (TTerm::Operation) applied to its operand values, in
// extended precision; the one definition of what an operation computes and
// how it fails.
long double ApplyOperation(int32_t operation, const BuiltinFunction* function,
                           std::string_view name, long double a, long double b);

class FormulaProgram {
public:
    // Flattens the tree below root, which must stay unchanged until Clear.
    // Arithmetic on constants alone is folded when its result is an integer.
    void Compile(const TTerm& root);
    void Clear();
    // Whether Run can evaluate: compiled, and every x_k has its start value.
    // A missing start value is left to the tree, which reports it in order.
    bool Covers(const std::vector<int64_t>& predecessors) const {
        return needed_ <= predecessors.size();
    }
    // The value at index n; predecessors[k-1] is x_k.
    long double Run(uint32_t n, const int64_t* predecessors) const;

    enum class Code : uint8_t { kPower, kProduct, kQuotient, kSum, kDifference, kSquare, kCall };
    // Where an operand is: registers[0] is n and the rest hold results, the
    // predecessors are the caller's list and numbers are in the program's pool.
    enum Base : uint8_t { kRegisters, kPredecessors, kPool };
    struct Operand {
        Base base = kPool;
        uint32_t index = 0;
    };
    struct Instruction {
        Code code = Code::kSum;
        int32_t operation = 0;  // the node's TTerm::Operation
        uint32_t target = 0;    // the register that receives the result
        Operand left;
        Operand right;
        const BuiltinFunction* function = nullptr;
        std::string_view name;  // the function as written, for messages
    };

private:
    Operand Emit(const TTerm& node, uint32_t target, bool fold);
    Operand OperandOf(int32_t kind, const TTerm* term, uint32_t value, uint32_t target);
    Operand Number(int64_t value);
    long double RunIn(int64_t* registers, uint32_t n, const int64_t* predecessors) const;
    long double RunLarge(uint32_t n, const int64_t* predecessors) const;
    // From the first instruction whose exact result is no int64 on; bases
    // are those of RunIn, with the results so far.
    long double RunExtended(const Instruction* from, const int64_t* const* bases) const;
    long double RunExtendedIn(long double* extended, const Instruction* from,
                              const int64_t* const* bases) const;

    std::vector<Instruction> code_;
    std::vector<int64_t> pool_;
    uint32_t registers_ = 1;
    uint64_t maxPredecessor_ = 0;
    // The start values Run needs: maxPredecessor_, or more than any list has
    // while nothing is compiled.
    uint64_t needed_ = UINT64_MAX;
};
