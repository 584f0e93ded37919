#pragma once
// The checks that stand between a typed formula and its rewriting: they
// accept exactly the formula language and say in German what is wrong.
#include <string_view>

// `text` is the formula without spaces, ":" as "/" and X as x; `typed` is the
// same before X became x, for quoting names as written; `formula` is what was
// typed, for the message. Refuses with EInvalidInput.
void CheckFormula(std::string_view text, std::string_view typed, std::string_view formula);
