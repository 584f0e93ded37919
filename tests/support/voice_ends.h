#pragma once
// A voice whose every ensemble field stands at one end of its row's range,
// for checking that a path keeps the whole range.
#include <string>
#include <type_traits>
#include <variant>

#include "setup/setup.h"

inline VoiceSetup VoiceAtRangeEnd(bool highest) {
    VoiceSetup voice;
    for (const VoiceField& field : kVoiceFields) {
        const int end = highest ? field.Max : field.Min;
        std::visit(
            [&](auto member) {
                auto& value = voice.*member;
                if constexpr (std::is_same_v<std::remove_reference_t<decltype(value)>, std::string>)
                    value = highest ? "Baß \"hoch\"" : "Bass";
                else
                    value = end;
            },
            field.Field);
    }
    return voice;
}
