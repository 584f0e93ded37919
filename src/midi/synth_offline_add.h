#pragma once
// The adds of the offline mix: a kept note's samples into a stretch of the
// output. Private to the midi library.
#include <array>
#include <cstdint>

namespace offline {

// Sounds that cover the same frames, added four at a time.
class Batch {
public:
    Batch(float* left, float* right, int64_t count, bool panned)
        : left_(left), right_(right), count_(count), panned_(panned) {}

    // right is null for a panned sound.
    void Put(const float* left, const float* right, float gain) {
        fromLeft_[size_] = left;
        fromRight_[size_] = right;
        gain_[size_++] = gain;
        if (size_ == kSize) Flush();
    }
    void Flush();

private:
    static constexpr int kSize = 4;
    float *left_, *right_;
    int64_t count_;
    bool panned_;
    std::array<const float*, kSize> fromLeft_{}, fromRight_{};
    std::array<float, kSize> gain_{};
    int size_ = 0;
};

}  // namespace offline
