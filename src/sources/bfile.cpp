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

// A zero byte or another control character is a damaged file, not a term.
void CheckControlCharacters(std::string_view line, std::size_t lineNumber) {
    for (const char c : line) {
        const auto code = static_cast<unsigned char>(c);
        if ((code < 0x20 && c != '\t') || code == 0x7f) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            Fail(lineNumber, std::string("die Zeile enthält das Steuerzeichen 0x") +
                                 kHex[code >> 4] + kHex[code & 0xf]);
        }
    }
}

// n follows last: one more. A gap would join terms that are not neighbours.
void CheckFollows(int64_t n, int64_t last, std::size_t lineNumber) {
    const std::string follows =
        "der Index " + std::to_string(n) + " folgt nicht auf " + std::to_string(last);
    if (n <= last) Fail(lineNumber, follows);
    // last < n here, so last + 1 and n - 1 stay in range.
    if (n - 1 == last + 1)
        Fail(lineNumber, follows + ", es fehlt a(" + std::to_string(last + 1) + ")");
    if (n > last + 1)
        Fail(lineNumber, follows + ", es fehlen a(" + std::to_string(last + 1) + ") bis a(" +
                             std::to_string(n - 1) + ")");
}

}  // namespace

std::string BFileAddress(const std::string& base, const std::string& aNumber) {
    std::string digits = aNumber.substr(aNumber.starts_with("A") ? 1 : 0);
    return base + "A" + digits + "/b" + digits + ".txt";
}

BFileRead ReadBFile(std::string_view text) {
    BFileRead read;
    std::size_t count = 0;
    bool haveIndex = false;
    int64_t lastIndex = 0;
    std::size_t lineNumber = 0;
    std::size_t begin = 0;
    while (begin < text.size() && count < kBFileTermsMax) {
        const std::size_t end = text.find('\n', begin);
        ++lineNumber;
        // Without a Content-Length a body cut short looks whole but for this.
        if (end == std::string_view::npos)
            Fail(lineNumber, "die Zeile endet ohne Zeilenumbruch, die b-Datei ist unvollständig");
        std::string_view line = text.substr(begin, end - begin);
        begin = end + 1;
        if (line.ends_with('\r')) line.remove_suffix(1);
        CheckControlCharacters(line, lineNumber);
        std::size_t pos = 0;
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos == line.size() || line[pos] == '#') continue;

        const bool negativeIndex = line[pos] == '-';
        const std::string_view index = Integer(line, pos);
        const std::size_t afterIndex = pos;
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        const bool separated = pos > afterIndex;
        const bool negativeTerm = pos < line.size() && line[pos] == '-';
        const std::string_view term = Integer(line, pos);
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (index.empty() || !separated || term.empty() || pos != line.size())
            Fail(lineNumber, "erwartet \"n a(n)\", nicht \"" + QuotedText(line) + "\"");
        int64_t n = 0;
        if (!IndexValue(index, negativeIndex, n))
            Fail(lineNumber, "der Index " + QuotedText(index) + " ist zu groß");
        if (haveIndex) CheckFollows(n, lastIndex, lineNumber);
        if (term.size() > kBFileDigitsMax)
            Fail(lineNumber, "das Glied hat " + std::to_string(term.size()) +
                                 " Ziffern, mehr als " + std::to_string(kBFileDigitsMax));
        haveIndex = true;
        lastIndex = n;
        if (count++ > 0) read.terms += ", ";
        read.terms += term;
        read.negativeTerms = read.negativeTerms || negativeTerm;
    }
    if (count == 0) throw EBFileError("die b-Datei enthält kein Glied");
    return read;
}
