#pragma once
// The pitch of recorded or rendered sound: the whole frequency with the most energy.
#include <cmath>
#include <cstdint>
#include <vector>

// Goertzel's power at every whole frequency in [lowHz, highHz] over samples
// [from, to) of 16-bit sound at sampleRate; returns the strongest frequency.
inline int DominantFrequency(const std::vector<int16_t>& s, int64_t from, int64_t to,
                             int sampleRate = 44100, int lowHz = 50, int highHz = 2000) {
    double best = -1;
    int bestHz = 0;
    for (int hz = lowHz; hz <= highHz; ++hz) {
        const double coefficient = 2 * std::cos(2 * M_PI * hz / sampleRate);
        double q1 = 0, q2 = 0;
        for (int64_t i = from; i < to; ++i) {
            const double q0 = coefficient * q1 - q2 + s[i];
            q2 = q1;
            q1 = q0;
        }
        const double power = q1 * q1 + q2 * q2 - coefficient * q1 * q2;
        if (power > best) best = power, bestHz = hz;
    }
    return bestHz;
}
