#include "midi/synth_offline_add.h"

#include <cstring>

namespace offline {
namespace {

// The adds of the mix, on four frames at a time (the compiler's vectors);
// four sounds at once, so that the window is read and written a quarter as
// often. A step times its power-of-two worth is exact, so the sums round as
// they would on the samples themselves.
using Floats = float __attribute__((vector_size(16)));
using Steps = int16_t __attribute__((vector_size(8)));
constexpr int64_t kLanes = 4;
Floats Load(const float* p) {
    Floats v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
Floats Load(const int16_t* p) {
    Steps v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_convertvector(v, Floats);
}
void Store(float* p, Floats v) { std::memcpy(p, &v, sizeof v); }

using Gains = std::array<float, 4>;

void Add1(float* __restrict to, const int16_t* __restrict a, float g, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) Store(to + i, Load(to + i) + g * Load(a + i));
    for (; i < count; ++i) to[i] += g * float(a[i]);
}

void Add4(float* __restrict to, const int16_t* __restrict a, const int16_t* __restrict b,
          const int16_t* __restrict c, const int16_t* __restrict d, const Gains& g, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes)
        Store(to + i, Load(to + i) + ((g[0] * Load(a + i) + g[1] * Load(b + i)) +
                                      (g[2] * Load(c + i) + g[3] * Load(d + i))));
    for (; i < count; ++i)
        to[i] +=
            (g[0] * float(a[i]) + g[1] * float(b[i])) + (g[2] * float(c[i]) + g[3] * float(d[i]));
}

// A panned sound adds its one channel to both, each at its worth.
void AddPanned1(float* __restrict left, float* __restrict right, const int16_t* __restrict a,
                float gl, float gr, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        const Floats x = Load(a + i);
        Store(left + i, Load(left + i) + gl * x);
        Store(right + i, Load(right + i) + gr * x);
    }
    for (; i < count; ++i) {
        left[i] += gl * float(a[i]);
        right[i] += gr * float(a[i]);
    }
}

void AddPanned4(float* __restrict left, float* __restrict right, const int16_t* __restrict a,
                const int16_t* __restrict b, const int16_t* __restrict c,
                const int16_t* __restrict d, const Gains& l, const Gains& r, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        const Floats xa = Load(a + i), xb = Load(b + i), xc = Load(c + i), xd = Load(d + i);
        Store(left + i, Load(left + i) + ((l[0] * xa + l[1] * xb) + (l[2] * xc + l[3] * xd)));
        Store(right + i, Load(right + i) + ((r[0] * xa + r[1] * xb) + (r[2] * xc + r[3] * xd)));
    }
    for (; i < count; ++i) {
        const float xa = a[i], xb = b[i], xc = c[i], xd = d[i];
        left[i] += (l[0] * xa + l[1] * xb) + (l[2] * xc + l[3] * xd);
        right[i] += (r[0] * xa + r[1] * xb) + (r[2] * xc + r[3] * xd);
    }
}

}  // namespace

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
