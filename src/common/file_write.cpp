#include "common/file_write.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <limits>
#include <string_view>

#include "common/quote.h"
#include "common/system_error.h"
#include "common/termination.h"

namespace {

constexpr std::size_t kPathCharsMax = 1024;  // a path is shown whole, but never without end
constexpr int kMaxLinkHops = 40;             // as the kernel follows them

[[noreturn]] void Fail(const std::string& path, const std::string& cause) {
    throw FileWriteError(path, cause);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The path that the links at path lead to; a link to a file that does not
// exist yet leads to the name it gives, so the file is created there.
std::string FollowLinks(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info;
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        std::string target(info.st_size > 0 ? info.st_size + 1 : 4096, '\0');
        const ssize_t n = readlink(current.c_str(), target.data(), target.size());
        if (n < 0) Fail(path, SystemErrorText(errno));
        target.resize(static_cast<std::size_t>(n));
        if (!target.starts_with('/')) target.insert(0, FolderOf(current) + "/");
        current = std::move(target);
    }
    Fail(path, SystemErrorText(ELOOP));
}

// Why no new file could be made in folder. A folder that is there but where
// names cannot be made (/proc, say) also answers ENOENT.
std::string CreateFailure(int error, const std::string& folder) {
    struct stat info;
    if (error == ENOENT && stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return "in diesem Ordner lassen sich keine Dateien anlegen";
    return SystemErrorText(error);
}

std::atomic<bool> unnamedAllowed{true};

// A file opened unnamed in folder, or -1 where that is not to be had: a file
// system without O_TMPFILE, or no /proc to give the finished file its name.
int OpenUnnamed(const std::string& folder) {
    if (!unnamedAllowed || access("/proc/self/fd", X_OK) != 0) return -1;
    // 0666 less the umask, as any new file; a replaced file's mode follows.
    // Open for reading too: an encoder may read back what it wrote.
    return open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
}

constexpr std::string_view kTemporaryPrefix = ".sonavix-";
constexpr std::string_view kTemporarySuffix = ".tmp";
// A file of a writer gone that is this old is no other machine's either (a
// folder shared over the network), where that writer's number means nothing.
constexpr time_t kStaleAfterSeconds = 600;

// The process number in a name that TemporaryFile gives: ".sonavix-PID-N-N.tmp";
// 0 for any other name.
pid_t WriterOf(std::string_view name) {
    if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) return 0;
    name.remove_prefix(kTemporaryPrefix.size());
    name.remove_suffix(kTemporarySuffix.size());
    long long pid = 0;
    int numbers = 0;
    for (std::size_t pos = 0; pos <= name.size(); ++numbers) {
        const std::size_t dash = std::min(name.find('-', pos), name.size());
        const std::string_view digits = name.substr(pos, dash - pos);
        if (digits.empty() || digits.size() > 18 ||
            digits.find_first_not_of("0123456789") != std::string_view::npos)
            return 0;
        if (numbers == 0) pid = std::stoll(std::string(digits));
        pos = dash + 1;
    }
    return numbers == 3 && pid > 0 && pid <= std::numeric_limits<pid_t>::max()
               ? static_cast<pid_t>(pid)
               : 0;
}

// The files that writes killed in folder left where no unnamed file could be
// had (or in the moment between naming and renaming): the user's, old, and of
// a process no longer running here. Anything in doubt stays.
void RemoveStaleTemporaryFiles(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    const time_t now = time(nullptr);
    while (const dirent* entry = readdir(dir)) {
        const pid_t writer = WriterOf(entry->d_name);
        struct stat info;
        if (writer == 0 || writer == getpid() ||
            fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || info.st_uid != geteuid() ||
            now - info.st_mtime < kStaleAfterSeconds)
            continue;
        if (kill(writer, 0) != 0 && errno == ESRCH) unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}

// The new file beside the target. It starts unnamed where it can, so that a
// write killed midway leaves nothing; it gets a hidden name beside the target
// only when complete, since a link cannot replace a file, and that name is
// renamed over the target. Removed again unless it was renamed.
class TemporaryFile {
public:
    TemporaryFile(const std::string& folder, const std::string& shownPath, mode_t keepMode,
                  bool keep)
        : folder_(folder), shownPath_(shownPath) {
        fd_ = OpenUnnamed(folder);
        if (fd_ < 0) OpenNamed();
        if (keep && fchmod(fd_, keepMode & 07777) != 0) {
            const int error = errno;
            Discard();  // a throwing constructor leaves no destructor to run
            Fail(shownPath_, SystemErrorText(error));
        }
    }
    ~TemporaryFile() { Discard(); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void Put(const void* data, std::size_t size) {
        // A long render ends here when a signal asks the program to end.
        EndIfTerminationPending();
        const char* bytes = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = write(fd_, bytes, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) Fail(shownPath_, SystemErrorText(n < 0 ? errno : EIO));
            bytes += n;
            size -= static_cast<std::size_t>(n);
        }
    }
    int Descriptor() const { return fd_; }
    void RenameOver(const std::string& target) {
        if (fsync(fd_) != 0) Fail(shownPath_, SystemErrorText(errno));
        if (!named_) LinkToName();
        const int fd = fd_;
        fd_ = -1;
        if (close(fd) != 0) Fail(shownPath_, SystemErrorText(errno));
        if (rename(name_.c_str(), target.c_str()) != 0) Fail(shownPath_, SystemErrorText(errno));
        renamed_ = true;
    }

private:
    // A hidden name in the folder that no file of this or another process has.
    std::string NextName() const {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        return folder_ + "/" + std::string(kTemporaryPrefix) + std::to_string(getpid()) + "-" +
               std::to_string(static_cast<unsigned long long>(stamp) % 1000000007ULL) + "-" +
               std::to_string(counter++) + std::string(kTemporarySuffix);
    }
    // Gives the file a fresh name with make (open or link); make sets errno.
    template <class Make>
    void TakeName(Make make, bool creating) {
        int error = EEXIST;
        for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
            name_ = NextName();
            // Known before it exists, so that a signal's ending finds it.
            RegisterUnfinishedFile(name_);
            if (make()) {
                named_ = true;
                return;
            }
            error = errno;
            ForgetUnfinishedFile(name_);
        }
        Fail(shownPath_, creating ? CreateFailure(error, folder_) : SystemErrorText(error));
    }
    void OpenNamed() {
        TakeName(
            [this] {
                fd_ = open(name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
                return fd_ >= 0;
            },
            true);
    }
    void LinkToName() {
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        TakeName(
            [&] {
                return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name_.c_str(), AT_SYMLINK_FOLLOW) ==
                       0;
            },
            false);
    }
    void Discard() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
        if (named_ && !renamed_) unlink(name_.c_str());
        if (named_) ForgetUnfinishedFile(name_);
        named_ = false;
    }

    TidyingScope tidying_;  // first made, last gone: the file is always covered
    std::string folder_;
    std::string shownPath_;
    std::string name_;
    int fd_ = -1;
    bool named_ = false;  // name_ is the file's, created or linked by this object
    bool renamed_ = false;
};

void ReplaceAtomically(const std::string& path,
                       const std::function<void(TemporaryFile& file)>& produce) {
    if (path.empty()) Fail(path, "kein Dateiname");
    const std::string target = FollowLinks(path);
    struct stat info;
    const bool exists = stat(target.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) Fail(path, SystemErrorText(errno));
    if (exists && S_ISDIR(info.st_mode)) Fail(path, SystemErrorText(EISDIR));
    if (exists && !S_ISREG(info.st_mode))
        Fail(path, "das ist keine gewöhnliche Datei (ein Gerät, eine Pipe oder ein Socket)");
    // A file that may not be written is not replaced behind its owner's back.
    if (exists && access(target.c_str(), W_OK) != 0) Fail(path, SystemErrorText(errno));

    const std::string folder = FolderOf(target);
    RemoveStaleTemporaryFiles(folder);
    TemporaryFile file(folder, path, exists ? info.st_mode : 0, exists);
    produce(file);
    file.RenameOver(target);
    // The new name is on the disk only when the folder is; a failure here
    // leaves the complete file in place, so it is not reported.
    if (const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        fsync(dir);
        close(dir);
    }
}

}  // namespace

void WriteFileAtomically(const std::string& path,
                         const std::function<void(const FileChunkWriter& put)>& produce) {
    ReplaceAtomically(path, [&produce](TemporaryFile& file) {
        produce([&file](const void* data, std::size_t size) { file.Put(data, size); });
    });
}

void WriteFileAtomicallyThrough(const std::string& path,
                                const std::function<void(int fd)>& produce) {
    ReplaceAtomically(path, [&produce](TemporaryFile& file) { produce(file.Descriptor()); });
}

void WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    WriteFileAtomically(path,
                        [&bytes](const FileChunkWriter& put) { put(bytes.data(), bytes.size()); });
}

EFileWriteError FileWriteError(const std::string& path, const std::string& cause) {
    return EFileWriteError("Die Datei \"" + QuotedText(path, kPathCharsMax) +
                           "\" kann nicht geschrieben werden: " + cause);
}

void UseUnnamedTemporaryFiles(bool use) { unnamedAllowed = use; }
