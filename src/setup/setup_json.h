#pragma once
// A setup file's text as one JSON value, in time linear in its size whatever
// its shape. Refused (ESetupError, naming the file): text that is not JSON
// from its first byte to its last, nesting or values beyond what any setup
// holds. Kept are only members of keys the reader knows (IsSetupKey), in the
// file's order, and of the voices one more than an ensemble plays, enough
// for the reader to refuse the list. A number beyond double comes back as a
// binary value holding its text, which no JSON text yields otherwise, so
// that a field holding it is refused by name.
#include <nlohmann/json.hpp>
#include <string>

nlohmann::ordered_json SetupJsonOf(const std::string& text, const std::string& fileName);
