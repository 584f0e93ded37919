#include "cli/options.h"

#include <charconv>
#include <optional>

#include "cli/host.h"
#include "common/convert.h"
#include "common/messages.h"
#include "common/quote.h"
#include "common/text.h"
#include "melodyfile/export_formats.h"
#include "playback/maps.h"

namespace {
// The sources of the note sequence, as --help lists them.
std::string SourceHelp() {
    return "QUELLE der Notenfolge, genau eine von:\n"
           "  --list TEXT           explizite Angabe, z. B. \"1, 2, 3\"\n"
           "  --list-file DATEI     explizite Angabe aus einer Spalte einer Textdatei (CSV,\n"
           "                        TSV, Semikolon oder Leerzeichen getrennt, auch eine\n"
           "                        b-Datei); Trennzeichen, Dezimalkomma und Kopfzeile\n"
           "                        werden erkannt, Zahlen auf ganze gerundet\n"
           "  --column N|NAME       mit --list-file: die Spalte (ab 1 gezählt oder der Name\n"
           "                        in der Kopfzeile); Vorgabe ist die erste Spalte aus\n"
           "                        Zahlen, eine Spalte, die um 1 hochzählt, davor nicht\n"
           "  --formula FORMEL      Formel, mit --count, --zero und --start wie bei eval\n"
           "  --oeis SUCHE          Suche in der OEIS (A-Nummer, Suchwort oder Glieder)\n"
           "  --oeis-all            mit --oeis: alle Glieder aus der b-Datei der Folge\n"
           "                        (bis 10 000) statt der kurzen Liste\n"
           "  --setup DATEI         eine Sonavix-Datei; die Optionen ändern einzelne\n"
           "                        Einstellungen (eine Quelle ersetzt die der Notenfolge)\n";
}

// What melody does with the melody: play it or write it.
constexpr const char* kPlayAndOutHelp =
    "  --play                spielt die Melodie auf MIDI-Gerät 0 (Strg+C beendet sie,\n"
    "                        wenn die klingende und die nächste Note gespielt sind,\n"
    "                        ein zweites Strg+C sofort; SONAVIX_MIDI_OUT wählt den\n"
    "                        Anschluss)\n"
    "  --step-input PORT     spielt die Melodie Schritt für Schritt: jede Taste, die\n"
    "                        am MIDI-Eingang PORT (Nummer oder Teil des Namens)\n"
    "                        gedrückt wird, spielt das nächste Glied, bis sie\n"
    "                        losgelassen wird, höchstens so lang wie seine Note;\n"
    "                        endet nach dem letzten Glied\n"
    "  --out DATEI.mid       schreibt die Melodie als Standard-MIDI-Datei;\n"
    "  --out DATEI.wav       als WAV-Datei (44,1 kHz, Stereo) über den eingebauten\n"
    "                        Synthesizer (SONAVIX_SOUNDFONT wählt die SoundFont);\n"
    "  --out DATEI.musicxml  als MusicXML-Partitur; --out DATEI.ly als LilyPond-Satz;\n"
    "  --out DATEI.flac      ebenso gerechnet wie WAV, als FLAC (verlustfrei),\n"
    "  --out DATEI.ogg       als Ogg Vorbis oder --out DATEI.mp3 als MP3; andere\n"
    "                        Endungen werden abgelehnt\n"
    "  --quality Q           Qualität von .ogg und .mp3 von 0 (kleinste Datei) bis 1\n"
    "                        (Vorgabe 0,6): Ogg Vorbis mit der Qualität Q, MP3 mit\n"
    "                        konstant 32 + 288 * Q kbit/s, gerundet auf eine\n"
    "                        Bitrate von MP3 (0,6 ergibt 192 kbit/s)\n";

// The options of the expression maps, a part of HelpText.
std::string ExpressionHelp() {
    return "  --velocity-map W,...  Anschlagstärken 1 bis 127 der Zeilen 0, 1, ... (ohne sie\n"
           "                        spielt jede Note mit 110); die Folge ist die Notenfolge\n"
           "                        oder eine eigene:\n"
           "  --velocity-list TEXT  eigene Folge für den Anschlag (explizit)\n"
           "  --velocity-formula F  eigene Folge für den Anschlag (Formel), mit\n"
           "  --velocity-count N    ihrer Anzahl Folgeglieder (Vorgabe 30) und\n"
           "  --velocity-start W,...\n"
           "                        ihren Startwerten\n"
           "  --pan-map W,...       Panorama der Zeilen 0, 1, ...: -64 links, 0 Mitte, 63\n"
           "                        rechts (MIDI-Controller 10 vor jeder Note, deren\n"
           "                        Panorama wechselt); die Folge ebenso:\n"
           "  --pan-list TEXT       eigene Folge für das Panorama (explizit)\n"
           "  --pan-formula F       eigene Folge für das Panorama (Formel), mit\n"
           "  --pan-count N         ihrer Anzahl Folgeglieder (Vorgabe 30) und\n"
           "  --pan-start W,...     ihren Startwerten\n";
}
}  // namespace

std::string HelpText() {
    std::string scales;
    for (size_t i = 0; i < kTonartEntries.size(); ++i)
        scales += "                          " + std::to_string(i) + " " + kTonartEntries[i] + "\n";
    return "Sonavix auf der Kommandozeile: Zahlenfolgen als Melodien.\n"
           "\n"
           "Aufruf:\n"
           "  sonavix-cli eval [--count N] [--zero] [--start W1,W2,...] FORMEL\n"
           "  sonavix-cli melody QUELLE [OPTIONEN]\n"
           "  sonavix-cli save DATEI.sonavix QUELLE [OPTIONEN]\n"
           "  sonavix-cli ports\n"
           "  sonavix-cli --help\n"
           "\n"
           "eval berechnet die Folge einer Formel wie \"Los!\" im Notenrahmen und gibt sie\n"
           "als eine Zeile aus, z. B. \"1, 4, 9\".\n"
           "  --count N             Anzahl Folgeglieder (Vorgabe 30)\n"
           "  --zero                0 ist eine natürliche Zahl (Index ab 0)\n"
           "  --start W1,W2,...     Startwerte von x_1, x_2, ... (fehlende sind 0)\n"
           "\n"
           "melody gibt die Melodie aus, die \"Abspielen\" spielen würde: je Note eine\n"
           "Zeile mit Tastennummer und Dauer in Millisekunden (Tasten <= 0 sind Pausen).\n"
           "Gelten Anschlag- oder Panoramatabelle (--velocity-..., --pan-... oder aus der\n"
           "Datei), folgen Anschlag und Panorama als dritte und vierte Spalte.\n" +
           SourceHelp() +
           "MEHRERE STIMMEN: --setup A.sonavix --setup B.sonavix ... (oder eine Datei mit\n"
           "mehreren Stimmen) spielt die Stimmen zusammen; je Note eine Zeile mit Nummer\n"
           "der Stimme, Tastennummer und Dauer. Nur --play, --out und --quality\n"
           "gelten dann;\n"
           "  --offset W            Einsatz der Stimmen der --setup-Datei davor in ganzen\n"
           "                        Noten (z. B. 1 oder 0,5; ein Kanon ist dieselbe Datei\n"
           "                        zweimal mit Einsatz); Stimmen aus Dateien mit einer\n"
           "                        Stimme spielen auf Kanal 1, 2, ... (ohne 10)\n"
           "  --out DATEI.mid       eine MIDI-Datei mit einer Spur je Stimme (Format 1),\n"
           "  --out DATEI.wav       alle Stimmen gemischt (ebenso .flac, .ogg, .mp3),\n"
           "  --out DATEI.musicxml  eine MusicXML-Partitur mit einem System je Stimme,\n"
           "  --out DATEI.ly        ebenso als LilyPond-Satz\n"
           "OPTIONEN:\n"
           "  --tempo-list TEXT     eigene Folge für die Notenlängen (explizit)\n"
           "  --tempo-formula F     eigene Folge für die Notenlängen (Formel), mit\n"
           "  --tempo-count N       ihrer Anzahl Folgeglieder (Vorgabe 30) und\n"
           "  --tempo-start W,...   ihren Startwerten\n" +
           ExpressionHelp() + "  --scale INDEX         Tonleiter (Vorgabe 7):\n" + scales +
           "  --scale-steps TEXT    eigene Tonleiter (--scale 15): Schritte in Halbtönen von\n"
           "                        Ton zu Ton, zusammen höchstens 12, z. B. \"2 2 1 2 2 2 1\"\n"
           "  --root INDEX          Grundton als Tastennummer 1 bis 77 (Vorgabe 40 = c');\n"
           "                        0 = -keine Vorgabe-\n"
           "  --note-map W,W,...    Notenwerte der Zeilen 0, 1, ... statt --scale/--root\n"
           "  --tempo-map W,W,...   Notenlängen der Zeilen 0, 1, ... (Vorgabe 2 = Viertel)\n"
           "  --tempo T             Tempo 20 bis 220 (Vorgabe 90)\n"
           "  --time B/T            Taktart der Partitur, z. B. 3/4 oder 6/8 (Vorgabe 4/4)\n"
           "  --instrument N        General-MIDI-Instrument 0 bis 127 (Vorgabe 0)\n" +
           kPlayAndOutHelp +
           "\n"
           "save schreibt die Einstellungen, die melody spielen würde, als Sonavix-Datei\n"
           "(ohne --play und --out); eine Suche in der OEIS geschieht dabei sofort, so dass\n"
           "die Datei ohne Netz dasselbe spielt.\n"
           "\n"
           "ports zeigt die MIDI-Ausgänge, je Zeile einen, Gerät 0 zuerst.\n"
           "\n"
           "Die Suche in der OEIS fragt https://oeis.org/ oder die Adresse in\n"
           "SONAVIX_OEIS_BASE.\n"
           "\n"
           "Exit-Status: 0 erfolgreich, 1 Fehler (Meldung auf der Fehlerausgabe; eval gibt\n"
           "die bis dahin berechneten Glieder aus), 2 fehlerhafter Aufruf, 128 + Nummer\n"
           "des Signals, wenn ein Signal das Programm beendet (130 nach Strg+C, 143 nach\n"
           "SIGTERM); eine klingende Note verstummt vorher.\n";
}

const char* CommandName(Command command) {
    return command == kEval ? "eval" : command == kMelody ? "melody" : "save";
}

Arguments ParseArguments(Command command, const std::vector<std::string>& args) {
    Arguments parsed{command, {}, {}, {}};
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // A formula may begin with "-" ("-x+3"): only "--" starts an option.
        if (optionsEnded || !arg.starts_with("--")) {
            parsed.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const OptionInfo* known = nullptr;
        for (const OptionInfo& candidate : kOptions)
            if (name == candidate.name) known = &candidate;
        if (!known) throw ECliUsage("Unbekannte Option \"" + QuotedText(name) + "\"");
        if (!(known->commands & command))
            throw ECliUsage("Die Option " + name + " gilt nicht für " + CommandName(command));
        const bool repeatable = name == "--setup" || name == "--offset";
        if (parsed.Has(name) && !repeatable)
            throw ECliUsage("Die Option " + name + " ist mehrfach angegeben");
        std::string value;
        if (!known->takesValue) {
            if (equals != std::string::npos)
                throw ECliUsage("Die Option " + name + " nimmt keinen Wert");
        } else if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            throw ECliUsage("Der Option " + name + " fehlt ihr Wert");
        }
        if (name == "--setup") parsed.voiceFiles.push_back({value, std::nullopt});
        if (name == "--offset") {
            if (parsed.voiceFiles.empty() || parsed.voiceFiles.back().Offset)
                throw ECliUsage("--offset gilt für die --setup-Datei davor; dort steht keine");
            parsed.voiceFiles.back().Offset = value;
        }
        parsed.options[name] = value;
    }
    return parsed;
}

std::vector<std::string> SplitValues(const std::string& text) {
    std::vector<std::string> values;
    if (text.find_first_not_of(" \t") == std::string::npos) return values;
    size_t begin = 0;
    while (true) {
        const size_t end = text.find(',', begin);
        std::string value =
            text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        values.push_back(Trimmed(value));
        if (end == std::string::npos) return values;
        begin = end + 1;
    }
}

int IntegerOption(const Arguments& a, const std::string& name, int low, int high, int fallback) {
    if (!a.Has(name)) return fallback;
    int32_t value = 0;
    if (!TryStrToInt(a.Value(name), value) || value < low || value > high)
        throw ECliUsage(name + " erwartet eine ganze Zahl von " + std::to_string(low) + " bis " +
                        std::to_string(high) + ", nicht \"" + QuotedText(a.Value(name)) + "\"");
    return value;
}

void RequireWith(const Arguments& a, const std::string& name, const std::string& needed) {
    if (a.Has(name) && !a.Has(needed))
        throw ECliUsage("Die Option " + name + " gilt nur zusammen mit " + needed);
}

std::optional<double> DecimalFromZero(const std::string& text, double max) {
    std::string number = text;
    for (char& c : number)
        if (c == ',') c = '.';
    double value = -1;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size() || !(value >= 0) ||
        value > max)
        return std::nullopt;
    return value;
}

void NoOperands(const Arguments& a) {
    if (!a.operands.empty()) throw ECliUsage(msg::SurplusArgument(a.operands.front()));
}

namespace {

double QualityOf(const std::string& text) {
    const std::optional<double> value = DecimalFromZero(text, 1);
    if (!value)
        throw ECliUsage("--quality erwartet eine Zahl von 0 bis 1, z. B. 0,6, nicht \"" +
                        QuotedText(text) + "\"");
    return *value;
}

// ".mid, .midi, .wav, ...": the endings of the formats that have qualities, or all.
std::string EndingsText(bool lossyOnly) {
    std::string text;
    for (const ExportFormat& format : ExportFormats()) {
        if (lossyOnly && format.Qualities.empty()) continue;
        for (std::string_view ending : format.Endings)
            text += (text.empty() ? "" : ", ") + std::string(ending);
    }
    return text;
}

}  // namespace

std::optional<OutFile> OutOption(const Arguments& a) {
    if (!a.Has("--out")) {
        RequireWith(a, "--quality", "--out");
        return std::nullopt;
    }
    const std::string& path = a.Value("--out");
    if (path.empty()) throw ECliUsage(msg::NeedsFileName("--out"));
    const ExportFormat* format = ExportFormatOf(path);
    if (!format)
        throw ECliUsage("--out schreibt nur Dateien mit den Endungen " + EndingsText(false) +
                        ", nicht \"" + QuotedText(path) + "\"");
    if (!a.Has("--quality")) return OutFile{path, *format, kDefaultAudioQuality};
    if (format->Qualities.empty())
        throw ECliUsage("--quality gilt nur für Dateien mit den Endungen " + EndingsText(true));
    return OutFile{path, *format, QualityOf(a.Value("--quality"))};
}
