#pragma once
// How a voice sounds in an ensemble, and one row for each of those fields:
// its key in a setup file, its range, its start-up value and its caption in
// the voices window. The setup file, the ensemble check and the voices
// window take their limits from the rows, so a new field is a member here
// and one row in kVoiceFields.
#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

#include "playback/expression.h"
#include "playback/maps.h"

inline constexpr int kDefaultVoiceVelocity = 110;
inline constexpr double kMaxVoiceOffsetWholeNotes = 10000;
inline constexpr int kMaxTranspose = 127;

struct VoiceMix {
    VoiceMix();  // every field at its row's default
    std::string Name;
    std::optional<int> Tempo;  // its own tempo; without one the file's
    int Channel{};
    double OffsetWholeNotes{};  // its start after the ensemble's start
    int Transpose{};            // semitones
    int Velocity{};
    int Pan{};  // offsets the voice's pan map; 0 with no map sends no pan at all
    bool Mute{};
    bool Solo{};

    bool operator==(const VoiceMix&) const = default;
};

struct VoiceField {
    using Member = std::variant<std::string VoiceMix::*, std::optional<int> VoiceMix::*,
                                int VoiceMix::*, double VoiceMix::*, bool VoiceMix::*>;
    const char* Key;  // in a voice of a setup file
    Member Field;
    // A number's range and start-up value (false and true are 0 and 1); a
    // text starts empty, and an optional number starts without a value.
    int Min = 0;
    int Max = 0;
    int Default = 0;
    const char* Caption;         // the voices window's column
    const char* Unit = nullptr;  // named after the range in messages and after the caption
};

// In the order a setup file writes them.
inline constexpr std::array kVoiceFields{
    VoiceField{"name", &VoiceMix::Name, 0, 0, 0, "Name"},
    VoiceField{"tempo", &VoiceMix::Tempo, kTempoMin, kTempoMax, 0, "Tempo"},
    VoiceField{"channel", &VoiceMix::Channel, 1, 16, 1, "Kanal"},
    VoiceField{"offset", &VoiceMix::OffsetWholeNotes, 0,
               static_cast<int>(kMaxVoiceOffsetWholeNotes), 0, "Einsatz", "ganze Noten"},
    VoiceField{"transpose", &VoiceMix::Transpose, -kMaxTranspose, kMaxTranspose, 0,
               "Transposition"},
    VoiceField{"velocity", &VoiceMix::Velocity, 1, 127, kDefaultVoiceVelocity, "Anschlag"},
    VoiceField{"pan", &VoiceMix::Pan, kPanMin, kPanMax, 0, "Panorama"},
    VoiceField{"mute", &VoiceMix::Mute, 0, 1, 0, "Stumm"},
    VoiceField{"solo", &VoiceMix::Solo, 0, 1, 0, "Solo"},
};

// The row of a member: VoiceFieldOf(&VoiceMix::Channel).Max.
template <class T>
constexpr const VoiceField& VoiceFieldOf(T VoiceMix::*member) {
    for (const VoiceField& field : kVoiceFields) {
        // No get_if: its null check on a row's address is no constant
        // expression under the sanitizers.
        if (std::holds_alternative<T VoiceMix::*>(field.Field) &&
            std::get<T VoiceMix::*>(field.Field) == member)
            return field;
    }
    throw std::logic_error("a member of VoiceMix without a row in kVoiceFields");
}
