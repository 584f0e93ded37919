#pragma once
// How a key number becomes a MIDI note: key k sounds note k + 8 with velocity
// 110; keys <= 0, and keys whose note would pass 127, are rests.
#include <cstdint>

inline constexpr int kKeyNoteOffset = 8;
inline constexpr uint8_t kNoteVelocity = 110;
inline constexpr uint8_t kPanController = 10;  // MIDI controller 10, pan

constexpr bool KeySounds(int32_t keyNumber) {
    return keyNumber > 0 && int64_t{keyNumber} + kKeyNoteOffset <= 127;
}

// The note of a key that sounds.
constexpr uint8_t KeyNote(int32_t keyNumber) {
    return static_cast<uint8_t>(keyNumber + kKeyNoteOffset);
}

// The pitch class a key sounds, 0 = C to 11 = B, for keys off the keyboard too.
constexpr int KeyPitchClass(int32_t keyNumber) {
    return static_cast<int>(((int64_t{keyNumber} + kKeyNoteOffset) % 12 + 12) % 12);
}
