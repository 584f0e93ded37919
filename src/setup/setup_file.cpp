#include "setup/setup_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

#include "common/file_write.h"
#include "common/quote.h"
#include "common/system_error.h"
#include "playback/maps.h"
#include "playback/scales.h"
#include "sources/generation.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr std::size_t kPathCharsMax = 1024;
// Deeper nesting or more values than any setup has: a wrong file, refused
// before it costs time and memory.
constexpr int kMaxDepth = 32;
constexpr std::size_t kMaxValues = 2000000;
constexpr std::size_t kMaxVoices = 256;
// What a single-line field holds at most, in UTF-16 units as the window counts.
constexpr std::size_t kLineUnitsMax = 32767;

std::string Quoted(const std::string& file) {
    return "\"" + QuotedText(file, kPathCharsMax) + "\"";
}

const char* SourceName(SourceKind kind) {
    switch (kind) {
        case SourceKind::Formula:
            return "formula";
        case SourceKind::Oeis:
            return "oeis";
        case SourceKind::Explicit:
            break;
    }
    return "explicit";
}

// ---- writing ----

Json ValuesJson(const std::vector<std::string>& values) {
    Json array = Json::array();
    for (const std::string& value : values) array.push_back(value);
    return array;
}

Json SourceJson(const SourceSetup& source) {
    Json formula;
    formula["text"] = source.Formula.Text;
    formula["count"] = source.Formula.Count;
    formula["startValues"] = ValuesJson(source.Formula.StartValues);
    formula["startValuesShown"] = source.Formula.StartValuesShown;
    Json oeis;
    oeis["query"] = source.Oeis.Query;
    oeis["aNumber"] = source.Oeis.ANumber;
    oeis["name"] = source.Oeis.Name;
    oeis["terms"] = source.Oeis.Terms;
    Json json;
    json["source"] = SourceName(source.Selected);
    json["formula"] = std::move(formula);
    json["oeis"] = std::move(oeis);
    json["explicit"] = source.ExplicitList;
    return json;
}

Json VoiceJson(const VoiceSetup& voice) {
    Json json;
    json["instrument"] = voice.Instrument;
    json["zeroIsNatural"] = voice.ZeroNatural;
    json["notes"] = SourceJson(voice.Notes);
    json["tempoSequenceUsed"] = voice.TempoSequenceUsed;
    json["tempi"] = SourceJson(voice.Tempi);
    json["noteMap"] = {{"scale", voice.ScaleIndex},
                       {"root", voice.RootIndex},
                       {"ownScaleSteps", voice.OwnScaleSteps},
                       {"values", ValuesJson(voice.NoteMap)}};
    json["tempoMap"] = {{"values", ValuesJson(voice.TempoMap)}};
    // The ensemble's fields only where they differ, so a one-voice file stays as it was.
    const VoiceSetup defaults;
    if (voice.Name != defaults.Name) json["name"] = voice.Name;
    if (voice.Tempo) json["tempo"] = *voice.Tempo;
    if (voice.Channel != defaults.Channel) json["channel"] = voice.Channel;
    if (voice.OffsetWholeNotes != defaults.OffsetWholeNotes)
        json["offset"] = voice.OffsetWholeNotes;
    if (voice.Transpose != defaults.Transpose) json["transpose"] = voice.Transpose;
    if (voice.Velocity != defaults.Velocity) json["velocity"] = voice.Velocity;
    if (voice.Mute) json["mute"] = true;
    if (voice.Solo) json["solo"] = true;
    return json;
}

// ---- reading ----

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
        throw ESetupError("Die Datei " + Quoted(file_) + " ist fehlerhaft: " + path + " " + what);
    }

    // The member key of object, or null when the file leaves it out.
    const Json* Member(const Json& object, const std::string& path, const char* key) const {
        if (!object.is_object()) Fail(path, "muss ein Objekt sein, nicht " + Shown(object));
        const auto found = object.find(key);
        return found == object.end() ? nullptr : &*found;
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
        Text(voice, path, "name", out.Name, true);
        if (Member(voice, path, "tempo")) {
            int tempo = 0;
            Int(voice, path, "tempo", kTempoMin, kTempoMax, tempo);
            out.Tempo = tempo;
        }
        Int(voice, path, "channel", 1, 16, out.Channel);
        if (const Json* offset = Member(voice, path, "offset")) {
            if (!offset->is_number() || !(offset->get<double>() >= 0) ||
                offset->get<double>() > kMaxVoiceOffsetWholeNotes)
                Fail(Join(path, "offset"),
                     "muss eine Zahl von 0 bis " +
                         std::to_string(static_cast<int>(kMaxVoiceOffsetWholeNotes)) +
                         " (ganze Noten) sein, nicht " + Shown(*offset));
            out.OffsetWholeNotes = offset->get<double>();
        }
        Int(voice, path, "transpose", -kMaxTranspose, kMaxTranspose, out.Transpose);
        Int(voice, path, "velocity", 1, 127, out.Velocity);
        Bool(voice, path, "mute", out.Mute);
        Bool(voice, path, "solo", out.Solo);
        return out;
    }

    MelodySetup ReadSetup(const Json& root) const {
        const Json* format = root.is_object() ? Member(root, "", "format") : nullptr;
        if (!format || *format != kSetupFormatName)
            throw ESetupError("Die Datei " + Quoted(file_) + " ist keine Sonavix-Datei");
        const Json* version = Member(root, "", "formatVersion");
        if (!version) Fail("formatVersion", "fehlt");
        const std::optional<int64_t> number = IntegerOf(*version);
        if (!number || *number < 1)
            Fail("formatVersion", "muss eine ganze Zahl ab 1 sein, nicht " + Shown(*version));
        if (*number > kSetupFormatVersion)
            throw ESetupError("Die Datei " + Quoted(file_) +
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

std::string UtcNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

}  // namespace

std::string ProgramVersionText() { return std::string("Sonavix ") + SONAVIX_VERSION; }

std::string SetupToJson(const MelodySetup& setup) {
    Json json;
    json["format"] = kSetupFormatName;
    json["formatVersion"] = kSetupFormatVersion;
    json["program"] = setup.ProgramVersion;
    json["saved"] = setup.SavedAt;
    json["tempo"] = setup.Tempo;
    json["showOnKeyboard"] = setup.ShowOnKeyboard;
    json["oeisWholeSequences"] = setup.OeisWholeSequences;
    if (setup.Meter != TimeSignature{}) json["timeSignature"] = TimeSignatureText(setup.Meter);
    Json voices = Json::array();
    for (const VoiceSetup& voice : setup.Voices) voices.push_back(VoiceJson(voice));
    json["voices"] = std::move(voices);
    try {
        return json.dump(2) + "\n";
    } catch (const Json::type_error&) {
        throw ESetupError("Die Einstellungen enthalten einen Text, der kein gültiges UTF-8 ist");
    }
}

MelodySetup SetupFromJson(const std::string& text, const std::string& fileName) {
    const Reader reader(fileName);
    if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        throw ESetupError("Die Datei " + Quoted(fileName) + " ist leer");
    std::size_t values = 0;
    const auto limit = [&](int depth, Json::parse_event_t event, Json&) {
        if (depth > kMaxDepth)
            throw ESetupError("Die Datei " + Quoted(fileName) +
                              " ist keine Sonavix-Datei: zu tief geschachtelt");
        if (event == Json::parse_event_t::value || event == Json::parse_event_t::object_start ||
            event == Json::parse_event_t::array_start) {
            if (++values > kMaxValues)
                throw ESetupError("Die Datei " + Quoted(fileName) +
                                  " ist keine Sonavix-Datei: zu viele Einträge");
        }
        return true;
    };
    Json root;
    try {
        root = Json::parse(text, limit);
    } catch (const Json::parse_error& e) {
        // The parser counts bytes from 1; past the last one the text broke off.
        if (e.byte >= text.size())
            throw ESetupError("Die Datei " + Quoted(fileName) +
                              " endet mitten im JSON-Text (unvollständig gespeichert?)");
        throw ESetupError("Die Datei " + Quoted(fileName) + " ist kein gültiger JSON-Text (" +
                          PlaceOf(text, e.byte == 0 ? 0 : e.byte - 1) + ")");
    }
    return reader.ReadSetup(root);
}

MelodySetup ReadSetupFile(const std::string& path) {
    const auto fail = [&](const std::string& cause) -> void {
        throw ESetupError("Die Datei " + Quoted(path) + " lässt sich nicht öffnen: " + cause);
    };
    // Not blocking: a FIFO at the path must not hang the program.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) fail(errno == ENOENT ? "die Datei existiert nicht" : SystemErrorText(errno));
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat info;
    if (fstat(fd, &info) != 0) fail(SystemErrorText(errno));
    if (S_ISDIR(info.st_mode)) fail("das ist ein Ordner");
    if (!S_ISREG(info.st_mode)) fail("das ist keine gewöhnliche Datei");
    const auto tooBig = [&] {
        throw ESetupError("Die Datei " + Quoted(path) +
                          " ist zu groß für eine Sonavix-Datei (über " +
                          std::to_string(kSetupFileMaxBytes >> 20) + " MiB)");
    };
    if (static_cast<uintmax_t>(info.st_size) > kSetupFileMaxBytes) tooBig();
    // Read one byte past the cap, in case the file grew since fstat.
    std::string text(static_cast<std::size_t>(info.st_size) + 1, '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == text.size()) {
            if (text.size() > kSetupFileMaxBytes) tooBig();
            text.resize(std::min(text.size() * 2, kSetupFileMaxBytes + 1));
        }
        const ssize_t n = read(fd, text.data() + used, text.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ESetupError("Die Datei " + Quoted(path) +
                              " lässt sich nicht lesen: " + SystemErrorText(errno));
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    if (used > kSetupFileMaxBytes) tooBig();
    text.resize(used);
    return SetupFromJson(text, path);
}

void SaveSetupFile(const std::string& path, const MelodySetup& setup) {
    MelodySetup stamped = setup;
    stamped.ProgramVersion = ProgramVersionText();
    stamped.SavedAt = UtcNow();
    const std::string text = SetupToJson(stamped);
    // What this program could not open again is not written.
    if (text.size() > kSetupFileMaxBytes)
        throw EFileWriteError("Die Datei " + Quoted(path) +
                              " kann nicht geschrieben werden: die Einstellungen sind größer als " +
                              std::to_string(kSetupFileMaxBytes >> 20) + " MiB");
    WriteFileAtomically(path, [&](const FileChunkWriter& put) { put(text.data(), text.size()); });
}
