#include "playback/voice_fields.h"

namespace {

void SetDefault(VoiceMix& mix, const VoiceField& field) {
    std::visit(
        [&](auto member) {
            using T = std::remove_reference_t<decltype(mix.*member)>;
            if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, std::optional<int>>)
                mix.*member = T{};
            else
                mix.*member = static_cast<T>(field.Default);
        },
        field.Field);
}

// What a fresh voice holds is one that a setup file and the window accept.
constexpr bool DefaultsWithinRanges() {
    for (const VoiceField& field : kVoiceFields) {
        const bool ranged = std::visit(
            [](auto member) {
                using T = std::remove_reference_t<decltype(VoiceMix{}.*member)>;
                return !std::is_same_v<T, std::string> && !std::is_same_v<T, std::optional<int>>;
            },
            field.Field);
        if (ranged && (field.Default < field.Min || field.Default > field.Max)) return false;
    }
    return true;
}
static_assert(DefaultsWithinRanges());

}  // namespace

VoiceMix::VoiceMix() {
    for (const VoiceField& field : kVoiceFields) SetDefault(*this, field);
}
