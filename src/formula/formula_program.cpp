#include "formula/formula_program.h"

#include <algorithm>
#include <cmath>

#include "common/errors.h"
#include "common/messages.h"
#include "formula/builtin_functions.h"
#include "formula/formulaparser.h"

namespace {

using Code = FormulaProgram::Code;
using Instruction = FormulaProgram::Instruction;
using Operand = FormulaProgram::Operand;

// a^bits for a != 0 and bits >= 1, by repeated squaring. Squares only while
// bits remain, so no unused square can overflow.
long double IntPower(long double a, uint32_t bits) {
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

// The throws live out of line so that the arithmetic stays small.
[[noreturn, gnu::noinline, gnu::cold]] void ThrowOverflow() { throw EOverflow(msg::FloatOverflow); }

[[noreturn, gnu::noinline, gnu::cold]] void ThrowDivision(long double dividend) {
    if (dividend == 0) throw EInvalidOp(msg::InvalidFloatOp);
    throw EZeroDivide(msg::FloatDivisionByZero);
}

// The same repeated squaring in integers; false as soon as a step leaves
// int64. Up to there every step is exact in extended precision too, so a
// result agrees with IntPower's.
bool ExactPower(int64_t a, int64_t b, int64_t& r) {
    if (b == 0 || a == 0) {
        r = b == 0 ? 1 : 0;  // Power's first two rules, for b > 0
        return b >= 0;
    }
    if (b < 0 || b > 2147483647) return false;  // fractions and the logarithm
    int64_t result = 1;
    int64_t square = a;
    for (auto bits = static_cast<uint32_t>(b);;) {
        if ((bits & 1) != 0 && __builtin_mul_overflow(result, square, &result)) return false;
        bits >>= 1;
        if (bits == 0) break;
        if (__builtin_mul_overflow(square, square, &square)) return false;
    }
    r = result;
    return true;
}

// An instruction on integer operands; false where the extended result is no
// integer of int64, is -0 (a product or quotient of 0 and a negative number)
// or is a failure. Integers of int64 are exact in extended precision, so a
// true result is the very value that ApplyOperation would give. b() is read
// only where it is needed.
template <typename Right>
[[gnu::always_inline]] inline bool ExactOperation(const Instruction& in, int64_t a, Right b,
                                                  int64_t& r) {
    switch (in.code) {
        case Code::kSum:
            if (__builtin_add_overflow(a, b(), &r)) [[unlikely]]
                return false;
            return true;
        case Code::kDifference:
            if (__builtin_sub_overflow(a, b(), &r)) [[unlikely]]
                return false;
            return true;
        case Code::kProduct: {
            const int64_t y = b();
            if (__builtin_mul_overflow(a, y, &r) || (r == 0 && (a | y) < 0)) [[unlikely]]
                return false;
            return true;
        }
        case Code::kSquare:
            if (__builtin_mul_overflow(a, a, &r)) [[unlikely]]
                return false;
            return true;
        case Code::kQuotient: {
            const int64_t y = b();
            if (y == 0 || (y < 0 && (a == 0 || (y == -1 && a == INT64_MIN))) || a % y != 0)
                return false;
            r = a / y;
            return true;
        }
        case Code::kPower:
        case Code::kCall: {
            // A result of its own, so that r can stay in a register.
            int64_t result = 0;
            const bool exact = in.code == Code::kPower ? ExactPower(a, b(), result)
                                                       : ApplyExact(in.function, a, b(), result);
            r = result;
            return exact;
        }
    }
    __builtin_unreachable();
}

long double ExtendedValue(const Operand& o, const long double* extended,
                          const int64_t* predecessors, const int64_t* pool) {
    switch (o.base) {
        case FormulaProgram::kRegisters:
            return extended[o.index];
        case FormulaProgram::kPredecessors:
            return static_cast<long double>(predecessors[o.index]);
        case FormulaProgram::kPool:
            break;
    }
    return static_cast<long double>(pool[o.index]);
}

// Up to this many registers live on the stack; larger programs take the heap.
constexpr uint32_t kLocalRegisters = 16;

}  // namespace

long double ApplyOperation(int32_t operation, const BuiltinFunction* function,
                           std::string_view name, long double a, long double b) {
    long double result;
    switch (operation) {
        case kFunctionCall:
            return ApplyFunction(function, name, a, b);
        case kPower:
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

void FormulaProgram::Clear() {
    code_.clear();
    pool_.clear();
    registers_ = 1;
    maxPredecessor_ = 0;
    needed_ = UINT64_MAX;
}

void FormulaProgram::Compile(const TTerm& root) {
    Clear();
    Emit(root, 1, false);
    needed_ = maxPredecessor_;
}

Operand FormulaProgram::Number(int64_t value) {
    pool_.push_back(value);
    return {kPool, static_cast<uint32_t>(pool_.size() - 1)};
}

Operand FormulaProgram::OperandOf(int32_t kind, const TTerm* term, uint32_t value,
                                  uint32_t target) {
    switch (kind) {
        case kSubterm:
            if (term != nullptr) return Emit(*term, target, true);
            break;
        case kVariable:
            if (value == 0) return {kRegisters, 0};
            maxPredecessor_ = std::max<uint64_t>(maxPredecessor_, value);
            return {kPredecessors, value - 1};
        case kConstant:
            return Number(value);
        default:
            break;
    }
    return Number(0);  // what the tree reads for a missing operand
}

// The instructions of node in the tree's order (left operand, right operand,
// operation), with the result in target; the registers below it hold pending
// results.
Operand FormulaProgram::Emit(const TTerm& node, uint32_t target, bool fold) {
    Instruction in;
    in.operation = node.Operation;
    in.target = target;
    in.left = OperandOf(node.LeftKind, node.LeftTerm.get(), node.LeftValue, target);
    const uint32_t rightTarget =
        in.left.base == kRegisters && in.left.index != 0 ? target + 1 : target;
    in.right = OperandOf(node.RightKind, node.RightTerm.get(), node.RightValue, rightTarget);
    switch (node.Operation) {
        case kFunctionCall:
            in.code = Code::kCall;
            in.function = node.function_;
            in.name = node.FunctionName;
            break;
        case kPower:
            in.code =
                in.right.base == kPool && pool_[in.right.index] == 2 ? Code::kSquare : Code::kPower;
            break;
        case kProduct:
        case kQuotient:
        case kSum:
        case kDifference:
            in.code = static_cast<Code>(node.Operation);
            break;
        default:
            // Nothing the parser builds; like the tree, the program answers 0.
            in.code = Code::kCall;
            in.function = nullptr;
            break;
    }
    // Calls are left to run time: some take long, and a formula is compiled
    // while it is typed.
    if (fold && in.code != Code::kCall && in.left.base == kPool && in.right.base == kPool) {
        const int64_t right = pool_[in.right.index];
        int64_t folded = 0;
        if (ExactOperation(
                in, pool_[in.left.index], [&] { return right; }, folded))
            return Number(folded);
    }
    registers_ = std::max(registers_, rightTarget + 1);
    code_.push_back(in);
    return {kRegisters, target};
}

long double FormulaProgram::Run(uint32_t n, const int64_t* predecessors) const {
    if (registers_ > kLocalRegisters) [[unlikely]]
        return RunLarge(n, predecessors);
    int64_t registers[kLocalRegisters];
    return RunIn(registers, n, predecessors);
}

long double FormulaProgram::RunLarge(uint32_t n, const int64_t* predecessors) const {
    std::vector<int64_t> registers(registers_);
    return RunIn(registers.data(), n, predecessors);
}

[[gnu::always_inline]] inline long double FormulaProgram::RunIn(int64_t* registers, uint32_t n,
                                                                const int64_t* predecessors) const {
    registers[0] = n;
    const int64_t* const bases[] = {registers, predecessors, pool_.data()};
    const Instruction* const end = code_.data() + code_.size();
    for (const Instruction* in = code_.data(); in != end; ++in) {
        int64_t r;
        if (!ExactOperation(
                *in, bases[in->left.base][in->left.index],
                [&] { return bases[in->right.base][in->right.index]; }, r)) [[unlikely]]
            return RunExtended(in, bases);
        registers[in->target] = r;
    }
    return static_cast<long double>(registers[1]);
}

long double FormulaProgram::RunExtended(const Instruction* from,
                                        const int64_t* const* bases) const {
    if (registers_ > kLocalRegisters) {
        std::vector<long double> extended(registers_);
        return RunExtendedIn(extended.data(), from, bases);
    }
    long double extended[kLocalRegisters];
    return RunExtendedIn(extended, from, bases);
}

long double FormulaProgram::RunExtendedIn(long double* extended, const Instruction* from,
                                          const int64_t* const* bases) const {
    const int64_t* const registers = bases[kRegisters];
    const int64_t* const predecessors = bases[kPredecessors];
    // n, the pending results below the target, and this instruction's operands.
    extended[0] = static_cast<long double>(registers[0]);
    for (uint32_t r = 1; r < from->target; ++r)
        extended[r] = static_cast<long double>(registers[r]);
    for (const Operand* o : {&from->left, &from->right})
        if (o->base == kRegisters)
            extended[o->index] = static_cast<long double>(registers[o->index]);
    const Instruction* const end = code_.data() + code_.size();
    for (const Instruction* in = from; in != end; ++in) {
        const long double a = ExtendedValue(in->left, extended, predecessors, pool_.data());
        const long double b = ExtendedValue(in->right, extended, predecessors, pool_.data());
        extended[in->target] = ApplyOperation(in->operation, in->function, in->name, a, b);
    }
    return extended[1];
}
