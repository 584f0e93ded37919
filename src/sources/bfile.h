#pragma once
// A sequence's b-file: the whole list of terms that the database keeps beside
// the short one, one "n a(n)" pair a line.
#include <cstddef>
#include <string>
#include <string_view>

#include "common/errors.h"

// Longer than anything a window or a melody can use; the rest is not read.
inline constexpr std::size_t kBFileTermsMax = 10000;
// The database keeps b-file terms to this many digits.
inline constexpr std::size_t kBFileDigitsMax = 1000;
inline constexpr std::size_t kBFileBytesMax = std::size_t{16} << 20;

// The cause a b-file is refused for, naming its line ("Zeile 3: ...").
class EBFileError : public EInvalidInput {
    using EInvalidInput::EInvalidInput;
};

// The address of the b-file of "A000045" below base: base + "A000045/b000045.txt".
std::string BFileAddress(const std::string& base, const std::string& aNumber);

struct BFileRead {
    std::string terms;           // a result text: "0, 1, 1, 2"
    bool negativeTerms = false;  // a term had a sign, which the result text drops
};

// The first kBFileTermsMax terms. Lines are comments ("#"), blank, or
// "n a(n)" with n one more than on the line before, and each ends with a line
// feed; anything else (a control character, a line cut short) is refused, as
// is a file without a term.
BFileRead ReadBFile(std::string_view text);
