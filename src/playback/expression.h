#pragma once
// How loud and where a note sounds, besides its key and length: the velocity
// map (dynamics) and the pan map (panorama). Each takes a member of its
// sequence, as the tempo map does, and gives the row of the member's
// remainder modulo the map's length. Without a map a note carries no such
// value and sounds as it always did: the voice's velocity, no controller 10.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/maptable.h"

enum class Expression { Dynamics, Panorama };

inline constexpr int kVelocityMin = 1;
inline constexpr int kVelocityMax = 127;
inline constexpr int kPanMin = -64;  // hard left
inline constexpr int kPanMax = 63;   // hard right
// The maps as a voice starts: the voice's velocity, the centre.
inline constexpr const char* kStartVelocityMapValue = "110";
inline constexpr const char* kStartPanMapValue = "0";

struct ExpressionInfo {
    int Min;
    int Max;
    const char* MapName;       // "Anschlagtabelle", in messages
    const char* SequenceName;  // "Anschlagfolge"
};

constexpr ExpressionInfo InfoOf(Expression kind) {
    return kind == Expression::Dynamics
               ? ExpressionInfo{kVelocityMin, kVelocityMax, "Anschlagtabelle", "Anschlagfolge"}
               : ExpressionInfo{kPanMin, kPanMax, "Panoramatabelle", "Panoramafolge"};
}

// The map's value for member (decimal digits, any length). Refuses an empty
// map, and a row that is no integer or lies outside the kind's range,
// naming the map and the row (EInvalidInput).
int ExpressionLookup(Expression kind, const ValueListTable& map, std::string_view member);

// A voice's pan offset added to a pan, the sum kept within kPanMin..kPanMax.
int OffsetPan(int pan, int offset);

// Controller 10's value for a pan: 0 hard left, 64 centre, 127 hard right.
constexpr uint8_t PanControllerValue(int pan) { return static_cast<uint8_t>(pan + 64); }

// The controller-10 rule on one channel: before a note with a pan, the
// controller goes out when it is the first pan or differs from the last sent.
class PanFollower {
public:
    // The value to send before a note of pan, or none.
    std::optional<uint8_t> Before(std::optional<int8_t> pan) {
        if (!pan || (last_ && *last_ == *pan)) return std::nullopt;
        last_ = *pan;
        return PanControllerValue(*pan);
    }

private:
    std::optional<int8_t> last_;
};
