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
