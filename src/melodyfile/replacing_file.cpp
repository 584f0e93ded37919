#include "melodyfile/replacing_file.h"

#include <fcntl.h>
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
        case ENAMETOOLONG:
            return "der Dateiname ist zu lang";
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
    // A fresh name beside the target; the mode lets the umask decide, as for any new file.
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp_ = folder + "." + name + "." + std::to_string(getpid()) + "-" +
                std::to_string(attempt) + ".tmp";
        fd = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        const int error = errno;
        temp_.clear();
        Fail(error);
    }
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
