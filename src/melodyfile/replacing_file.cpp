#include "melodyfile/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {
std::string Reason(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return "der Ordner existiert nicht";
        case EACCES:
        case EPERM:
            return "Zugriff verweigert";
        case EISDIR:
            return "das ist ein Ordner";
        case ENOSPC:
        case EDQUOT:
            return "kein Platz mehr auf dem Datenträger";
        case EROFS:
            return "das Dateisystem ist schreibgeschützt";
        default:
            return "Systemfehler " + std::to_string(error);
    }
}
}  // namespace

TReplacingFile::TReplacingFile(std::string path) : path_(std::move(path)) {
    // The new file lives in the target's folder, so that the rename stays on one file system.
    const size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    if (name.empty()) Fail(EISDIR);
    std::string pattern = folder + "." + name + ".XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) Fail(errno);
    temp_ = pattern;
    // mkstemp creates 0600; give the file the permissions a new file normally gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file_ = fdopen(fd, "wb");
    if (!file_) {
        const int error = errno;
        close(fd);
        std::remove(temp_.c_str());  // the destructor does not run for a failed constructor
        Fail(error);
    }
}

TReplacingFile::~TReplacingFile() {
    if (file_) std::fclose(file_);
    if (!temp_.empty()) std::remove(temp_.c_str());
}

void TReplacingFile::Write(const void* data, size_t size) {
    if (std::fwrite(data, 1, size, file_) != size) Fail(errno ? errno : EIO);
}

void TReplacingFile::Commit() {
    int error = 0;
    if (std::fflush(file_) != 0 || fsync(fileno(file_)) != 0) error = errno;
    if (std::fclose(file_) != 0 && !error) error = errno;
    file_ = nullptr;
    if (!error && std::rename(temp_.c_str(), path_.c_str()) != 0) error = errno;
    if (error) Fail(error);
    temp_.clear();
}

void TReplacingFile::Fail(int error) {
    throw EFileWriteError("Die Datei \"" + path_ +
                          "\" kann nicht geschrieben werden: " + Reason(error));
}
