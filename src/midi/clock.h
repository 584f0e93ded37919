#pragma once
// The wait behind every note. The program uses the monotonic system clock;
// tests use a virtual clock that jumps instead of sleeping.
#include <cstdint>

class IClock {
public:
    virtual ~IClock() = default;
    // Monotonic time in microseconds.
    virtual int64_t NowUs() = 0;
    // Blocks until NowUs() >= deadlineUs; returns at once for a past deadline.
    virtual void SleepUntilUs(int64_t deadlineUs) = 0;
};

// The steady clock of the system, with an absolute-deadline sleep.
IClock& SystemClock();

// While it exists, the calling thread runs at a low real-time priority (below
// a sound server's), where the system grants one (RLIMIT_RTPRIO, as the audio
// group usually has). On a busy machine an ordinary thread wakes milliseconds
// after its deadline while others hold the cores; a real-time one at once.
// Where none is granted, nothing changes.
class RealTimeScope {
public:
    RealTimeScope();
    ~RealTimeScope();
    RealTimeScope(const RealTimeScope&) = delete;
    RealTimeScope& operator=(const RealTimeScope&) = delete;
    bool Granted() const { return granted_; }

private:
    bool granted_ = false;
    int policy_ = 0;
    int priority_ = 0;
};

// A clock that only moves when somebody sleeps on it or advances it.
class VirtualClock : public IClock {
public:
    int64_t NowUs() override { return now_; }
    void SleepUntilUs(int64_t deadlineUs) override {
        if (deadlineUs > now_) now_ = deadlineUs;
    }
    void AdvanceUs(int64_t us) { now_ += us; }

private:
    int64_t now_ = 0;
};
