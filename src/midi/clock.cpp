#include "midi/clock.h"

#include <cerrno>
#include <ctime>

namespace {
class SteadyClock : public IClock {
public:
    int64_t NowUs() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return int64_t{ts.tv_sec} * 1000000 + ts.tv_nsec / 1000;
    }
    void SleepUntilUs(int64_t deadlineUs) override {
        // An absolute deadline keeps the rhythm free of accumulated wake-up lateness.
        timespec ts{};
        ts.tv_sec = deadlineUs / 1000000;
        ts.tv_nsec = (deadlineUs % 1000000) * 1000;
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
        }
    }
};
}  // namespace

IClock& SystemClock() {
    static SteadyClock clock;
    return clock;
}
