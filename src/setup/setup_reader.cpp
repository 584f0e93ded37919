#include "setup/setup_reader.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <unordered_set>
#include <variant>

#include "common/quote.h"
#include "playback/ensemble.h"
#include "playback/maps.h"
#include "playback/scales.h"
#include "setup/setup_file.h"
#include "sources/generation.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr std::size_t kMaxVoices = kMaxEnsembleVoices;
// What a single-line field holds at most, in UTF-16 units as the window counts.
constexpr std::size_t kLineUnitsMax = 32767;

std::string Shown(const Json& value) {
    switch (value.type()) {
        case Json::value_t::object:
            return "ein Objekt";
        case Json::value_t::array:
            return "eine Liste";
        case Json::value_t::null:
            return "null";
        case Json::value_t::string:
            return "\"" + QuotedText(value.get_ref<const std::string&>()) + "\"";
        case Json::value_t::binary: {
            // A number beyond double, as the file writes it (SetupJsonOf).
            const Json::binary_t& text = value.get_binary();
            return QuotedText(std::string(text.begin(), text.end()));
        }
        default:
            return QuotedText(value.dump());
    }
}

std::string Join(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
}

std::string Index(const std::string& path, std::size_t i) {
    return path + "[" + std::to_string(i) + "]";
}

// UTF-16 units of a UTF-8 text: one per character, two beyond U+FFFF.
std::size_t Utf16Units(const std::string& text) {
    std::size_t units = 0;
    for (const unsigned char c : text) {
        if ((c & 0xC0) != 0x80) ++units;
        if (c >= 0xF0) ++units;
    }
    return units;
}

// An integer field's value; one beyond the signed range counts as its largest.
std::optional<int64_t> IntegerOf(const Json& value) {
    if (value.is_number_unsigned())
        return static_cast<int64_t>(
            std::min<uint64_t>(value.get<uint64_t>(), std::numeric_limits<int64_t>::max()));
    if (value.is_number_integer()) return value.get<int64_t>();
    return std::nullopt;
}

class Reader {
public:
    explicit Reader(const std::string& file) : file_(file) {}

    [[noreturn]] void Fail(const std::string& path, const std::string& what) const {
        throw ESetupError("Die Datei " + QuotedSetupFile(file_) + " ist fehlerhaft: " + path + " " +
                          what);
    }

    // The member key of object, or null when the file leaves it out.
    const Json* Member(const Json& object, const std::string& path, const char* key) const {
        if (!object.is_object()) Fail(path, "muss ein Objekt sein, nicht " + Shown(object));
        // Members of other keys were not kept.
        if (!IsSetupKey(key)) throw std::logic_error(std::string("no setup key: ") + key);
        // The last of equal keys counts, as for nlohmann's own parser.
        const auto& members = object.get_ref<const Json::object_t&>();
        const auto found = std::find_if(members.rbegin(), members.rend(),
                                        [&](const auto& member) { return member.first == key; });
        return found == members.rend() ? nullptr : &found->second;
    }

    void Int(const Json& object, const std::string& path, const char* key, int low, int high,
             int& out) const {
        const Json* value = Member(object, path, key);
        if (!value) return;
        const std::optional<int64_t> number = IntegerOf(*value);
        if (!number || *number < low || *number > high)
            Fail(Join(path, key), "muss eine ganze Zahl von " + std::to_string(low) + " bis " +
                                      std::to_string(high) + " sein, nicht " + Shown(*value));
        out = static_cast<int>(*number);
    }

    void Bool(const Json& object, const std::string& path, const char* key, bool& out) const {
        const Json* value = Member(object, path, key);
        if (!value) return;
        if (!value->is_boolean())
            Fail(Join(path, key), "muss true oder false sein, nicht " + Shown(*value));
        out = value->get<bool>();
    }

    // Any text; a single line refuses what a line field cannot hold.
    void Text(const Json& object, const std::string& path, const char* key, std::string& out,
              bool singleLine) const {
        const Json* value = Member(object, path, key);
        if (!value) return;
        const std::string where = Join(path, key);
        if (!value->is_string()) Fail(where, "muss ein Text sein, nicht " + Shown(*value));
        const std::string& text = value->get_ref<const std::string&>();
        if (singleLine) CheckLine(where, text, true);
        out = text;
    }

    // A table's values: texts or integers, from one row to at most maxRows.
    void Values(const Json& object, const std::string& path, const char* key,
                std::vector<std::string>& out, std::size_t maxRows) const {
        const Json* value = Member(object, path, key);
        if (!value) return;
        const std::string where = Join(path, key);
        if (!value->is_array() || value->empty() || value->size() > maxRows)
            Fail(where, "muss eine Liste von 1 bis " + std::to_string(maxRows) +
                            " Werten sein, nicht " + Shown(*value) +
                            (value->is_array() ? " mit " + std::to_string(value->size()) + " Werten"
                                               : ""));
        std::vector<std::string> values;
        values.reserve(value->size());
        for (std::size_t i = 0; i < value->size(); ++i) {
            const Json& item = (*value)[i];
            if (item.is_string()) {
                CheckLine(Index(where, i), item.get_ref<const std::string&>(), false);
                values.push_back(item.get<std::string>());
            } else if (item.is_number_integer()) {
                values.push_back(item.dump());
            } else {
                Fail(Index(where, i),
                     "muss ein Text oder eine ganze Zahl sein, nicht " + Shown(item));
            }
        }
        out = std::move(values);
    }

    // The own scale's steps: whole semitones as "Eigene..." takes them, or none.
    void Steps(const Json& object, const std::string& path, const char* key,
               std::vector<int>& out) const {
        const Json* value = Member(object, path, key);
        if (!value) return;
        const std::string where = Join(path, key);
        bool integers = value->is_array() && value->size() <= 12;
        std::string text;
        for (std::size_t i = 0; integers && i < value->size(); ++i) {
            integers = (*value)[i].is_number_integer();
            text += (*value)[i].dump() + " ";
        }
        if (!integers)
            Fail(where,
                 "muss eine Liste von höchstens 12 ganzen Zahlen sein, nicht " + Shown(*value));
        out.clear();
        if (value->empty()) return;
        try {
            out = ParseScaleSteps(text);
        } catch (const EInvalidInput& e) {
            Fail(where, "ist ungültig: " + e.Message());
        }
    }

    void Source(const Json& object, const std::string& path, const char* key,
                SourceSetup& out) const {
        const Json* source = Member(object, path, key);
        if (!source) return;
        const std::string where = Join(path, key);
        if (const Json* selected = Member(*source, where, "source")) {
            const std::string kindPath = Join(where, "source");
            if (*selected == "formula")
                out.Selected = SourceKind::Formula;
            else if (*selected == "oeis")
                out.Selected = SourceKind::Oeis;
            else if (*selected == "explicit")
                out.Selected = SourceKind::Explicit;
            else
                Fail(kindPath, "muss \"formula\", \"oeis\" oder \"explicit\" sein, nicht " +
                                   Shown(*selected));
        }
        if (const Json* formula = Member(*source, where, "formula")) {
            const std::string at = Join(where, "formula");
            Member(*formula, at, "text");  // an object, or the message says so
            Text(*formula, at, "text", out.Formula.Text, true);
            Text(*formula, at, "count", out.Formula.Count, true);
            Values(*formula, at, "startValues", out.Formula.StartValues,
                   static_cast<std::size_t>(kMaxPredecessorIndex));
            Bool(*formula, at, "startValuesShown", out.Formula.StartValuesShown);
        }
        if (const Json* oeis = Member(*source, where, "oeis")) {
            const std::string at = Join(where, "oeis");
            Member(*oeis, at, "query");
            Text(*oeis, at, "query", out.Oeis.Query, true);
            Text(*oeis, at, "aNumber", out.Oeis.ANumber, true);
            const std::string& number = out.Oeis.ANumber;
            const bool valid =
                number.empty() || (number.size() >= 2 && number.size() <= 10 && number[0] == 'A' &&
                                   number.find_first_not_of("0123456789", 1) == std::string::npos);
            if (!valid)
                Fail(Join(at, "aNumber"),
                     "muss leer sein oder eine A-Nummer wie \"A000045\", nicht \"" +
                         QuotedText(number) + "\"");
            Text(*oeis, at, "name", out.Oeis.Name, false);
            Text(*oeis, at, "terms", out.Oeis.Terms, false);
        }
        Text(*source, where, "explicit", out.ExplicitList, false);
    }

    // A field of how the voice sounds, in the range of its row.
    void Field(const Json& voice, const std::string& path, const VoiceField& field,
               VoiceMix& out) const {
        const char* key = field.Key;
        std::visit(
            [&](auto member) {
                using T = std::remove_reference_t<decltype(out.*member)>;
                if constexpr (std::is_same_v<T, std::string>) {
                    Text(voice, path, key, out.*member, true);
                } else if constexpr (std::is_same_v<T, bool>) {
                    Bool(voice, path, key, out.*member);
                } else if constexpr (std::is_same_v<T, int>) {
                    Int(voice, path, key, field.Min, field.Max, out.*member);
                } else if constexpr (std::is_same_v<T, double>) {
                    Number(voice, path, field, out.*member);
                } else if (Member(voice, path, key)) {
                    int number = 0;
                    Int(voice, path, key, field.Min, field.Max, number);
                    out.*member = number;
                }
            },
            field.Field);
    }

    void Number(const Json& object, const std::string& path, const VoiceField& field,
                double& out) const {
        const Json* value = Member(object, path, field.Key);
        if (!value) return;
        if (!value->is_number() || !(value->get<double>() >= field.Min) ||
            value->get<double>() > field.Max)
            Fail(Join(path, field.Key),
                 "muss eine Zahl von " + std::to_string(field.Min) + " bis " +
                     std::to_string(field.Max) +
                     (field.Unit ? std::string(" (") + field.Unit + ")" : "") + " sein, nicht " +
                     Shown(*value));
        out = value->get<double>();
    }

    void ExpressionOf(const Json& voice, const std::string& path, const char* key,
                      ExpressionSetup& out) const {
        const Json* expression = Member(voice, path, key);
        if (!expression) return;
        const std::string at = Join(path, key);
        Member(*expression, at, "used");  // an object, or the message says so
        Bool(*expression, at, "used", out.Used);
        Bool(*expression, at, "ownSequence", out.OwnSequence);
        Source(*expression, at, "sequence", out.Sequence);
        Values(*expression, at, "values", out.Map, kSetupMapRowsMax);
    }

    VoiceSetup Voice(const Json& voice, const std::string& path) const {
        VoiceSetup out;
        Member(voice, path, "instrument");
        Int(voice, path, "instrument", 0, 127, out.Instrument);
        Bool(voice, path, "zeroIsNatural", out.ZeroNatural);
        Source(voice, path, "notes", out.Notes);
        Bool(voice, path, "tempoSequenceUsed", out.TempoSequenceUsed);
        Source(voice, path, "tempi", out.Tempi);
        if (const Json* map = Member(voice, path, "noteMap")) {
            const std::string at = Join(path, "noteMap");
            Int(*map, at, "scale", 0, static_cast<int>(kTonartEntries.size()) - 1, out.ScaleIndex);
            Int(*map, at, "root", 0, static_cast<int>(kGrundtonEntries.size()) - 1, out.RootIndex);
            Steps(*map, at, "ownScaleSteps", out.OwnScaleSteps);
            Values(*map, at, "values", out.NoteMap, kSetupMapRowsMax);
        }
        if (const Json* map = Member(voice, path, "tempoMap"))
            Values(*map, Join(path, "tempoMap"), "values", out.TempoMap, kSetupMapRowsMax);
        ExpressionOf(voice, path, "dynamics", out.Dynamics);
        ExpressionOf(voice, path, "panorama", out.Panorama);
        for (const VoiceField& field : kVoiceFields) Field(voice, path, field, out);
        return out;
    }

    MelodySetup Setup(const Json& root) const {
        const Json* format = root.is_object() ? Member(root, "", "format") : nullptr;
        if (!format || *format != kSetupFormatName)
            throw ESetupError("Die Datei " + QuotedSetupFile(file_) + " ist keine Sonavix-Datei");
        const Json* version = Member(root, "", "formatVersion");
        if (!version) Fail("formatVersion", "fehlt");
        const std::optional<int64_t> number = IntegerOf(*version);
        if (!number || *number < 1)
            Fail("formatVersion", "muss eine ganze Zahl ab 1 sein, nicht " + Shown(*version));
        if (*number > kSetupFormatVersion)
            throw ESetupError("Die Datei " + QuotedSetupFile(file_) +
                              " stammt aus einer neueren Sonavix-Version (Format " +
                              QuotedText(version->dump()) + "); dieses Programm liest Format " +
                              std::to_string(kSetupFormatVersion));
        MelodySetup out;
        Text(root, "", "program", out.ProgramVersion, true);
        Text(root, "", "saved", out.SavedAt, true);
        Int(root, "", "tempo", kTempoMin, kTempoMax, out.Tempo);
        Bool(root, "", "showOnKeyboard", out.ShowOnKeyboard);
        Bool(root, "", "oeisWholeSequences", out.OeisWholeSequences);
        if (const Json* meter = Member(root, "", "timeSignature")) {
            const auto read =
                meter->is_string() ? ReadTimeSignature(meter->get<std::string>()) : std::nullopt;
            if (!read)
                Fail("timeSignature",
                     "muss eine Taktart wie 3/4 oder 6/8 sein, nicht " + Shown(*meter));
            out.Meter = *read;
        }
        if (const Json* voices = Member(root, "", "voices")) {
            if (!voices->is_array() || voices->empty() || voices->size() > kMaxVoices)
                Fail("voices", "muss eine Liste von 1 bis " + std::to_string(kMaxVoices) +
                                   " Stimmen sein, nicht " + Shown(*voices));
            out.Voices.clear();
            for (std::size_t i = 0; i < voices->size(); ++i)
                out.Voices.push_back(Voice((*voices)[i], Index("voices", i)));
        }
        return out;
    }

private:
    void CheckLine(const std::string& where, const std::string& text, bool field) const {
        if (text.find_first_of("\r\n") != std::string::npos)
            Fail(where, "muss eine Zeile sein, nicht \"" + QuotedText(text) + "\"");
        if (field && Utf16Units(text) > kLineUnitsMax)
            Fail(where, "ist länger als " + std::to_string(kLineUnitsMax) + " Zeichen");
    }

    const std::string& file_;
};

}  // namespace

bool IsSetupKey(std::string_view key) {
    static const std::unordered_set<std::string_view> keys = [] {
        std::unordered_set<std::string_view> all{"format",
                                                 "formatVersion",
                                                 "program",
                                                 "saved",
                                                 "tempo",
                                                 "showOnKeyboard",
                                                 "oeisWholeSequences",
                                                 "timeSignature",
                                                 "voices",
                                                 "instrument",
                                                 "zeroIsNatural",
                                                 "notes",
                                                 "tempoSequenceUsed",
                                                 "tempi",
                                                 "noteMap",
                                                 "tempoMap",
                                                 "scale",
                                                 "root",
                                                 "ownScaleSteps",
                                                 "values",
                                                 "source",
                                                 "formula",
                                                 "oeis",
                                                 "explicit",
                                                 "text",
                                                 "count",
                                                 "startValues",
                                                 "startValuesShown",
                                                 "query",
                                                 "aNumber",
                                                 "name",
                                                 "terms",
                                                 "dynamics",
                                                 "panorama",
                                                 "used",
                                                 "ownSequence",
                                                 "sequence"};
        for (const VoiceField& field : kVoiceFields) all.insert(field.Key);
        return all;
    }();
    return keys.count(key) != 0;
}

std::string QuotedSetupFile(const std::string& file) {
    return "\"" + QuotedText(file, kSetupPathCharsMax) + "\"";
}

MelodySetup SetupOfJson(const nlohmann::ordered_json& root, const std::string& file) {
    return Reader(file).Setup(root);
}
