#include "sources/bfile.h"

#include <cstdint>
#include <limits>

#include "common/quote.h"
#include "common/text.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

[[noreturn]] void Fail(std::size_t line, const std::string& cause) {
    throw EBFileError("Zeile " + std::to_string(line) + ": " + cause);
}

// An optional "-" and digits from pos on; the digits without the sign.
std::string_view Integer(std::string_view text, std::size_t& pos) {
    if (pos < text.size() && text[pos] == '-') ++pos;
    const std::size_t first = pos;
    while (pos < text.size() && IsDigit(text[pos])) ++pos;
    return text.substr(first, pos - first);
}

// n as a signed number; an index beyond 64 bits is no index.
bool IndexValue(std::string_view digits, bool negative, int64_t& value) {
    uint64_t n = 0;
    for (const char c : digits) {
        if (n > (std::numeric_limits<uint64_t>::max() - 9) / 10) return false;
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    if (n > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
    value = negative ? -static_cast<int64_t>(n) : static_cast<int64_t>(n);
    return true;
}

}  // namespace

std::string BFileAddress(const std::string& base, const std::string& aNumber) {
    std::string digits = aNumber.substr(aNumber.starts_with("A") ? 1 : 0);
    return base + "A" + digits + "/b" + digits + ".txt";
}

std::string BFileTerms(std::string_view text) {
    std::string terms;
    std::size_t count = 0;
    bool haveIndex = false;
    int64_t lastIndex = 0;
    std::size_t lineNumber = 0;
    std::size_t begin = 0;
    while (begin < text.size() && count < kBFileTermsMax) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(begin, end - begin);
        begin = end + 1;
        ++lineNumber;
        if (line.ends_with('\r')) line.remove_suffix(1);
        std::size_t pos = 0;
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos == line.size() || line[pos] == '#') continue;

        const bool negativeIndex = line[pos] == '-';
        const std::string_view index = Integer(line, pos);
        const std::size_t afterIndex = pos;
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        const bool separated = pos > afterIndex;
        const std::string_view term = Integer(line, pos);
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (index.empty() || !separated || term.empty() || pos != line.size())
            Fail(lineNumber, "erwartet \"n a(n)\", nicht \"" + QuotedText(line) + "\"");
        int64_t n = 0;
        if (!IndexValue(index, negativeIndex, n))
            Fail(lineNumber, "der Index " + QuotedText(index) + " ist zu groß");
        if (haveIndex && n <= lastIndex)
            Fail(lineNumber, "der Index " + std::string(negativeIndex ? "-" : "") +
                                 std::string(index) + " folgt nicht auf " +
                                 std::to_string(lastIndex));
        if (term.size() > kBFileDigitsMax)
            Fail(lineNumber, "das Glied hat " + std::to_string(term.size()) +
                                 " Ziffern, mehr als " + std::to_string(kBFileDigitsMax));
        haveIndex = true;
        lastIndex = n;
        if (count++ > 0) terms += ", ";
        terms += term;
    }
    if (count == 0) throw EBFileError("die b-Datei enthält kein Glied");
    return terms;
}
