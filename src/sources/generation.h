#pragma once
// Generating a sequence from a formula: the formula frame's logic without its window.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/maptable.h"
#include "formula/formulaparser.h"

// The explicit list holds at most this much text; a generation that would pass
// it stops with "Text überschreitet Memo-Kapazität".
inline constexpr size_t kExplicitListCapacity = 32u << 20;

// The most earlier members a formula may refer to (x_1 .. x_100); each one is a
// row of the start-value table and is moved along after every member.
inline constexpr int32_t kMaxPredecessorIndex = 100;

// One formula frame's term and start-value table (rows "1".."K").
class FormulaGenerator {
public:
    FormulaGenerator(TTerm& term, ValueListTable& startValues)
        : term_(term), startValues_(startValues) {}

    // Normalises and parses the formula into the term; Predecessors stays.
    void Compile(const std::string& formula);
    // Compiles, then fits the start-value table to the formula's K: rows are
    // added with the values the term still remembers, removed only when K > 0.
    void FormulaExit(const std::string& formula);
    // Loads the table's values (signed 64-bit integers) into Predecessors and compiles again.
    void StartValuesExit(const std::string& formula);
    // Whether the start-value table is to be shown (the formula uses some x_k).
    bool StartValuesShown() const { return shown_; }

    // The whole generation: fits and loads the start values, empties list, reads
    // the count and appends the members as a result text ("1, -2, 3"). On a
    // failure list holds what the explicit list then holds: unchanged when the
    // formula or a start value failed, else the members computed before.
    void Generate(const std::string& formula, const std::string& countText, bool zeroNatural,
                  std::string& list);

private:
    TTerm& term_;
    ValueListTable& startValues_;
    bool shown_ = false;
};
