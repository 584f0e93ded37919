#include "cli/output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "common/convert.h"
#include "common/system_error.h"

FdStreamBuf::int_type FdStreamBuf::overflow(int_type c) {
    if (!Drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int FdStreamBuf::sync() { return Drain() ? 0 : -1; }

bool FdStreamBuf::Drain() {
    for (const char* at = pbase(); at < pptr() && !error_;) {
        const ssize_t n = write(fd_, at, static_cast<size_t>(pptr() - at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) error_ = n < 0 ? errno : EIO;
        if (n > 0) at += n;
    }
    setp(buffer_, buffer_ + sizeof buffer_);
    return !error_;
}

void OccupyClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // Opened for reading only: a write to it fails as on the closed descriptor.
        const int placeholder = open("/dev/null", O_RDONLY);
        if (placeholder >= 0 && placeholder != fd) {
            dup2(placeholder, fd);
            close(placeholder);
        }
    }
}

bool OutputLost(std::ostream& out, std::ostream& err) {
    out.flush();
    if (out) return false;
    const auto* buf = dynamic_cast<const FdStreamBuf*>(out.rdbuf());
    const int error = buf && buf->Error() ? buf->Error() : EIO;
    const std::string cause =
        error == EBADF ? "sie ist geschlossen oder nur zum Lesen geöffnet" : SystemErrorText(error);
    err << ErrorBoxText("Die Standardausgabe lässt sich nicht schreiben: " + cause) << '\n'
        << std::flush;
    return true;
}
