#pragma once
// Text routines that the lookup uses to cut a page down to the part it wants.
// Positions count from 1. None of them reads or writes past the text.
#include <cstddef>
#include <string>
#include <string_view>

// Deletes count characters at position, then inserts replacement there. A
// count reaching past the end deletes up to the end; a position past the end
// appends, one before the start inserts at the start.
void ReplaceAt(std::string& s, std::size_t position, std::size_t count,
               std::string_view replacement);

// Deletes everything from the start of s through the end of the first
// occurrence of marker and reports whether marker occurred. Without it nothing
// follows the marker, so s becomes empty. An empty marker never occurs.
bool DeleteThrough(std::string& s, std::string_view marker);

// Deletes everything from the first occurrence of marker to the end of s and
// reports whether marker occurred; s stays unchanged when it does not. An
// empty marker never occurs.
bool DeleteFrom(std::string& s, std::string_view marker);
