#include "setup/setup_json.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "playback/ensemble.h"
#include "setup/setup_file.h"
#include "setup/setup_reader.h"

namespace {

using Json = nlohmann::ordered_json;

// Deeper nesting or more values than any setup has: a wrong file, refused
// before it costs time and memory.
constexpr std::size_t kMaxDepth = 32;
constexpr std::size_t kMaxValues = 2000000;
// One voice more than an ensemble plays: enough for the reader to refuse the list.
constexpr std::size_t kKeptVoices = kMaxEnsembleVoices + 1;

[[noreturn]] void Refuse(const std::string& fileName, const std::string& what) {
    throw ESetupError("Die Datei " + QuotedSetupFile(fileName) + " " + what);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number as JSON writes it: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
bool IsJsonNumber(std::string_view t) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < t.size() && IsDigit(t[i])) ++i;
        return i > from;
    };
    if (i < t.size() && t[i] == '-') ++i;
    if (i < t.size() && t[i] == '0')
        ++i;
    else if (!digits())
        return false;
    if (i < t.size() && t[i] == '.' && (++i, !digits())) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        if (!digits()) return false;
    }
    return i == t.size();
}

// The double a JSON number comes to, as the parser converts it (a long
// integer exceeds 64 bits and becomes one too), or none beyond double's
// largest: out of range with its first significant digit left of the point.
std::optional<double> DoubleOf(std::string_view number) {
    double value = 0;
    if (std::from_chars(number.data(), number.data() + number.size(), value).ec !=
        std::errc::result_out_of_range)
        return value;
    // Not find_first_of: it costs a search of the set for each character.
    const auto index = [&](auto pred) {
        return static_cast<std::size_t>(std::find_if(number.begin(), number.end(), pred) -
                                        number.begin());
    };
    const std::size_t mark = index([](char c) { return c == 'e' || c == 'E'; });
    int64_t exponent = 0;
    if (mark < number.size()) {
        std::size_t i = mark + 1;
        const bool negative = number[i] == '-';
        if (number[i] == '+' || number[i] == '-') ++i;
        for (; i < number.size(); ++i)
            exponent = std::min<int64_t>(exponent * 10 + (number[i] - '0'), INT64_C(1) << 40);
        if (negative) exponent = -exponent;
    }
    const std::size_t point = std::min(number.substr(0, mark).find('.'), mark);
    const std::size_t first = index([](char c) { return c >= '1' && c <= '9'; });
    if (first >= mark) return 0.0;
    const int64_t place = first < point ? static_cast<int64_t>(point - first) - 1
                                        : -static_cast<int64_t>(first - point);
    if (place + exponent > 0) return std::nullopt;
    return number[0] == '-' ? -0.0 : 0.0;  // too small: as the parser rounds it
}

// A number the parser is not given: one beyond double, which it refuses and
// stops at, and a long one, which it would copy and convert slowly.
struct SetAsideNumber {
    std::size_t Ordinal;  // among all numbers of the text, from 0
    std::size_t Offset;
    std::size_t Length;
    std::optional<double> Value;  // none beyond double
};
constexpr std::size_t kLongNumberChars = 64;

// The place after the closing quote of the string that opens at text[open].
std::size_t StringEnd(std::string_view text, std::size_t open) {
    for (std::size_t quote = open;;) {
        quote = text.find('"', quote + 1);
        if (quote == std::string_view::npos) return text.size();
        // Escaped by an odd run of backslashes; the opening quote ends any run.
        std::size_t backslashes = 0;
        while (text[quote - 1 - backslashes] == '\\') ++backslashes;
        if (backslashes % 2 == 0) return quote + 1;
    }
}

bool IsNumberChar(char c) {
    return IsDigit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// A long string the parser is not given: it would copy and check each
// character on its own. Only one it would take as it stands is set aside, so
// that whatever the parser refuses it still refuses.
struct SetAsideString {
    std::size_t Ordinal;  // among all strings of the text, keys too, from 0
    std::size_t Offset;   // of its opening quote
    std::size_t Length;   // with both quotes
};
constexpr std::size_t kLongStringChars = 1024;

// Whether a string's body between its quotes is its value as the parser
// reads it: no escape, no control character, UTF-8 as strict as the parser's.
bool IsPlainString(std::string_view body) {
    if (body.find('\\') != std::string_view::npos) return false;
    constexpr uint64_t kHigh = 0x8080808080808080U, kSpaces = 0x2020202020202020U;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(body[i]); };
    for (std::size_t i = 0; i < body.size();) {
        // Eight printable ASCII characters at a time: no high bit, none below a space.
        if (body.size() - i >= 8) {
            uint64_t word = 0;
            std::memcpy(&word, body.data() + i, 8);
            if (!(word & kHigh) && !((word - kSpaces) & ~word & kHigh)) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = byte(i);
        if (c >= 0x20 && c < 0x80) {
            ++i;
            continue;
        }
        // A sequence's length after its lead byte, and the range of its second byte.
        std::size_t more = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (body.size() - i <= more || byte(i + 1) < low || byte(i + 1) > high) return false;
        for (std::size_t k = 2; k <= more; ++k)
            if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return false;
        i += more + 1;
    }
    return true;
}

struct SetAside {
    std::vector<SetAsideNumber> Numbers;
    std::vector<SetAsideString> Strings;
};

// The numbers and strings to set aside, found in one pass. The caller puts a
// 0 and blanks in place of a number, so that places after it stay where they
// were, and "" in place of a string, whose length it adds back to the places
// the parser names.
SetAside PiecesSetAside(std::string_view text) {
    SetAside found;
    std::size_t ordinal = 0, strings = 0;
    // The parser refuses the text before a number beyond the most values.
    for (std::size_t i = 0; i < text.size() && ordinal <= kMaxValues;) {
        const char c = text[i];
        if (c == '"') {
            const std::size_t end = StringEnd(text, i);
            if (end - i > kLongStringChars && text[end - 1] == '"' &&
                IsPlainString(text.substr(i + 1, end - i - 2)))
                found.Strings.push_back({strings, i, end - i});
            ++strings;
            i = end;
        } else if (c == '-' || IsDigit(c)) {
            std::size_t end = i;
            while (end < text.size() && IsNumberChar(text[end])) ++end;
            const std::string_view number = text.substr(i, end - i);
            if (IsJsonNumber(number)) {
                const std::optional<double> value = DoubleOf(number);
                if (!value || number.size() > kLongNumberChars)
                    found.Numbers.push_back({ordinal, i, number.size(), value});
            }
            ++ordinal;
            i = end;
        } else {
            ++i;
        }
    }
    return found;
}

// nlohmann's SAX interface: builds the value as its DOM parser would, within
// the limits above, and in time linear in the text: its callback parser looks
// through an array for a value to drop after each object in it.
class Builder {
public:
    Builder(const std::string& fileName, std::string_view text, const SetAside& aside)
        : fileName_(fileName), text_(text), aside_(aside) {}

    bool null() { return Add(nullptr); }
    bool boolean(bool value) { return Add(value); }
    bool number_integer(Json::number_integer_t value) { return Number(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return Number(value); }
    bool number_float(Json::number_float_t value, const std::string&) { return Number(value); }
    bool string(std::string& value) {
        const std::optional<std::string_view> aside = StringSetAside();
        if (Json* place = Place()) *place = aside ? std::string(*aside) : std::move(value);
        return true;
    }
    bool binary(Json::binary_t&) { return false; }  // not in a JSON text
    bool start_object(std::size_t) { return Open(Json::object()); }
    bool start_array(std::size_t) { return Open(Json::array()); }
    bool key(std::string& key) {
        const std::optional<std::string_view> aside = StringSetAside();
        key_ = aside ? std::string(*aside) : std::move(key);
        return true;
    }
    bool end_object() { return Close(); }
    bool end_array() { return Close(); }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) {
        errorByte_ = position;
        return false;
    }

    Json& Root() { return root_; }
    std::size_t ErrorByte() const { return errorByte_; }

private:
    template <class T>
    bool Number(T value) {
        const std::size_t ordinal = numbers_++;
        const std::vector<SetAsideNumber>& numbers = aside_.Numbers;
        if (nextNumber_ < numbers.size() && numbers[nextNumber_].Ordinal == ordinal) {
            const SetAsideNumber& number = numbers[nextNumber_++];
            if (number.Value) return Add(*number.Value);
            const std::string_view text = text_.substr(number.Offset, number.Length);
            return Add(Json::binary(std::vector<std::uint8_t>(text.begin(), text.end())));
        }
        return Add(value);
    }

    // The body of the string just read when it was set aside.
    std::optional<std::string_view> StringSetAside() {
        const std::size_t ordinal = strings_++;
        const std::vector<SetAsideString>& strings = aside_.Strings;
        if (nextString_ == strings.size() || strings[nextString_].Ordinal != ordinal)
            return std::nullopt;
        const SetAsideString& string = strings[nextString_++];
        return text_.substr(string.Offset + 1, string.Length - 2);
    }

    // The new value's place, or null where it is not kept.
    Json* Place() {
        if (++values_ > kMaxValues) Refuse(fileName_, "ist keine Sonavix-Datei: zu viele Einträge");
        if (stack_.size() > kMaxDepth)
            Refuse(fileName_, "ist keine Sonavix-Datei: zu tief geschachtelt");
        if (stack_.empty()) return &root_;
        Json* parent = stack_.back();
        if (!parent) return nullptr;
        if (parent->is_object()) {
            if (!IsSetupKey(key_)) return nullptr;
            // Appended: an ordered object's own insertion looks for the key
            // among all members first. The reader takes the last of equal keys.
            auto& members = parent->get_ref<Json::object_t&>();
            members.emplace_back(std::move(key_), nullptr);
            return &members.back().second;
        }
        if (parent == voices_ && parent->size() == kKeptVoices) return nullptr;
        parent->push_back(nullptr);
        return &parent->back();
    }

    bool Add(Json value) {
        if (Json* place = Place()) *place = std::move(value);
        return true;
    }

    bool Open(Json container) {
        // The root object's voices, whose surplus is not kept.
        const bool voices = stack_.size() == 1 && stack_.back() && stack_.back()->is_object() &&
                            container.is_array() && key_ == "voices";
        Json* place = Place();
        if (place) *place = std::move(container);
        if (voices) voices_ = place;
        stack_.push_back(place);
        return true;
    }

    bool Close() {
        // Its place moves once the root object grows again.
        if (stack_.back() == voices_) voices_ = nullptr;
        stack_.pop_back();
        return true;
    }

    const std::string& fileName_;
    std::string_view text_;
    const SetAside& aside_;
    std::size_t nextNumber_ = 0, nextString_ = 0;
    std::size_t numbers_ = 0, strings_ = 0;
    std::size_t values_ = 0;
    Json root_;
    std::vector<Json*> stack_;  // the open arrays and objects; null: not kept
    std::string key_;
    Json* voices_ = nullptr;
    std::size_t errorByte_ = 0;
};

// Line and column of the byte at offset (counted from 0), for a parse error.
std::string PlaceOf(const std::string& text, std::size_t offset) {
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return "Zeile " + std::to_string(line) + ", Spalte " + std::to_string(column);
}

}  // namespace

Json SetupJsonOf(const std::string& text, const std::string& fileName) {
    if (std::all_of(text.begin(), text.end(),
                    [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }))
        Refuse(fileName, "ist leer");
    const auto notJson = [&](std::size_t offset) {
        Refuse(fileName, "ist kein gültiger JSON-Text (" + PlaceOf(text, offset) + ")");
    };
    // The parser takes a NUL for the end of the text; nothing may follow there.
    const std::size_t nul = text.find('\0');
    const std::string_view whole(text.data(), std::min(nul, text.size()));
    const SetAside aside = PiecesSetAside(whole);
    std::string_view json = whole;
    std::string patched;
    // Each set-aside string's end in the patched text, and how much shorter
    // the patched text is from there on.
    std::vector<std::pair<std::size_t, std::size_t>> shortened;
    if (!aside.Numbers.empty() || !aside.Strings.empty()) {
        patched.reserve(whole.size());
        std::size_t copied = 0;
        auto number = aside.Numbers.begin();
        auto string = aside.Strings.begin();
        while (number != aside.Numbers.end() || string != aside.Strings.end()) {
            const bool isNumber =
                string == aside.Strings.end() ||
                (number != aside.Numbers.end() && number->Offset < string->Offset);
            const std::size_t offset = isNumber ? number->Offset : string->Offset;
            patched.append(whole.substr(copied, offset - copied));
            if (isNumber) {
                patched += '0';
                patched.append(number->Length - 1, ' ');
                copied = offset + number->Length;
                ++number;
            } else {
                patched += "\"\"";
                copied = offset + string->Length;
                shortened.emplace_back(patched.size(), copied - patched.size());
                ++string;
            }
        }
        patched.append(whole.substr(copied));
        json = patched;
    }
    Builder builder(fileName, text, aside);
    if (!Json::sax_parse(json.begin(), json.end(), &builder)) {
        // The parser counts bytes from 1; past the last one the text broke off.
        std::size_t byte = builder.ErrorByte();
        const auto after =
            std::upper_bound(shortened.begin(), shortened.end(), byte,
                             [](std::size_t at, const std::pair<std::size_t, std::size_t>& s) {
                                 return at < s.first;
                             });
        if (after != shortened.begin()) byte += std::prev(after)->second;
        if (byte < whole.size()) notJson(byte == 0 ? 0 : byte - 1);
        if (nul != std::string::npos) notJson(nul);
        Refuse(fileName, "endet mitten im JSON-Text (unvollständig gespeichert?)");
    }
    if (nul != std::string::npos) notJson(nul);
    return std::move(builder.Root());
}
