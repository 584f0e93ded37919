#include "sources/generation.h"

#include <algorithm>
#include <cstdio>

#include "common/convert.h"
#include "common/errors.h"
#include "formula/formula_text.h"

namespace {

// The member that a value rounds to. A member beyond the signed 64-bit range
// stops the generation: cutting it would make it and every member after it wrong.
int64_t MemberValue(long double value, int64_t position, uint32_t index) {
    if (value >= -9223372036854775808.0L && value <= 9223372036854775807.0L)
        return RoundToInt64(value);
    throw EInvalidInput("Das " + std::to_string(position) + ". Folgeglied (x = " +
                        std::to_string(index) + ") ist " + IntegerText(value) +
                        " und liegt außerhalb von -9223372036854775808 bis 9223372036854775807");
}

}  // namespace

void FormulaGenerator::Compile(const std::string& formula) {
    term_.Parse(term_.Normalize(formula));
    const int32_t k = term_.MaxPredecessor();
    if (k > kMaxPredecessorIndex)
        throw EInvalidInput("Die Formel \"" + QuotedText(formula) + "\" verweist auf x_" +
                            std::to_string(k) + "; erlaubt sind x_1 bis x_" +
                            std::to_string(kMaxPredecessorIndex));
}

void FormulaGenerator::FormulaExit(const std::string& formula) {
    Compile(formula);
    const int32_t k = term_.MaxPredecessor();
    const auto& remembered = term_.Predecessors;
    for (int r = startValues_.RowCount(); r < k; ++r)
        startValues_.AppendRow(
            static_cast<size_t>(r) < remembered.size() ? std::to_string(remembered[r]) : "0");
    if (k > 0)
        while (startValues_.RowCount() > k) startValues_.DeleteLastRow();
    shown_ = k > 0;
}

void FormulaGenerator::StartValuesExit(const std::string& formula) {
    const int32_t k = term_.MaxPredecessor();
    std::vector<int64_t> values(static_cast<size_t>(k));
    for (int32_t i = 1; i <= k; ++i) {
        const int row = startValues_.FindKey(std::to_string(i));
        values[i - 1] = StrToInt64(row >= 0 ? startValues_.Value(row) : std::string());
    }
    term_.Predecessors = std::move(values);
    Compile(formula);
}

void FormulaGenerator::Generate(const std::string& formula, const std::string& countText,
                                bool zeroNatural, std::string& list) {
    FormulaExit(formula);
    StartValuesExit(formula);
    list.clear();
    const int32_t count = StrToInt(countText);
    auto& predecessors = term_.Predecessors;
    const size_t k = predecessors.size();
    char member[32];
    for (int64_t i = 1; i <= count; ++i) {
        const auto index = static_cast<uint32_t>(zeroNatural ? i - 1 : i);
        const int64_t value = MemberValue(term_.Evaluate(index), i, index);
        const int length = std::snprintf(member, sizeof member, i == 1 ? "%lld" : ", %lld",
                                         static_cast<long long>(value));
        if (list.size() + static_cast<size_t>(length) > kExplicitListCapacity)
            throw EOutOfCapacity(msg::MemoCapacity);
        list.append(member, static_cast<size_t>(length));
        if (k > 0) {
            std::copy_backward(predecessors.begin(), predecessors.end() - 1, predecessors.end());
            predecessors[0] = value;
        }
    }
}
