#include "help/hh_funcs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <locale>
#include <tuple>

#include "common/text.h"
#include "help/chm_file.h"

namespace {

auto Key(const FileVersion& v) { return std::make_tuple(v.major, v.minor, v.release, v.build); }

struct Threshold {
    FileVersion at;
    const char* name;
};

// First match wins: at or above the threshold.
std::string LookUp(const FileVersion& v, const Threshold* table, size_t n, const char* below) {
    for (size_t i = 0; i < n; ++i)
        if (Key(v) >= Key(table[i].at)) return table[i].name;
    return below;
}

std::string Sprintf(const char* pattern, const std::string& value) {
    std::string out(pattern);
    const size_t at = out.find("%s");
    if (at != std::string::npos) out.replace(at, 2, value);
    return out;
}

std::string Now(const char* format) {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char buffer[64];
    return std::strftime(buffer, sizeof buffer, format, &local) ? buffer : "";
}

}  // namespace

std::string VersionString(const FileVersion& v) {
    if (!v.known) return "";
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
           std::to_string(v.release) + "." + std::to_string(v.build);
}

std::string HHFriendlyVersion(const FileVersion& v) {
    if (!v.known) return "";
    static constexpr FileVersion k133{4, 74, 9273, 0, true};
    if (Key(v) > Key(k133)) return "> 1.33";
    if (Key(v) == Key(k133)) return "1.33";
    static constexpr Threshold kTable[] = {
        {{4, 74, 8857, 0, true}, "1.32"},  {{4, 74, 8793, 0, true}, "1.31"},
        {{4, 74, 8702, 0, true}, "1.3"},   {{4, 73, 8561, 0, true}, "1.22"},
        {{4, 73, 8474, 0, true}, "1.21a"}, {{4, 73, 8412, 0, true}, "1.21"},
        {{4, 73, 8252, 0, true}, "1.2"},   {{4, 72, 8164, 0, true}, "1.1b"},
        {{4, 72, 7325, 0, true}, "1.1a"},  {{4, 72, 7323, 0, true}, "1.1"},
        {{4, 72, 7290, 0, true}, "1.0"}};
    return LookUp(v, kTable, std::size(kTable), "< 1.0");
}

uint16_t LanguageIdentifier(const std::string& language, const std::string& territory) {
    struct Entry {
        const char* language;
        const char* territory;  // "" for the language's main country
        uint16_t id;
    };
    static constexpr Entry kTable[] = {
        {"de", "", 0x0407},   {"de", "CH", 0x0807}, {"de", "AT", 0x0C07}, {"de", "LU", 0x1007},
        {"de", "LI", 0x1407}, {"en", "", 0x0409},   {"en", "GB", 0x0809}, {"en", "AU", 0x0C09},
        {"en", "CA", 0x1009}, {"en", "NZ", 0x1409}, {"en", "IE", 0x1809}, {"fr", "", 0x040C},
        {"fr", "BE", 0x080C}, {"fr", "CA", 0x0C0C}, {"fr", "CH", 0x100C}, {"fr", "LU", 0x140C},
        {"it", "", 0x0410},   {"it", "CH", 0x0810}, {"es", "", 0x0C0A},   {"es", "MX", 0x080A},
        {"nl", "", 0x0413},   {"nl", "BE", 0x0813}, {"pt", "", 0x0416},   {"pt", "PT", 0x0816},
        {"zh", "", 0x0804},   {"zh", "TW", 0x0404}, {"sv", "", 0x041D},   {"da", "", 0x0406},
        {"nb", "", 0x0414},   {"no", "", 0x0414},   {"fi", "", 0x040B},   {"pl", "", 0x0415},
        {"cs", "", 0x0405},   {"sk", "", 0x041B},   {"hu", "", 0x040E},   {"ru", "", 0x0419},
        {"uk", "", 0x0422},   {"tr", "", 0x041F},   {"el", "", 0x0408},   {"ja", "", 0x0411},
        {"ko", "", 0x0412},   {"ar", "", 0x0401},   {"he", "", 0x040D},   {"ro", "", 0x0418},
        {"hr", "", 0x041A},   {"sl", "", 0x0424},   {"bg", "", 0x0402},   {"ca", "", 0x0403},
        {"is", "", 0x040F}};
    uint16_t mainCountry = 0;
    for (const Entry& e : kTable) {
        if (language != e.language) continue;
        if (territory == e.territory) return e.id;
        if (!*e.territory) mainCountry = e.id;
    }
    return mainCountry;
}

std::string HexIdentifier(uint16_t id) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "0x%04X", static_cast<unsigned>(id));
    return buffer;
}

bool HHVersionSufficient(bool loaded, const FileVersion& v) {
    if (!loaded || !v.known) return false;
    return v.major > 4 || (v.major == 4 && v.minor >= 73);
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    std::string dir = path.substr(0, slash);
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir.empty() ? "/" : dir;
}

bool DebugFlag(const std::string& programDir, const std::vector<std::string>& params) {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::path(programDir) / "debug.debug", ec)) return true;
    return std::any_of(params.begin(), params.end(), [](const std::string& p) {
        const std::string l = ToLower(p);
        return l == "/debug" || l == "-debug";
    });
}

std::string LogDirectory(const std::string& programDir, const std::string& tempDir) {
    // A name of our own, created new: whatever someone placed in the folder
    // (a link, a pipe) is never opened, so it is neither emptied nor waited on.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string probe = programDir + "/$_Temp_$." + std::to_string(getpid()) + "." +
                                  std::to_string(counter++) + ".$$$";
        const int fd = open(
            probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            break;
        }
        struct stat info {};
        const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
        close(fd);
        unlink(probe.c_str());
        return regular ? programDir : tempDir;
    }
    return tempDir;
}

PlatformFacts ReadPlatformFacts(const std::function<const char*(const char*)>& getenv,
                                const std::string& sysname, const std::string& release) {
    PlatformFacts p;
    p.osName = sysname;
    std::sscanf(release.c_str(), "%d.%d.%d", &p.osMajor, &p.osMinor, &p.osBuild);
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = getenv(name);
        if (value && *value) {
            p.locale = value;
            break;
        }
    }
    if (p.locale.empty()) p.locale = "C";
    // "de_DE.UTF-8@euro": language "de", territory "DE".
    const std::string base = p.locale.substr(0, p.locale.find_first_of(".@"));
    const size_t underscore = base.find('_');
    p.language = base.substr(0, underscore);
    p.territory = underscore == std::string::npos ? "" : base.substr(underscore + 1);
    p.lcid = LanguageIdentifier(p.language, p.territory);
    p.decimalSeparator = ".";
    try {
        p.decimalSeparator = std::string(
            1, std::use_facet<std::numpunct<char>>(std::locale(p.locale)).decimal_point());
    } catch (const std::exception&) {
        // A locale the system does not have keeps the C separator.
    }
    return p;
}

std::string FormatLogLine(const std::string& text, const std::string& timeOfDay) {
    std::string line = text;
    if (line == "-" || line == "=") line = std::string(80, line[0]);
    if (!line.empty() && (line[0] == '!' || line[0] == '-' || line[0] == '='))
        return line.substr(1);
    return line + "   " + timeOfDay;
}

std::vector<std::string> LogHeaderEntries(const HHDetection& d, const PlatformFacts& p,
                                          const std::string& logFile, const std::string& dateTime) {
    std::string params;
    for (const std::string& param : d.params) params += (params.empty() ? "" : " | ") + param;
    const std::string os = p.osName + " " + std::to_string(p.osMajor) + "." +
                           std::to_string(p.osMinor) + "." + std::to_string(p.osBuild);
    const auto yesNo = [](bool b) { return std::string(b ? "YES" : "NO"); };
    return {
        Sprintf("!Filename:             \t%s", logFile),
        Sprintf("!Date:                 \t%s", dateTime),
        Sprintf("!Operating System:      \t%s", os),
        Sprintf("!SysLocale.DefaultLCID: \t%s", HexIdentifier(p.lcid)),
        Sprintf("!SysLocale.PriLangID:   \t%s",
                HexIdentifier(static_cast<uint16_t>(p.lcid & 0x3FF))),
        Sprintf("!SysLocale.SubLangID:   \t%s", HexIdentifier(static_cast<uint16_t>(p.lcid >> 10))),
        Sprintf("!DecimalSeparator:      \t%s", p.decimalSeparator),
        "-",
        Sprintf("!EXE Path =          \t%s", d.moduleName),
        Sprintf("!Cmdline Param(s) =  \t%s", params),
        Sprintf("!_RunDir =           \t%s", d.runDir),
        Sprintf("!_ModuleName =       \t%s", d.moduleName),
        Sprintf("!_ModuleDir =        \t%s", d.moduleDir),
        "-",
        Sprintf("!_hhInstalled =      \t%s", yesNo(d.hhInstalled)),
        Sprintf("!_hhVerStr =         \t%s", d.hhVerStr),
        Sprintf("!_hhFriendlyVerStr = \t%s", d.hhFriendly),
        "-",
        Sprintf("!_ieInstalled =      \t%s", yesNo(d.ieInstalled)),
        Sprintf("!_ieVerStr =         \t%s", d.ieVerStr),
        Sprintf("!_ieFriendlyVerStr = \t%s", d.ieFriendly),
        "="};
}

std::string FindHelpFile(const std::string& programDir) {
    std::string beside = programDir + "/" + kHelpFileName;
    std::string shared = DirectoryOf(programDir) + "/share/sonavix/" + kHelpFileName;
    std::error_code ec;
    if (!std::filesystem::exists(beside, ec) && std::filesystem::exists(shared, ec)) return shared;
    return beside;
}

HHDetection& HHState() {
    static HHDetection state;
    return state;
}

std::string HHLogFile() { return HHState().logDir + "/HHDebug.txt"; }

void HHLog(const std::string& text) {
    if (!HHState().debug) return;
    // Opened anew for each entry, but never through a link and never a pipe or
    // device: something put in the log's place while the program runs is left alone.
    const int fd = open(HHLogFile().c_str(),
                        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return;
    struct stat info {};
    // A second name of the file would let the log grow into another one.
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1) {
        const std::string line = FormatLogLine(text, Now("%H:%M:%S")) + "\n";
        for (size_t done = 0; done < line.size();) {
            const ssize_t n = write(fd, line.data() + done, line.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
    }
    close(fd);
}

void HHDetect(const std::string& programPath, const std::string& firstWord,
              const std::vector<std::string>& params) {
    HHDetection& d = HHState();
    d = HHDetection{};
    d.moduleName = programPath.substr(0, 300);
    d.moduleDir = DirectoryOf(d.moduleName);
    d.params = params;
    d.runDir = DirectoryOf(firstWord);
    const char* tmp = std::getenv("TMPDIR");
    d.logDir =
        LogDirectory(d.moduleDir, tmp && *tmp ? DirectoryOf(std::string(tmp) + "/") : "/tmp");
    d.debug = DebugFlag(d.moduleDir, params);

    // The viewer is built in; it works whenever the CHM library can be loaded.
    const ChmLibrary& lib = LoadChmLibrary();
    d.hhPath = lib.path;
    d.hhLoaded = lib.loaded;
    if (lib.loaded) d.hhVersion = kBuiltInViewerVersion;
    d.hhVerStr = VersionString(d.hhVersion);
    d.hhInstalled = !d.hhVerStr.empty();
    d.hhFriendly = HHFriendlyVersion(d.hhVersion);
    // There is no browser component of that family here: the log's lines for
    // it say "NO" and stay empty.

    std::remove(HHLogFile().c_str());
    if (!d.debug) return;
    utsname names{};
    uname(&names);
    const PlatformFacts facts = ReadPlatformFacts(
        [](const char* name) { return std::getenv(name); }, names.sysname, names.release);
    for (const std::string& entry :
         LogHeaderEntries(d, facts, HHLogFile(), Now("%d.%m.%Y %H:%M:%S")))
        HHLog(entry);
}
