#include "setup/setup_file.h"

#include <chrono>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>
#include <type_traits>
#include <variant>

#include "common/file_read.h"
#include "common/file_write.h"
#include "setup/setup_json.h"
#include "setup/setup_reader.h"

namespace {

using Json = nlohmann::ordered_json;

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

// An expression only where it differs from a fresh voice's, so older files
// and those without it are written as before.
void PutExpression(Json& json, const char* key, const ExpressionSetup& expression,
                   const ExpressionSetup& fresh) {
    if (expression == fresh) return;
    json[key] = {{"used", expression.Used},
                 {"ownSequence", expression.OwnSequence},
                 {"sequence", SourceJson(expression.Sequence)},
                 {"values", ValuesJson(expression.Map)}};
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
    static const VoiceSetup fresh;  // what a voice starts with
    PutExpression(json, "dynamics", voice.Dynamics, fresh.Dynamics);
    PutExpression(json, "panorama", voice.Panorama, fresh.Panorama);
    // The ensemble's fields only where they differ, so a one-voice file stays as it was.
    for (const VoiceField& field : kVoiceFields) {
        std::visit(
            [&](auto member) {
                using T = std::remove_cvref_t<decltype(voice.*member)>;
                const T& value = voice.*member;
                if constexpr (std::is_same_v<T, std::string>) {
                    if (!value.empty()) json[field.Key] = value;
                } else if constexpr (std::is_same_v<T, std::optional<int>>) {
                    if (value) json[field.Key] = *value;
                } else if (value != static_cast<T>(field.Default)) {
                    json[field.Key] = value;
                }
            },
            field.Field);
    }
    return json;
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
    return SetupOfJson(SetupJsonOf(text, fileName), fileName);
}

MelodySetup ReadSetupFile(const std::string& path) {
    const BoundedFile file = ReadBoundedFile(path, kSetupFileMaxBytes);
    switch (file.Failure) {
        case BoundedFile::Fault::None:
            return SetupFromJson(file.Text, path);
        case BoundedFile::Fault::Open:
            throw ESetupError("Die Datei " + QuotedSetupFile(path) +
                              " lässt sich nicht öffnen: " + file.Cause);
        case BoundedFile::Fault::Read:
            throw ESetupError("Die Datei " + QuotedSetupFile(path) +
                              " lässt sich nicht lesen: " + file.Cause);
        case BoundedFile::Fault::TooBig:
            break;
    }
    throw ESetupError("Die Datei " + QuotedSetupFile(path) +
                      " ist zu groß für eine Sonavix-Datei (über " +
                      std::to_string(kSetupFileMaxBytes >> 20) + " MiB)");
}

void SaveSetupFile(const std::string& path, const MelodySetup& setup) {
    MelodySetup stamped = setup;
    stamped.ProgramVersion = ProgramVersionText();
    stamped.SavedAt = UtcNow();
    const std::string text = SetupToJson(stamped);
    // What this program could not open again is not written.
    if (text.size() > kSetupFileMaxBytes)
        throw EFileWriteError("Die Datei " + QuotedSetupFile(path) +
                              " kann nicht geschrieben werden: die Einstellungen sind größer als " +
                              std::to_string(kSetupFileMaxBytes >> 20) + " MiB");
    WriteFileAtomically(path, [&](const FileChunkWriter& put) { put(text.data(), text.size()); });
}
