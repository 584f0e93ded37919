#pragma once
// The time signature a score's bars follow: "3/4", "6/8", ...
#include <optional>
#include <string>

struct TimeSignature {
    int Beats = 4;     // 1..kMaxMeterBeats
    int BeatType = 4;  // 2, 4, 8 or 16
    bool operator==(const TimeSignature&) const = default;
    // 6/8, 9/8, 12/8, ...: counted in dotted beats of three.
    bool Compound() const { return Beats % 3 == 0 && Beats > 3 && BeatType >= 8; }
};

inline constexpr int kMaxMeterBeats = 16;

// "3/4" (blanks around the numbers allowed); EInvalidInput for anything else.
TimeSignature ParseTimeSignature(const std::string& text);
std::string TimeSignatureText(const TimeSignature& meter);
// The same without a message; none for anything else.
std::optional<TimeSignature> ReadTimeSignature(const std::string& text);
