#include "help/hh_funcs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

FileVersion V(uint16_t a, uint16_t b, uint16_t c, uint16_t d) { return {a, b, c, d, true}; }

TEST(HelpViewerVersion, CheckAndFriendlyName) {
    struct Case {
        FileVersion v;
        bool passes;
        const char* friendly;
    } cases[] = {
        {V(4, 73, 0, 0), true, "1.1b"},      {V(4, 72, 9999, 0), false, "1.1b"},
        {V(3, 99, 9999, 9), false, "< 1.0"}, {V(5, 0, 0, 0), true, "> 1.33"},
        {V(4, 74, 9273, 0), true, "1.33"},   {V(4, 74, 9273, 1), true, "> 1.33"},
        {V(4, 74, 8857, 0), true, "1.32"},   {V(4, 73, 8561, 0), true, "1.22"},
        {V(4, 72, 7290, 0), false, "1.0"},   {V(4, 72, 7289, 65535), false, "< 1.0"},
    };
    for (const Case& c : cases) {
        const std::string name = VersionString(c.v);
        EXPECT_EQ(HHVersionSufficient(true, c.v), c.passes) << name;
        EXPECT_EQ(HHFriendlyVersion(c.v), c.friendly) << name;
    }
    EXPECT_FALSE(HHVersionSufficient(false, V(4, 74, 0, 0)));
    EXPECT_EQ(HHFriendlyVersion(FileVersion{}), "");
    EXPECT_EQ(VersionString(FileVersion{}), "");
    EXPECT_EQ(VersionString(V(4, 73, 8561, 7)), "4.73.8561.7");
}

TEST(HelpLog, LineFormat) {
    const struct {
        const char* text;
        std::string line;
    } cases[] = {
        {"-", std::string(79, '-')},
        {"=", std::string(79, '=')},
        {"!_hhInstalled = YES", "_hhInstalled = YES"},
        {"--x", "-x"},
        {"THookHelpSystem.Destroy", "THookHelpSystem.Destroy   12:34:56"},
        {"", "   12:34:56"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatLogLine(c.text, "12:34:56"), c.line) << c.text;
}

TEST(HelpLog, PlatformFactsFromTheEnvironment) {
    auto env = [](const char* name) -> const char* {
        return std::string(name) == "LANG" ? "de_DE.UTF-8@euro" : nullptr;
    };
    const PlatformFacts p = ReadPlatformFacts(env, "Linux", "6.1.0-18-amd64");
    EXPECT_EQ(p.osName + " " + std::to_string(p.osMajor) + "." + std::to_string(p.osMinor) + "." +
                  std::to_string(p.osBuild),
              "Linux 6.1.0");
    EXPECT_EQ(p.locale, "de_DE.UTF-8@euro");
    EXPECT_EQ(p.language, "de");
    EXPECT_EQ(p.territory, "DE");
    const PlatformFacts none = ReadPlatformFacts([](const char*) { return nullptr; }, "Linux", "");
    EXPECT_EQ(none.locale, "C");
    EXPECT_EQ(none.decimalSeparator, ".");
}

// The header's locale lines carry Windows language identifiers, not POSIX names.
TEST(HelpLog, LocaleLinesAreLanguageIdentifiers) {
    const struct {
        const char* locale;
        const char* lcid;
        const char* primary;
        const char* sub;
    } cases[] = {
        {"de_DE.UTF-8@euro", "0x0407", "0x0007", "0x0001"},
        {"de_AT.UTF-8", "0x0C07", "0x0007", "0x0003"},
        {"de", "0x0407", "0x0007", "0x0001"},           // no territory: the main country
        {"en_ZA.UTF-8", "0x0409", "0x0009", "0x0001"},  // a country not in the table
        {"pt_PT", "0x0816", "0x0016", "0x0002"},
        {"C.UTF-8", "0x0000", "0x0000", "0x0000"},
        {"xx_YY", "0x0000", "0x0000", "0x0000"},
    };
    for (const auto& c : cases) {
        const char* locale = c.locale;
        auto env = [locale](const char* name) -> const char* {
            return std::string(name) == "LC_ALL" ? locale : nullptr;
        };
        const std::vector<std::string> header =
            LogHeaderEntries(HHDetection{}, ReadPlatformFacts(env, "Linux", "6.1.0"), "", "");
        EXPECT_EQ(header[3], std::string("!SysLocale.DefaultLCID: \t") + c.lcid) << locale;
        EXPECT_EQ(header[4], std::string("!SysLocale.PriLangID:   \t") + c.primary) << locale;
        EXPECT_EQ(header[5], std::string("!SysLocale.SubLangID:   \t") + c.sub) << locale;
    }
}

// A program folder in the temporary directory, with the detection run as from there.
class HelpDetection : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("sonavix-help-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        HHState() = HHDetection{};
        fs::remove_all(dir);
    }
    std::vector<std::string> LogLines() {
        std::ifstream in(dir / "HHDebug.txt");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    std::string Program() const { return (dir / "sonavix").string(); }
    fs::path dir;
};

TEST_F(HelpDetection, DebugSwitchOnTheCommandLineWritesTheHeaderAndEntries) {
    HHDetect(Program(), "./sonavix", {"-DEBUG", "x y"});
    HHLog("THookHelpSystem.Destroy");
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 23u);
    EXPECT_EQ(lines[0], "Filename:             \t" + (dir / "HHDebug.txt").string());
    EXPECT_EQ(lines[7], std::string(79, '-'));
    const std::vector<std::string> expected = {
        "EXE Path =          \t" + Program(),
        "Cmdline Param(s) =  \t-DEBUG | x y",
        "_RunDir =           \t.",
        "_ModuleName =       \t" + Program(),
        "_ModuleDir =        \t" + dir.string(),
        std::string(79, '-'),
        "_hhInstalled =      \tYES",
        "_hhVerStr =         \t4.74.9273.0",
        "_hhFriendlyVerStr = \t1.33",
        std::string(79, '-'),
        "_ieInstalled =      \tNO",
        "_ieVerStr =         \t",
        "_ieFriendlyVerStr = \t",
        std::string(79, '='),
    };
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 8, lines.begin() + 22), expected);
    EXPECT_EQ(lines[22].substr(0, 26), "THookHelpSystem.Destroy   ");
    EXPECT_EQ(lines[22].size(), 26u + 8u);
}

TEST_F(HelpDetection, DebugFileBesideTheProgramAndNoSwitch) {
    // Without either, a log from an earlier run is removed and nothing is written.
    std::ofstream(dir / "HHDebug.txt") << "old\n";
    HHDetect(Program(), Program(), {"/debugx"});
    HHLog("entry");
    EXPECT_FALSE(fs::exists(dir / "HHDebug.txt"));

    std::ofstream(dir / "debug.debug").flush();
    HHDetect(Program(), Program(), {});
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 22u);
    EXPECT_EQ(lines[9], "Cmdline Param(s) =  \t");
    EXPECT_EQ(lines[10], "_RunDir =           \t" + dir.string());
}

TEST_F(HelpDetection, DebugSwitchIgnoresCaseAndNeedsTheWholeWord) {
    for (const char* on : {"/debug", "-Debug", "/DEBUG"})
        EXPECT_TRUE(DebugFlag(dir.string(), {on}));
    for (const char* off : {"debug", "--debug", "-debug2"})
        EXPECT_FALSE(DebugFlag(dir.string(), {off}));
}

TEST_F(HelpDetection, LogGoesToTheTemporaryFolderWhenTheProgramFolderIsReadOnly) {
    EXPECT_EQ(LogDirectory(dir.string(), "/tmp"), dir.string());
    EXPECT_EQ(LogDirectory((dir / "missing").string(), "/tmp"), "/tmp");
    EXPECT_TRUE(fs::is_empty(dir));  // the probe file is gone again
}

// What someone put at the probe's or the log's name is never followed nor waited on.
TEST_F(HelpDetection, ProbeAndLogLeaveLinksAndPipesAlone) {
    std::ofstream(dir / "fremd.txt") << "fremd\n";
    const auto link = [](const fs::path& p) { fs::create_symlink("fremd.txt", p); };
    const auto pipe = [](const fs::path& p) { mkfifo(p.c_str(), 0644); };
    const struct {
        const char* name;
        std::function<void(const fs::path&)> place;
    } cases[] = {{"$_Temp_$.$$$", link},
                 {"$_Temp_$.$$$", pipe},
                 {"HHDebug.txt", link},
                 {"HHDebug.txt", pipe}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(dir / "debug.debug").flush();
        HHDetect(Program(), Program(), {});  // the probe, then the log's header
        fs::remove(dir / c.name);
        c.place(dir / c.name);
        alarm(10);  // a blocking open ends the test instead of hanging it
        if (c.name[0] == '$') HHDetect(Program(), Program(), {});
        HHLog("entry");
        alarm(0);
        EXPECT_EQ(HHState().logDir, dir.string());
        EXPECT_EQ(ReadText(dir / "fremd.txt"), "fremd\n");
        fs::remove(dir / c.name);
    }
}

TEST_F(HelpDetection, HelpFileBesideTheProgramFirstThenAsInstalled) {
    const fs::path bin = dir / "bin", share = dir / "share" / "sonavix";
    fs::create_directories(bin);
    fs::create_directories(share);
    EXPECT_EQ(FindHelpFile(bin.string()), (bin / kHelpFileName).string());
    std::ofstream(share / kHelpFileName).flush();
    EXPECT_EQ(FindHelpFile(bin.string()), (share / kHelpFileName).string());
    std::ofstream(bin / kHelpFileName).flush();
    EXPECT_EQ(FindHelpFile(bin.string()), (bin / kHelpFileName).string());
}

}  // namespace
