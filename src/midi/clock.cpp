#include "midi/clock.h"

#include <pthread.h>
#include <sched.h>

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

namespace {
// Sound servers run their threads at 40 to 95; above every ordinary thread is enough.
constexpr int kRealTimePriority = 5;
}  // namespace

RealTimeScope::RealTimeScope() {
    sched_param old{};
    if (pthread_getschedparam(pthread_self(), &policy_, &old) != 0) return;
    priority_ = old.sched_priority;
    if (policy_ == SCHED_FIFO || policy_ == SCHED_RR) return;  // already real-time
    const sched_param raised{kRealTimePriority};
    granted_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &raised) == 0;
}

RealTimeScope::~RealTimeScope() {
    if (!granted_) return;
    const sched_param old{priority_};
    pthread_setschedparam(pthread_self(), policy_, &old);
}
