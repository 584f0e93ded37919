#include "sources/oeis_json.h"

#include "common/text.h"
#include "sources/oeis_query.h"

namespace {

class JsonReader {
public:
    explicit JsonReader(std::string_view s) : s_(s) {}

    bool Document(JsonValue& v) {
        SkipBlanks();
        if (!Value(v, 0)) return false;
        SkipBlanks();
        return pos_ == s_.size();
    }

private:
    std::string_view s_;
    std::size_t pos_ = 0;

    bool AtEnd() const { return pos_ >= s_.size(); }
    char Peek() const { return AtEnd() ? '\0' : s_[pos_]; }

    void SkipBlanks() {
        while (!AtEnd() &&
               (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }

    bool Literal(std::string_view word) {
        if (s_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    bool Value(JsonValue& v, int depth) {
        if (depth >= kJsonMaxDepth) return false;
        switch (Peek()) {
            case '{':
                v.kind = JsonValue::Kind::Object;
                return Object(v, depth);
            case '[':
                v.kind = JsonValue::Kind::Array;
                return Array(v, depth);
            case '"':
                v.kind = JsonValue::Kind::String;
                return String(v.text);
            case 't':
                v.kind = JsonValue::Kind::Bool;
                v.boolean = true;
                return Literal("true");
            case 'f':
                v.kind = JsonValue::Kind::Bool;
                return Literal("false");
            case 'n':
                v.kind = JsonValue::Kind::Null;
                return Literal("null");
            default:
                v.kind = JsonValue::Kind::Number;
                return Number(v.text);
        }
    }

    bool Object(JsonValue& v, int depth) {
        ++pos_;
        SkipBlanks();
        if (Peek() == '}') return ++pos_, true;
        for (;;) {
            SkipBlanks();
            std::string name;
            if (Peek() != '"' || !String(name)) return false;
            SkipBlanks();
            if (Peek() != ':') return false;
            ++pos_;
            SkipBlanks();
            JsonValue member;
            if (!Value(member, depth + 1)) return false;
            v.memberNames.push_back(std::move(name));
            v.memberValues.push_back(std::move(member));
            SkipBlanks();
            if (Peek() == '}') return ++pos_, true;
            if (Peek() != ',') return false;
            ++pos_;
        }
    }

    bool Array(JsonValue& v, int depth) {
        ++pos_;
        SkipBlanks();
        if (Peek() == ']') return ++pos_, true;
        for (;;) {
            SkipBlanks();
            JsonValue item;
            if (!Value(item, depth + 1)) return false;
            v.items.push_back(std::move(item));
            SkipBlanks();
            if (Peek() == ']') return ++pos_, true;
            if (Peek() != ',') return false;
            ++pos_;
        }
    }

    bool Digits() {
        const std::size_t start = pos_;
        while (Peek() >= '0' && Peek() <= '9') ++pos_;
        return pos_ > start;
    }

    bool Number(std::string& out) {
        const std::size_t start = pos_;
        if (Peek() == '-') ++pos_;
        if (Peek() == '0')
            ++pos_;
        else if (!Digits())
            return false;
        if (Peek() == '.') {
            ++pos_;
            if (!Digits()) return false;
        }
        if (Peek() == 'e' || Peek() == 'E') {
            ++pos_;
            if (Peek() == '+' || Peek() == '-') ++pos_;
            if (!Digits()) return false;
        }
        out.assign(s_.substr(start, pos_ - start));
        return true;
    }

    bool Hex4(unsigned& value) {
        if (s_.size() - pos_ < 4) return false;
        value = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s_[pos_++];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= c - '0';
            else if (c >= 'a' && c <= 'f')
                value |= c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                value |= c - 'A' + 10;
            else
                return false;
        }
        return true;
    }

    bool Escape(std::string& out) {
        const char c = s_[pos_++];
        switch (c) {
            case '"':
            case '\\':
            case '/':
                out += c;
                return true;
            case 'b':
                out += '\b';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'n':
                out += '\n';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'u':
                break;
            default:
                return false;
        }
        unsigned cp;
        if (!Hex4(cp)) return false;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            // A high surrogate counts only with its low half right behind it.
            unsigned low;
            if (s_.substr(pos_, 2) == "\\u" && (pos_ += 2, Hex4(low)) && low >= 0xDC00 &&
                low <= 0xDFFF)
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            else
                return false;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
        }
        AppendUtf8(out, cp);
        return true;
    }

    bool String(std::string& out) {
        ++pos_;
        std::string raw;
        while (!AtEnd()) {
            const char c = s_[pos_];
            if (c == '"') {
                ++pos_;
                out = SanitizeUtf8(raw);
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c == '\\') {
                ++pos_;
                if (AtEnd() || !Escape(raw)) return false;
            } else {
                raw += c;
                ++pos_;
            }
        }
        return false;
    }
};

}  // namespace

const JsonValue* JsonValue::Member(std::string_view name) const {
    if (kind != Kind::Object) return nullptr;
    for (size_t i = 0; i < memberNames.size(); ++i)
        if (memberNames[i] == name) return &memberValues[i];
    return nullptr;
}

std::optional<JsonValue> ParseJson(std::string_view text) {
    JsonValue v;
    if (!JsonReader(text).Document(v)) return std::nullopt;
    return v;
}
