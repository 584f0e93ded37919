#include "midi/synth_offline_add.h"

#include <cstring>

namespace offline {
namespace {

// The adds of the mix, on four frames at a time (the compiler's vectors);
// four sounds at once, so that the window is read and written a quarter as
// often.
using Floats = float __attribute__((vector_size(16)));
constexpr int64_t kLanes = 4;
Floats Load(const float* p) {
    Floats v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
void Store(float* p, Floats v) { std::memcpy(p, &v, sizeof v); }

void Add1(float* __restrict to, const float* __restrict a, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) Store(to + i, Load(to + i) + Load(a + i));
    for (; i < count; ++i) to[i] += a[i];
}

void Add4(float* __restrict to, const float* __restrict a, const float* __restrict b,
          const float* __restrict c, const float* __restrict d, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes)
        Store(to + i, Load(to + i) + ((Load(a + i) + Load(b + i)) + (Load(c + i) + Load(d + i))));
    for (; i < count; ++i) to[i] += (a[i] + b[i]) + (c[i] + d[i]);
}

// A panned sound adds to the right channel its left one, scaled.
void AddPanned1(float* __restrict left, float* __restrict right, const float* __restrict a,
                float gain, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        const Floats x = Load(a + i);
        Store(left + i, Load(left + i) + x);
        Store(right + i, Load(right + i) + gain * x);
    }
    for (; i < count; ++i) {
        left[i] += a[i];
        right[i] += gain * a[i];
    }
}

void AddPanned4(float* __restrict left, float* __restrict right, const float* __restrict a,
                const float* __restrict b, const float* __restrict c, const float* __restrict d,
                const std::array<float, 4>& g, int64_t count) {
    int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        const Floats xa = Load(a + i), xb = Load(b + i), xc = Load(c + i), xd = Load(d + i);
        Store(left + i, Load(left + i) + ((xa + xb) + (xc + xd)));
        Store(right + i, Load(right + i) + ((g[0] * xa + g[1] * xb) + (g[2] * xc + g[3] * xd)));
    }
    for (; i < count; ++i) {
        left[i] += (a[i] + b[i]) + (c[i] + d[i]);
        right[i] += (g[0] * a[i] + g[1] * b[i]) + (g[2] * c[i] + g[3] * d[i]);
    }
}

}  // namespace

void Batch::Flush() {
    const auto& l = fromLeft_;
    const auto& r = fromRight_;
    if (size_ == kSize && panned_) {
        AddPanned4(left_, right_, l[0], l[1], l[2], l[3], gain_, count_);
    } else if (size_ == kSize) {
        Add4(left_, l[0], l[1], l[2], l[3], count_);
        Add4(right_, r[0], r[1], r[2], r[3], count_);
    } else {
        for (int j = 0; j < size_; ++j) {
            if (panned_) {
                AddPanned1(left_, right_, l[j], gain_[j], count_);
            } else {
                Add1(left_, l[j], count_);
                Add1(right_, r[j], count_);
            }
        }
    }
    size_ = 0;
}

}  // namespace offline
