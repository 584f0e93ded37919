#include "midi/synth_offline_add.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace offline {
namespace {

// The adds of the mix, on eight frames at a time (the compiler's vectors,
// one AVX2 register where the processor has it, else two SSE ones); four
// sounds at once, so that the window is read and written a quarter as often.
// A step times its power-of-two worth is exact, so the sums round as they
// would on the samples themselves; with the same operations in the same
// order (and no fused multiply-add) every variant gives the same floats.
using Floats = float __attribute__((vector_size(32)));
using Bits = int32_t __attribute__((vector_size(32)));
// Unaligned, and allowed to stand for the floats and steps they are read from.
typedef float Frames __attribute__((vector_size(32), aligned(4), may_alias));
typedef int16_t Steps __attribute__((vector_size(16), aligned(2), may_alias));
constexpr int64_t kLanes = 8;
#define SONAVIX_VARIANTS __attribute__((target_clones("avx2", "default")))
// Macros, not functions: a function passing these vectors would have an ABI
// that differs with the processor variant.
#define SONAVIX_FRAMES(p) (*reinterpret_cast<Frames*>(p))
#define SONAVIX_READ(p) (*reinterpret_cast<const Frames*>(p))
// Through 32-bit integers: they become floats in one step of all eight
// lanes, where the direct conversion makes each half apart.
#define SONAVIX_STEPS(p)                                                                       \
    __builtin_convertvector(__builtin_convertvector(*reinterpret_cast<const Steps*>(p), Bits), \
                            Floats)

using Gains = std::array<float, 4>;

SONAVIX_VARIANTS void Add1(float* __restrict to, const int16_t* __restrict a, float g,
                           int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) SONAVIX_FRAMES(to + i) += g * SONAVIX_STEPS(a + i);
    for (; i < count; ++i) to[i] += g * float(a[i]);
}

SONAVIX_VARIANTS void Add4(float* __restrict to, const int16_t* __restrict a,
                           const int16_t* __restrict b, const int16_t* __restrict c,
                           const int16_t* __restrict d, const Gains& g, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes)
        SONAVIX_FRAMES(to + i) += ((g[0] * SONAVIX_STEPS(a + i) + g[1] * SONAVIX_STEPS(b + i)) +
                                   (g[2] * SONAVIX_STEPS(c + i) + g[3] * SONAVIX_STEPS(d + i)));
    for (; i < count; ++i)
        to[i] +=
            (g[0] * float(a[i]) + g[1] * float(b[i])) + (g[2] * float(c[i]) + g[3] * float(d[i]));
}

// A panned sound adds its one channel to both, each at its worth.
SONAVIX_VARIANTS void AddPanned1(float* __restrict left, float* __restrict right,
                                 const int16_t* __restrict a, float gl, float gr, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        const Floats x = SONAVIX_STEPS(a + i);
        SONAVIX_FRAMES(left + i) += gl * x;
        SONAVIX_FRAMES(right + i) += gr * x;
    }
    for (; i < count; ++i) {
        left[i] += gl * float(a[i]);
        right[i] += gr * float(a[i]);
    }
}

SONAVIX_VARIANTS void AddPanned4(float* __restrict left, float* __restrict right,
                                 const int16_t* __restrict a, const int16_t* __restrict b,
                                 const int16_t* __restrict c, const int16_t* __restrict d,
                                 const Gains& l, const Gains& r, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        const Floats xa = SONAVIX_STEPS(a + i), xb = SONAVIX_STEPS(b + i),
                     xc = SONAVIX_STEPS(c + i), xd = SONAVIX_STEPS(d + i);
        SONAVIX_FRAMES(left + i) += ((l[0] * xa + l[1] * xb) + (l[2] * xc + l[3] * xd));
        SONAVIX_FRAMES(right + i) += ((r[0] * xa + r[1] * xb) + (r[2] * xc + r[3] * xd));
    }
    for (; i < count; ++i) {
        const float xa = a[i], xb = b[i], xc = c[i], xd = d[i];
        left[i] += (l[0] * xa + l[1] * xb) + (l[2] * xc + l[3] * xd);
        right[i] += (r[0] * xa + r[1] * xb) + (r[2] * xc + r[3] * xd);
    }
}

typedef int16_t StepsOut __attribute__((vector_size(16), aligned(2), may_alias));
constexpr float kRoundShift = 12582912.0f;  // 1.5 * 2^23: adding it leaves no fraction

SONAVIX_VARIANTS float PeakOf(const float* x, int64_t count) {
    Floats most{};
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        const Floats a =
            reinterpret_cast<Floats>(reinterpret_cast<Bits>(SONAVIX_READ(x + i)) & 0x7FFFFFFF);
        most = a > most ? a : most;  // false for NaN: passed over
    }
    float peak = 0.0f;
    for (int64_t lane = 0; lane < kLanes; ++lane) peak = std::max(peak, most[lane]);
    for (; i < count; ++i)
        if (std::fabs(x[i]) > peak) peak = std::fabs(x[i]);
    return peak;
}

SONAVIX_VARIANTS bool ScalesAll(const float* left, const float* right, float gain, float error,
                                int64_t count) {
    int64_t i = 0;
    // In runs, so that a stereo note stops the test early.
    constexpr int64_t kRun = 32 * kLanes;
    for (; i + kRun <= count; i += kRun) {
        Bits within = ~Bits{};
        for (int64_t j = i; j < i + kRun; j += kLanes) {
            const Floats d = SONAVIX_READ(right + j) - gain * SONAVIX_READ(left + j);
            const Floats a = reinterpret_cast<Floats>(reinterpret_cast<Bits>(d) & 0x7FFFFFFF);
            within &= a <= error;  // false for NaN
        }
        for (int64_t lane = 0; lane < kLanes; ++lane)
            if (within[lane] == 0) return false;
    }
    for (; i < count; ++i)
        if (!(std::fabs(right[i] - gain * left[i]) <= error)) return false;
    return true;
}

SONAVIX_VARIANTS void ToStepsOf(const float* x, float scale, int16_t* to, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        const Floats rounded = (SONAVIX_READ(x + i) * scale + kRoundShift) - kRoundShift;
        *reinterpret_cast<StepsOut*>(to + i) = __builtin_convertvector(rounded, StepsOut);
    }
    for (; i < count; ++i) to[i] = static_cast<int16_t>((x[i] * scale + kRoundShift) - kRoundShift);
}

#undef SONAVIX_VARIANTS
#undef SONAVIX_FRAMES
#undef SONAVIX_READ
#undef SONAVIX_STEPS

}  // namespace

float Peak(const float* x, int64_t count) { return PeakOf(x, count); }

bool Scales(const float* left, const float* right, float gain, float error, int64_t count) {
    return ScalesAll(left, right, gain, error, count);
}

void ToSteps(const float* x, float scale, int16_t* to, int64_t count) {
    ToStepsOf(x, scale, to, count);
}

void Batch::Flush() {
    const auto& l = fromLeft_;
    const auto& r = fromRight_;
    if (size_ == kSize && panned_) {
        AddPanned4(left_, right_, l[0], l[1], l[2], l[3], leftGain_, rightGain_, count_);
    } else if (size_ == kSize) {
        Add4(left_, l[0], l[1], l[2], l[3], leftGain_, count_);
        Add4(right_, r[0], r[1], r[2], r[3], rightGain_, count_);
    } else {
        for (int j = 0; j < size_; ++j) {
            if (panned_) {
                AddPanned1(left_, right_, l[j], leftGain_[j], rightGain_[j], count_);
            } else {
                Add1(left_, l[j], leftGain_[j], count_);
                Add1(right_, r[j], rightGain_[j], count_);
            }
        }
    }
    size_ = 0;
}

}  // namespace offline
