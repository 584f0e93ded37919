#include "common/file_write.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>

#include "support/expect_error.h"

namespace {
namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// What the folder holds, sorted by name, links by what they point to.
std::string Listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        if (entry.is_symlink()) name += "->" + fs::read_symlink(entry.path()).string();
        names.insert(name);
    }
    std::string out;
    for (const std::string& name : names) out += name + ";";
    return out;
}

class FileWrite : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("sonavix-filewrite-" + std::to_string(getpid()));
        fs::create_directories(dir);
        WriteText(dir / "alt.mid", "alt");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    // The cause a write gives, or "written".
    std::string Refusal(const fs::path& path, const std::string& bytes) {
        const std::string message = MessageOf<EFileWriteError>([&] {
            WriteFileAtomically(path.string(), std::vector<uint8_t>(bytes.begin(), bytes.end()));
        });
        if (message == "<no error>") return "written";
        const std::string prefix =
            "Die Datei \"" + path.string() + "\" kann nicht geschrieben werden: ";
        EXPECT_TRUE(message.starts_with(prefix)) << message;
        return message.substr(prefix.size());
    }
    void ExpectLinksFollowedAndPermissionsKept();
    fs::path dir;
};

// Chooses how writes start their file while it lives.
class UnnamedFiles {
public:
    explicit UnnamedFiles(bool use) { UseUnnamedTemporaryFiles(use); }
    ~UnnamedFiles() { UseUnnamedTemporaryFiles(true); }
    UnnamedFiles(const UnnamedFiles&) = delete;
    UnnamedFiles& operator=(const UnnamedFiles&) = delete;
};

// A file size limit makes the system refuse the write halfway through.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    void (*oldHandler_)(int);
};

}  // namespace

TEST_F(FileWrite, AFailedOrRefusedWriteLeavesWhatWasThere) {
    const std::string big(size_t{64} * 1024, 'n');
    const struct {
        const char* name;
        std::function<void(const fs::path&)> setUp;  // makes what is at the path
        bool sizeLimited;
        const char* cause;
    } cases[] = {
        {"file cut by the system", [](const fs::path&) {}, true, "die Datei wäre zu groß"},
        {"link to a file, write cut", [](const fs::path& p) { fs::create_symlink("alt.mid", p); },
         true, "die Datei wäre zu groß"},
        {"link to a device", [](const fs::path& p) { fs::create_symlink("/dev/null", p); }, false,
         "das ist keine gewöhnliche Datei (ein Gerät, eine Pipe oder ein Socket)"},
        {"named pipe", [](const fs::path& p) { mkfifo(p.c_str(), 0644); }, false,
         "das ist keine gewöhnliche Datei (ein Gerät, eine Pipe oder ein Socket)"},
        {"folder", [](const fs::path& p) { fs::create_directory(p); }, false, "das ist ein Ordner"},
        {"file taken for a folder", [](const fs::path&) {}, false,
         "ein Teil des Pfades ist kein Ordner"},
        {"name too long", [](const fs::path&) {}, false, "der Name ist zu lang"},
        {"missing folder", [](const fs::path&) {}, false, "der Ordner existiert nicht"},
        {"folder without new names", [](const fs::path&) {}, false,
         "in diesem Ordner lassen sich keine Dateien anlegen"},
    };
    for (const bool unnamed : {true, false})
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (unnamed ? ", unnamed" : ", named"));
            const UnnamedFiles way(unnamed);
            const std::string name = c.name;
            fs::path path = dir / "ziel.mid";
            if (name == "file cut by the system") path = dir / "alt.mid";
            if (name == "file taken for a folder") path = dir / "alt.mid" / "x.mid";
            if (name == "name too long") path = dir / (std::string(300, 'n') + ".mid");
            if (name == "missing folder") path = dir / "fehlt" / "x.mid";
            if (name == "folder without new names") path = "/proc/self/neu.mid";
            c.setUp(path);
            const std::string before = Listing(dir);
            {
                std::optional<FileSizeLimit> limit;
                if (c.sizeLimited) limit.emplace(1024);
                EXPECT_EQ(Refusal(path, big), c.cause);
            }
            EXPECT_EQ(Listing(dir), before);
            EXPECT_EQ(ReadText(dir / "alt.mid"), "alt");
            std::error_code ignored;
            if (path.parent_path() == dir && name != "file cut by the system")
                fs::remove_all(path, ignored);
        }
}

TEST_F(FileWrite, ReplacesTheFileALinkLeadsToAndKeepsItsPermissions) {
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed" : "named");
        const UnnamedFiles way(unnamed);
        ExpectLinksFollowedAndPermissionsKept();
        TearDown();
        SetUp();
    }
}

void FileWrite::ExpectLinksFollowedAndPermissionsKept() {
    fs::permissions(dir / "alt.mid", fs::perms(0640));
    fs::create_symlink("alt.mid", dir / "link.mid");
    fs::create_symlink("neu.mid", dir / "offen.mid");  // its file does not exist yet
    for (const char* name : {"link.mid", "offen.mid", "frisch.mid"})
        EXPECT_EQ(Refusal(dir / name, std::string("neu:") + name), "written") << name;

    EXPECT_EQ(Listing(dir), "alt.mid;frisch.mid;link.mid->alt.mid;neu.mid;offen.mid->neu.mid;");
    EXPECT_EQ(ReadText(dir / "alt.mid"), "neu:link.mid");
    EXPECT_EQ(ReadText(dir / "neu.mid"), "neu:offen.mid");
    EXPECT_EQ(ReadText(dir / "frisch.mid"), "neu:frisch.mid");
    EXPECT_TRUE(fs::is_symlink(dir / "link.mid"));
    EXPECT_EQ(fs::status(dir / "alt.mid").permissions(), fs::perms(0640));
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(fs::status(dir / "frisch.mid").permissions(), fs::perms(0666 & ~mask));
}

TEST_F(FileWrite, AProducerThatFailsLeavesTheOldFile) {
    EXPECT_THROW(WriteFileAtomically((dir / "alt.mid").string(),
                                     [](const FileChunkWriter& put) {
                                         put("halb", 4);
                                         throw EInvalidInput("abgebrochen");
                                     }),
                 EInvalidInput);
    EXPECT_EQ(Listing(dir), "alt.mid;");
    EXPECT_EQ(ReadText(dir / "alt.mid"), "alt");
}

TEST_F(FileWrite, AWriterKilledMidwayLeavesNothingBehind) {
    const int probe = open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (probe < 0) GTEST_SKIP() << "this file system makes no unnamed files";
    close(probe);
    const std::string megabyte(std::size_t{1} << 20, 'w');
    EXPECT_EXIT(WriteFileAtomically((dir / "alt.mid").string(),
                                    [&](const FileChunkWriter& put) {
                                        for (int i = 0; i < 18; ++i)
                                            put(megabyte.data(), megabyte.size());
                                        kill(getpid(), SIGKILL);
                                    }),
                ::testing::KilledBySignal(SIGKILL), "");
    EXPECT_EQ(Listing(dir), "alt.mid;");
    EXPECT_EQ(ReadText(dir / "alt.mid"), "alt");
}

TEST_F(FileWrite, TheNextWriteRemovesOldFilesOfEndedWritersOnly) {
    // A process that has ended, and its number not given again so soon.
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    ASSERT_GT(ended, 0);
    waitpid(ended, nullptr, 0);
    const std::string gone = std::to_string(ended);
    const std::string alive = std::to_string(getppid());
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    const struct {
        std::string name;
        bool isOld, stays;
    } files[] = {
        {".sonavix-" + gone + "-17-0.tmp", true, false},
        {".sonavix-" + gone + "-17-1.tmp", false, true},  // perhaps another machine's writer
        {".sonavix-" + alive + "-17-2.tmp", true, true},  // its writer still runs
        {".sonavix-" + gone + "-17.tmp", true, true},     // no name a write gives
        {"sonavix-" + gone + "-17-3.tmp", true, true},
        {".sonavix-" + gone + "-17-4.tmp/", true, true},  // a folder
    };
    std::set<std::string> left = {"alt.mid", "neu.mid"};
    for (const auto& f : files) {
        const fs::path path = dir / std::string_view(f.name).substr(0, f.name.find('/'));
        if (f.name.ends_with('/'))
            fs::create_directory(path);
        else
            WriteText(path, "halb");
        if (f.isOld) fs::last_write_time(path, old);
        if (f.stays) left.insert(path.filename().string());
    }
    WriteFileAtomically((dir / "neu.mid").string(), std::vector<uint8_t>{'n'});
    std::string expected;
    for (const std::string& name : left) expected += name + ";";
    EXPECT_EQ(Listing(dir), expected);
}
