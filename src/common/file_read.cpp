#include "common/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <utility>

#include "common/system_error.h"

BoundedFile ReadBoundedFile(const std::string& path, std::size_t maxBytes) {
    using Fault = BoundedFile::Fault;
    const auto failed = [](Fault fault, std::string cause) {
        return BoundedFile{fault, std::move(cause), {}};
    };
    // Not blocking: a FIFO at the path must not hang the program.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return failed(Fault::Open,
                      errno == ENOENT ? "die Datei existiert nicht" : SystemErrorText(errno));
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat info;
    if (fstat(fd, &info) != 0) return failed(Fault::Open, SystemErrorText(errno));
    if (S_ISDIR(info.st_mode)) return failed(Fault::Open, "das ist ein Ordner");
    if (!S_ISREG(info.st_mode)) return failed(Fault::Open, "das ist keine gewöhnliche Datei");
    if (static_cast<uintmax_t>(info.st_size) > maxBytes) return failed(Fault::TooBig, {});
    // One byte past the cap, in case the file grew since fstat.
    std::string text(static_cast<std::size_t>(info.st_size) + 1, '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == text.size()) {
            if (text.size() > maxBytes) return failed(Fault::TooBig, {});
            text.resize(std::min(text.size() * 2, maxBytes + 1));
        }
        const ssize_t n = read(fd, text.data() + used, text.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            return failed(Fault::Read, SystemErrorText(errno));
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    if (used > maxBytes) return failed(Fault::TooBig, {});
    text.resize(used);
    return {Fault::None, {}, std::move(text)};
}
