#include "sources/data_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <utility>

#include "common/messages.h"
#include "common/quote.h"
#include "common/text.h"
#include "formula/formulaparser.h"
#include "sources/generation.h"

namespace {

// The guess reads this many lines of data; enough to see a header and the columns.
constexpr std::size_t kSampleLines = 50;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

[[noreturn]] void Fail(const std::string& cause) { throw EDataFileError(cause); }

std::string At(std::size_t line, int column) {
    return "Zeile " + std::to_string(line) + ", Spalte " + std::to_string(column + 1) + ": ";
}

// The lines that hold data, numbered from 1 as the file counts them: blank
// lines and comments ("#") are passed over, "\r\n" ends a line as "\n" does.
class DataLines {
public:
    explicit DataLines(std::string_view text) : text_(text) {}
    bool Next(std::string_view& line) {
        while (pos_ < text_.size()) {
            const void* feed = std::memchr(text_.data() + pos_, '\n', text_.size() - pos_);
            const std::size_t end =
                feed ? static_cast<std::size_t>(static_cast<const char*>(feed) - text_.data())
                     : text_.size();
            line = text_.substr(pos_, end - pos_);
            pos_ = end + 1;
            ++number_;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            std::size_t first = 0;
            while (first < line.size() && IsBlank(line[first])) ++first;
            if (first < line.size() && line[first] != '#') return true;
        }
        return false;
    }
    std::size_t Number() const { return number_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t number_ = 0;
};

std::vector<std::string_view> SampleLines(std::string_view text) {
    std::vector<std::string_view> sample;
    DataLines lines(text);
    std::string_view line;
    while (sample.size() < kSampleLines && lines.Next(line)) sample.push_back(line);
    return sample;
}

// The first `most` fields of a line. A field in double quotes may hold the
// separator; blanks around a field are not part of it.
void SplitFields(std::string_view line, FieldSeparator separator,
                 std::vector<std::string_view>& fields, std::size_t most = SIZE_MAX) {
    fields.clear();
    const bool blanks = separator == FieldSeparator::Blanks;
    const char mark = separator == FieldSeparator::Semicolon ? ';'
                      : separator == FieldSeparator::Comma   ? ','
                                                             : '\t';
    const auto isPad = [&](char c) {
        return c == ' ' || (c == '\t' && separator != FieldSeparator::Tab);
    };
    const auto nextSeparator = [&](std::size_t from) {
        const std::size_t at = blanks ? line.find_first_of(" \t", from) : line.find(mark, from);
        return std::min(at, line.size());
    };
    std::size_t pos = 0;
    while (pos < line.size() && isPad(line[pos])) ++pos;
    if (blanks && pos == line.size()) return;
    while (fields.size() < most) {
        std::size_t end = 0;
        if (pos < line.size() && line[pos] == '"') {
            std::size_t close = pos + 1;
            while (close < line.size() && line[close] != '"') ++close;
            fields.push_back(line.substr(pos + 1, close - pos - 1));
            end = nextSeparator(std::min(close + 1, line.size()));
        } else {
            end = nextSeparator(pos);
            std::string_view field = line.substr(pos, end - pos);
            while (!field.empty() && isPad(field.back())) field.remove_suffix(1);
            fields.push_back(field);
        }
        if (end == line.size()) return;
        pos = end + 1;
        while (pos < line.size() && isPad(line[pos])) ++pos;
        if (blanks && pos == line.size()) return;
    }
}

enum class NumberRead { Number, NotANumber, TooLarge };

// Up to this many digits fit 64 bits, and their powers of ten are exact in
// extended precision (5^19 < 2^64).
constexpr std::size_t kExactDigits = 19;
constexpr auto kPowersOfTen = [] {
    std::array<long double, kExactDigits + 1> powers{};
    long double power = 1;
    for (long double& p : powers) {
        p = power;
        power *= 10;
    }
    return powers;
}();

struct Number {
    bool negative = false;
    std::string_view digits;  // an integer as written, without leading zeros
    bool rounded = false;     // else value: a decimal or exponent rounded
    int64_t value = 0;
};

// [sign] digits [mark digits] [e [sign] digits], a digit before or after the mark.
NumberRead ReadNumber(std::string_view field, bool decimalComma, Number& number) {
    number = Number{};
    std::size_t pos = 0;
    const auto digits = [&] {
        const std::size_t first = pos;
        while (pos < field.size() && IsDigit(field[pos])) ++pos;
        return pos - first;
    };
    if (pos < field.size() && (field[pos] == '-' || field[pos] == '+'))
        number.negative = field[pos++] == '-';
    const std::size_t integerFrom = pos;
    const std::size_t integerDigits = digits();
    const bool point = pos < field.size() && field[pos] == (decimalComma ? ',' : '.');
    const std::size_t fractionDigits = point ? (++pos, digits()) : 0;
    if (integerDigits == 0 && fractionDigits == 0) return NumberRead::NotANumber;
    const bool exponent = pos < field.size() && (field[pos] == 'e' || field[pos] == 'E');
    bool smallExponent = false;
    if (exponent) {
        ++pos;
        if (pos < field.size() && (field[pos] == '-' || field[pos] == '+'))
            smallExponent = field[pos++] == '-';
        if (digits() == 0) return NumberRead::NotANumber;
    }
    if (pos != field.size()) return NumberRead::NotANumber;
    if (!point && !exponent) {
        std::string_view integer = field.substr(integerFrom, integerDigits);
        while (integer.size() > 1 && integer.front() == '0') integer.remove_prefix(1);
        number.digits = integer;
        number.negative = number.negative && integer != "0";
        return NumberRead::Number;
    }
    long double value = 0;
    if (!exponent && integerDigits + fractionDigits <= kExactDigits) {
        // Both numbers are exact and the division rounds once: the value that
        // reading the text as a whole gives, much faster.
        uint64_t digitsValue = 0;
        for (const char c : field.substr(integerFrom))
            if (IsDigit(c)) digitsValue = digitsValue * 10 + static_cast<uint64_t>(c - '0');
        value = static_cast<long double>(digitsValue) / kPowersOfTen[fractionDigits];
    } else {
        // from_chars reads the C notation whatever locale the program runs in.
        std::string written(field.substr(integerFrom));
        if (decimalComma) std::replace(written.begin(), written.end(), ',', '.');
        const auto [end, error] =
            std::from_chars(written.data(), written.data() + written.size(), value);
        if (error == std::errc::result_out_of_range) {
            if (!smallExponent) return NumberRead::TooLarge;
            value = 0;
        } else if (error != std::errc() || end != written.data() + written.size()) {
            return NumberRead::NotANumber;
        }
    }
    try {
        number.value = RoundToInt64(number.negative ? -value : value);
    } catch (const EInvalidOp&) {
        return NumberRead::TooLarge;
    }
    number.rounded = true;
    number.negative = number.value < 0;
    return NumberRead::Number;
}

// A number in its notation, whether or not it rounds into range.
bool IsNumber(std::string_view field, bool decimalComma) {
    Number number;
    return ReadNumber(field, decimalComma, number) != NumberRead::NotANumber;
}

// The number of fields that are numbers in lines [from, end), and whether
// every line has as many fields.
struct LayoutScore {
    std::size_t numbers = 0;
    bool steady = true;
};

LayoutScore Score(const std::vector<std::string_view>& sample, std::size_t from,
                  const DataLayout& layout) {
    LayoutScore score;
    std::vector<std::string_view> fields;
    std::size_t count = SIZE_MAX;
    for (std::size_t i = from; i < sample.size(); ++i) {
        SplitFields(sample[i], layout.Separator, fields);
        if (count != SIZE_MAX && fields.size() != count) score.steady = false;
        count = fields.size();
        for (const std::string_view field : fields)
            score.numbers += IsNumber(field, layout.DecimalComma) ? 1 : 0;
    }
    return score;
}

// Whether column j is a number in every line of the sample from `from` on.
bool NumbersFrom(const std::vector<std::string_view>& sample, std::size_t from,
                 const DataLayout& layout, std::size_t j) {
    if (from >= sample.size()) return false;
    std::vector<std::string_view> fields;
    for (std::size_t i = from; i < sample.size(); ++i) {
        SplitFields(sample[i], layout.Separator, fields, j + 1);
        if (fields.size() <= j || !IsNumber(fields[j], layout.DecimalComma)) return false;
    }
    return true;
}

// Whether column j counts up by one from line to line, as an index does.
bool CountsByOne(const std::vector<std::string_view>& sample, std::size_t from,
                 const DataLayout& layout, std::size_t j) {
    if (sample.size() < from + 2) return false;
    std::vector<std::string_view> fields;
    int64_t last = 0;
    for (std::size_t i = from; i < sample.size(); ++i) {
        SplitFields(sample[i], layout.Separator, fields, j + 1);
        Number number;
        if (ReadNumber(fields[j], layout.DecimalComma, number) != NumberRead::Number ||
            number.rounded || number.digits.size() > 18)
            return false;
        int64_t value = 0;
        std::from_chars(number.digits.data(), number.digits.data() + number.digits.size(), value);
        if (number.negative) value = -value;
        if (i > from && value != last + 1) return false;
        last = value;
    }
    return true;
}

void AppendValue(DataList& list, const Number& number) {
    if (list.Count++ > 0) list.List += ", ";
    list.NegativeValues = list.NegativeValues || number.negative;
    if (!number.rounded) {
        list.List += number.digits;
        return;
    }
    const uint64_t magnitude = number.value < 0 ? uint64_t{0} - static_cast<uint64_t>(number.value)
                                                : static_cast<uint64_t>(number.value);
    char text[24];
    const auto written = std::to_chars(text, text + sizeof text, magnitude);
    list.List.append(text, written.ptr);
}

}  // namespace

std::string_view CheckedDataText(std::string_view raw) {
    if (raw.starts_with("\xEF\xBB\xBF")) raw.remove_prefix(3);
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const auto code = static_cast<unsigned char>(raw[i]);
        if ((code >= 0x20 && code != 0x7f) || code == '\t' || code == '\n' || code == '\r')
            continue;
        static constexpr char kHex[] = "0123456789ABCDEF";
        const auto line =
            std::count(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(i), '\n');
        Fail("Zeile " + std::to_string(line + 1) + " enthält das Steuerzeichen 0x" +
             kHex[code >> 4] + kHex[code & 0xf] + ", das ist keine Textdatei");
    }
    return raw;
}

DataLayout GuessDataLayout(std::string_view text) {
    using enum FieldSeparator;
    static constexpr DataLayout kCandidates[] = {
        {Tab, false, false},      {Tab, true, false},    {Semicolon, false, false},
        {Semicolon, true, false}, {Comma, false, false}, {Comma, true, false},
        {Blanks, false, false},   {Blanks, true, false}};
    const std::vector<std::string_view> sample = SampleLines(text);
    // The first line may name the columns: the numbers are counted after it.
    const std::size_t from = sample.size() > 1 ? 1 : 0;
    DataLayout best = kCandidates[0];
    LayoutScore bestScore = Score(sample, from, best);
    for (const DataLayout& candidate : kCandidates) {
        const LayoutScore score = Score(sample, from, candidate);
        if (score.numbers > bestScore.numbers ||
            (score.numbers == bestScore.numbers && score.steady && !bestScore.steady)) {
            best = candidate;
            bestScore = score;
        }
    }
    if (sample.size() > 1) {
        std::vector<std::string_view> first;
        SplitFields(sample[0], best.Separator, first);
        for (std::size_t j = 0; j < first.size() && !best.Header; ++j)
            best.Header = !IsNumber(first[j], best.DecimalComma) && NumbersFrom(sample, 1, best, j);
    }
    return best;
}

DataColumns DataColumnsOf(std::string_view text, const DataLayout& layout) {
    const std::vector<std::string_view> sample = SampleLines(text);
    DataColumns columns;
    std::vector<std::string_view> fields;
    std::size_t count = 0;
    for (const std::string_view line : sample) {
        SplitFields(line, layout.Separator, fields);
        count = std::max(count, fields.size());
    }
    columns.Names.resize(count);
    if (layout.Header && !sample.empty()) {
        SplitFields(sample[0], layout.Separator, fields);
        for (std::size_t j = 0; j < fields.size(); ++j) columns.Names[j] = fields[j];
    }
    const std::size_t from = layout.Header ? 1 : 0;
    std::vector<std::size_t> numeric;
    for (std::size_t j = 0; j < count; ++j)
        if (NumbersFrom(sample, from, layout, j)) numeric.push_back(j);
    if (numeric.empty()) return columns;
    const bool index = numeric.size() > 1 && CountsByOne(sample, from, layout, numeric[0]);
    columns.Default = static_cast<int>(numeric[index ? 1 : 0]);
    return columns;
}

int DataColumnNamed(const DataColumns& columns, const std::string& which) {
    const std::string wanted = Trimmed(which);
    if (IsAllDigits(wanted)) {
        if (wanted.find_first_not_of('0') == std::string::npos)
            Fail("die Spalten werden ab 1 gezählt, nicht ab " + wanted);
        if (wanted.size() > 6) Fail("es gibt keine Spalte " + QuotedText(wanted));
        return std::stoi(wanted) - 1;
    }
    for (std::size_t j = 0; j < columns.Names.size(); ++j)
        if (!wanted.empty() && ToLower(columns.Names[j]) == ToLower(wanted))
            return static_cast<int>(j);
    std::string named;
    for (const std::string& name : columns.Names)
        if (!name.empty()) named += (named.empty() ? "\"" : ", \"") + QuotedText(name) + "\"";
    if (named.empty())
        Fail("die Datei hat keine Kopfzeile, die Spalte \"" + QuotedText(wanted) +
             "\" ist mit ihrer Nummer (ab 1) zu wählen");
    Fail("keine Spalte heißt \"" + QuotedText(wanted) + "\"; die Kopfzeile nennt " + named);
}

DataList ReadDataColumn(std::string_view text, const DataLayout& layout, int column,
                        std::size_t most) {
    DataList list;
    if (column < 0) Fail("es gibt keine Spalte " + std::to_string(column + 1));
    const auto j = static_cast<std::size_t>(column);
    DataLines lines(text);
    std::string_view line;
    std::vector<std::string_view> fields;
    bool header = layout.Header;
    Number number;
    while (list.Count < most && lines.Next(line)) {
        if (std::exchange(header, false)) continue;
        SplitFields(line, layout.Separator, fields, j + 1);
        if (fields.size() <= j)
            Fail("Zeile " + std::to_string(lines.Number()) + " hat keine Spalte " +
                 std::to_string(column + 1) + ", nur " + std::to_string(fields.size()));
        const std::string_view field = fields[j];
        switch (ReadNumber(field, layout.DecimalComma, number)) {
            case NumberRead::Number:
                break;
            case NumberRead::NotANumber:
                Fail(At(lines.Number(), column) +
                     (field.empty() ? std::string("das Feld ist leer, erwartet ist eine Zahl")
                                    : "\"" + QuotedText(field) + "\" ist keine Zahl"));
            case NumberRead::TooLarge:
                Fail(At(lines.Number(), column) + "\"" + QuotedText(field) +
                     "\" ist zu groß zum Runden; große Werte bitte als ganze Zahl schreiben");
        }
        AppendValue(list, number);
        if (list.List.size() > kExplicitListCapacity) Fail(msg::MemoCapacity);
    }
    if (list.Count == 0 && most > 0) Fail("die Datei enthält keine Werte");
    return list;
}

DataList ReadDataList(std::string_view text, const std::string& column) {
    const DataLayout layout = GuessDataLayout(text);
    const DataColumns columns = DataColumnsOf(text, layout);
    return ReadDataColumn(text, layout,
                          column.empty() ? columns.Default : DataColumnNamed(columns, column));
}
