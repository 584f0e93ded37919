#pragma once
// ALSA, JACK and RtMidi itself complain on stderr when a sound system is
// missing; that is an ordinary situation for us, reported by an empty list.
// While one of these lives, stderr goes to /dev/null.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

class QuietStderr {
public:
    QuietStderr() {
        std::cerr.flush();
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~QuietStderr() {
        std::cerr.flush();
        std::fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
            close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};
