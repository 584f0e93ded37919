#pragma once
// Start-up detection of the help viewer and the diagnostic log "HHDebug.txt".
// Free of Qt: the detection runs before any window exists, and the tables, the
// version check and the log's line format are plain functions.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A file version as four 16-bit numbers; `known` is false when there is none.
struct FileVersion {
    uint16_t major = 0, minor = 0, release = 0, build = 0;
    bool known = false;
};

// "%d.%d.%d.%d", or empty without a version.
std::string VersionString(const FileVersion& v);
// The friendly name of the help viewer's version.
std::string HHFriendlyVersion(const FileVersion& v);
// The start-up check: the viewer is loaded and its version is at least 4.73.
bool HHVersionSufficient(bool loaded, const FileVersion& v);

inline const char* const kHHMissingMessage =
    "Diese Anwendung erfordert die Installation der MS HTML Help 1.2 oder höher";

// The version the built-in viewer reports whenever it can open help files.
inline constexpr FileVersion kBuiltInViewerVersion{4, 74, 9273, 0, true};

// What the start-up detection found.
struct HHDetection {
    std::string moduleName, moduleDir, runDir, logDir;
    std::vector<std::string> params;
    bool debug = false;
    std::string hhPath;  // the viewer library's file
    bool hhLoaded = false;
    FileVersion hhVersion;
    std::string hhVerStr, hhFriendly;
    bool hhInstalled = false;
    std::string ieVerStr, ieFriendly;  // the browser component: none here
    bool ieInstalled = false;
};

// Platform facts for the log header.
struct PlatformFacts {
    std::string osName;
    int osMajor = 0, osMinor = 0, osBuild = 0;
    std::string locale, language, territory, decimalSeparator;
    uint16_t lcid = 0;  // the locale as a Windows language identifier, 0 when unknown
};

// A POSIX locale's language and territory ("de", "AT") as a Windows language
// identifier (0x0C07): primary language in the low 10 bits, sublanguage above.
// A known language with an unknown territory gets its main country; 0 for the rest.
uint16_t LanguageIdentifier(const std::string& language, const std::string& territory);
// "0x" and four upper-case hexadecimal digits.
std::string HexIdentifier(uint16_t id);

// Folder of a path without trailing slashes ("/" stays "/").
std::string DirectoryOf(const std::string& path);
// On when "debug.debug" lies in the program folder or a parameter is "/debug" or "-debug" (any
// case).
bool DebugFlag(const std::string& programDir, const std::vector<std::string>& params);
// The program folder when a test file can be created there, else the temporary folder.
std::string LogDirectory(const std::string& programDir, const std::string& tempDir);
// Locale facts from the environment (LC_ALL, LC_MESSAGES, LANG) and the uname release.
PlatformFacts ReadPlatformFacts(const std::function<const char*(const char*)>& getenv,
                                const std::string& sysname, const std::string& release);

// One log line: "-" and "=" become 80 of that character; a text starting with
// "!", "-" or "=" loses that character and gets no time; others get three
// blanks and the time of day.
std::string FormatLogLine(const std::string& text, const std::string& timeOfDay);
// The header entries in their order, before FormatLogLine.
std::vector<std::string> LogHeaderEntries(const HHDetection& d, const PlatformFacts& p,
                                          const std::string& logFile, const std::string& dateTime);

inline const char* const kHelpFileName = "Sonavix Hilfe.chm";
// The help file beside the program, else in ../share/sonavix/ as installed;
// the path beside the program when neither exists.
std::string FindHelpFile(const std::string& programDir);

// The detection of this process; filled by HHDetect, read by the hook and the window.
HHDetection& HHState();
// Runs the detection: the program's file, the first command-line word (its
// folder is the run directory), the parameters, the viewer library; deletes
// the old log and writes the header when the debug flag is on.
void HHDetect(const std::string& programPath, const std::string& firstWord,
              const std::vector<std::string>& params);
// Appends one entry to the log when the debug flag is on; a log that cannot be opened drops it.
void HHLog(const std::string& text);
std::string HHLogFile();
