#include "common/file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

#include "common/quote.h"
#include "common/system_error.h"
#include "common/termination.h"

namespace {

constexpr std::size_t kPathCharsMax = 1024;  // a path is shown whole, but never without end
constexpr int kMaxLinkHops = 40;             // as the kernel follows them

[[noreturn]] void Fail(const std::string& path, const std::string& cause) {
    throw EFileWriteError("Die Datei \"" + QuotedText(path, kPathCharsMax) +
                          "\" kann nicht geschrieben werden: " + cause);
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

// The new file beside the target, removed again unless it was renamed.
class TemporaryFile {
public:
    TemporaryFile(const std::string& folder, const std::string& shownPath, mode_t keepMode,
                  bool keep)
        : shownPath_(shownPath) {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        for (int attempt = 0; attempt < 100; ++attempt) {
            name_ = folder + "/.sonavix-" + std::to_string(getpid()) + "-" +
                    std::to_string(static_cast<unsigned long long>(stamp) % 1000000007ULL) + "-" +
                    std::to_string(counter++) + ".tmp";
            // Known before it exists, so that a signal's ending finds it.
            RegisterUnfinishedFile(name_);
            // 0666 less the umask, as any new file; a replaced file's mode follows.
            fd_ = open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0) break;
            const int error = errno;
            ForgetUnfinishedFile(name_);
            errno = error;
            if (errno != EEXIST) break;
        }
        if (fd_ < 0) Fail(shownPath_, CreateFailure(errno, folder));
        opened_ = true;
        if (keep && fchmod(fd_, keepMode & 07777) != 0) {
            const int error = errno;
            this->~TemporaryFile();  // a throwing constructor leaves no destructor to run
            Fail(shownPath_, SystemErrorText(error));
        }
    }
    ~TemporaryFile() {
        if (fd_ >= 0) close(fd_);
        if (!renamed_ && opened_) unlink(name_.c_str());
        if (opened_) ForgetUnfinishedFile(name_);
    }
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
    void RenameOver(const std::string& target) {
        if (fsync(fd_) != 0) Fail(shownPath_, SystemErrorText(errno));
        const int fd = fd_;
        fd_ = -1;
        if (close(fd) != 0) Fail(shownPath_, SystemErrorText(errno));
        if (rename(name_.c_str(), target.c_str()) != 0) Fail(shownPath_, SystemErrorText(errno));
        renamed_ = true;
    }

private:
    TidyingScope tidying_;  // first made, last gone: the file is always covered
    std::string shownPath_;
    std::string name_;
    int fd_ = -1;
    bool renamed_ = false;
    bool opened_ = false;
};

}  // namespace

void WriteFileAtomically(const std::string& path,
                         const std::function<void(const FileChunkWriter& put)>& produce) {
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
    TemporaryFile file(folder, path, exists ? info.st_mode : 0, exists);
    produce([&file](const void* data, std::size_t size) { file.Put(data, size); });
    file.RenameOver(target);
    // The new name is on the disk only when the folder is; a failure here
    // leaves the complete file in place, so it is not reported.
    if (const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        fsync(dir);
        close(dir);
    }
}

void WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    WriteFileAtomically(path,
                        [&bytes](const FileChunkWriter& put) { put(bytes.data(), bytes.size()); });
}
