// Reading a data file from the disk; data_file.cpp reads its text.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/quote.h"
#include "common/system_error.h"
#include "sources/data_file.h"

namespace {
// Enough of a long path to name the file.
constexpr std::size_t kPathBytesMax = 160;
}  // namespace

std::string DataFileMessage(const std::string& path, const std::string& cause) {
    return "Die Datei \"" + QuotedTail(path, kPathBytesMax) +
           "\" lässt sich nicht als Liste lesen: " + cause;
}

std::string ReadDataFile(const std::string& path) {
    const auto fail = [&](const std::string& cause) {
        throw EDataFileError(DataFileMessage(path, cause));
    };
    // Not blocking: a FIFO at the path must not hang the program.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) fail(errno == ENOENT ? "die Datei existiert nicht" : SystemErrorText(errno));
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat info;
    if (fstat(fd, &info) != 0) fail(SystemErrorText(errno));
    if (S_ISDIR(info.st_mode)) fail("das ist ein Ordner");
    if (!S_ISREG(info.st_mode)) fail("das ist keine gewöhnliche Datei");
    const std::string tooBig =
        "sie ist größer als " + std::to_string(kDataFileBytesMax >> 20) + " MiB";
    if (static_cast<uintmax_t>(info.st_size) > kDataFileBytesMax) fail(tooBig);
    // One byte past the cap, in case the file grew since fstat.
    std::string text(static_cast<std::size_t>(info.st_size) + 1, '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == text.size()) {
            if (text.size() > kDataFileBytesMax) fail(tooBig);
            text.resize(std::min(text.size() * 2, kDataFileBytesMax + 1));
        }
        const ssize_t n = read(fd, text.data() + used, text.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(SystemErrorText(errno));
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    if (used > kDataFileBytesMax) fail(tooBig);
    text.resize(used);
    try {
        text.erase(0, text.size() - CheckedDataText(text).size());  // the byte order mark
    } catch (const EDataFileError& e) {
        fail(e.Message());
    }
    return text;
}
