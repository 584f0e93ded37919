#pragma once
// The vector loops of the offline render: a kept note's samples added into
// a stretch of the output, and a rendered note made into steps. Private to
// the midi library.
#include <array>
#include <cstdint>

namespace offline {

// Sounds that cover the same frames, added four at a time.
class Batch {
public:
    Batch(float* left, float* right, int64_t count, bool panned)
        : left_(left), right_(right), count_(count), panned_(panned) {}

    // A sound's steps and what a step is worth on each channel; right is
    // null for a panned sound, whose right channel is its left one.
    void Put(const int16_t* left, const int16_t* right, float leftGain, float rightGain) {
        fromLeft_[size_] = left;
        fromRight_[size_] = right;
        leftGain_[size_] = leftGain;
        rightGain_[size_++] = rightGain;
        if (size_ == kSize) Flush();
    }
    void Flush();

private:
    static constexpr int kSize = 4;
    float *left_, *right_;
    int64_t count_;
    bool panned_;
    std::array<const int16_t*, kSize> fromLeft_{}, fromRight_{};
    std::array<float, kSize> leftGain_{}, rightGain_{};
    int size_ = 0;
};

// The largest |x[i]| (NaN is passed over).
float Peak(const float* x, int64_t count);

// Whether every |right[i] - gain * left[i]| is at most error.
bool Scales(const float* left, const float* right, float gain, float error, int64_t count);

// to[i] = x[i] * scale rounded to the nearest integer, halves to even
// (|x[i] * scale| < 32768).
void ToSteps(const float* x, float scale, int16_t* to, int64_t count);

}  // namespace offline
