#pragma once
// The command line as the tool reads it: the options, which commands take them
// and whether they take a value, the help that names them, and the checks of
// their values that every command shares.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/ensemble_cli.h"

enum Command { kEval = 1, kMelody = 2, kSave = 4 };
// What melody plays, save writes.
inline constexpr int kSetup = kMelody | kSave;

struct OptionInfo {
    const char* name;
    bool takesValue;
    int commands;  // Command bits
};

inline constexpr OptionInfo kOptions[] = {
    {"--count", true, kEval | kSetup},  {"--zero", false, kEval | kSetup},
    {"--start", true, kEval | kSetup},  {"--list", true, kSetup},
    {"--formula", true, kSetup},        {"--oeis", true, kSetup},
    {"--tempo-list", true, kSetup},     {"--tempo-formula", true, kSetup},
    {"--tempo-count", true, kSetup},    {"--tempo-start", true, kSetup},
    {"--scale", true, kSetup},          {"--scale-steps", true, kSetup},
    {"--root", true, kSetup},           {"--note-map", true, kSetup},
    {"--tempo-map", true, kSetup},      {"--tempo", true, kSetup},
    {"--instrument", true, kSetup},     {"--play", false, kMelody},
    {"--out", true, kMelody},           {"--setup", true, kSetup},
    {"--offset", true, kMelody},        {"--oeis-all", false, kSetup},
    {"--time", true, kSetup},           {"--velocity-map", true, kSetup},
    {"--velocity-list", true, kSetup},  {"--velocity-formula", true, kSetup},
    {"--velocity-count", true, kSetup}, {"--velocity-start", true, kSetup},
    {"--pan-map", true, kSetup},        {"--pan-list", true, kSetup},
    {"--pan-formula", true, kSetup},    {"--pan-count", true, kSetup},
    {"--pan-start", true, kSetup},      {"--list-file", true, kSetup},
    {"--column", true, kSetup},         {"--quality", true, kMelody},
    {"--step-input", true, kMelody},
};

// The command line, read but not yet checked against what each command needs.
struct Arguments {
    Command command;
    std::map<std::string, std::string> options;  // flags hold ""
    std::vector<std::string> operands;
    std::vector<VoiceFileArgument> voiceFiles;  // every --setup, each with the --offset after it
    bool Has(const std::string& name) const { return options.count(name) != 0; }
    const std::string& Value(const std::string& name) const { return options.at(name); }
};

// "eval", "melody" or "save".
const char* CommandName(Command command);
// Reads args (without the command) as options of command; throws ECliUsage
// for an option that is unknown, given twice or without its value.
Arguments ParseArguments(Command command, const std::vector<std::string>& args);

// "1, 2,3" -> {"1", "2", "3"}: values as they are typed into table cells,
// without the blanks around them; "" -> no values.
std::vector<std::string> SplitValues(const std::string& text);
// The option's integer from low to high, or fallback without the option.
int IntegerOption(const Arguments& a, const std::string& name, int low, int high, int fallback);
// name only together with needed.
void RequireWith(const Arguments& a, const std::string& name, const std::string& needed);
void NoOperands(const Arguments& a);
// "0,5" or "0.5": a number from 0 to max as a German user types it, or none.
std::optional<double> DecimalFromZero(const std::string& text, double max);
// The file --out names, if any: its format by the ending, and --quality (0..1,
// else the default) for a lossy one. Throws ECliUsage for an empty name, an
// ending the program does not write, and a --quality out of range or without
// a lossy format.
std::optional<OutFile> OutOption(const Arguments& a);

// What --help prints.
std::string HelpText();
