#pragma once
// The values the window starts with. The command line and the test and
// benchmark hosts start from the same ones, so a melody sounds alike everywhere.
#include <cstdint>
#include <optional>
#include <string>

#include "common/maptable.h"
#include "playback/playback_host.h"

inline constexpr int kStartScaleIndex = 7;  // "Chromatisch (12-Ton)"
inline constexpr int kStartRootIndex = 40;  // c'
inline constexpr int kStartTempo = 90;
inline constexpr const char* kStartTempoMapValue = "2";
inline constexpr int kStartInstrument = 0;
inline constexpr const char* kDefaultExplicitList =
    "234, 382, 2349, 1, -34, 234, 49, 23, 91, 4, 34";
inline constexpr const char* kStartFormula = "0";
inline constexpr const char* kStartCount = "30";

// The note map as the window starts: the chromatic preset on c'.
ValueListTable StartNoteMap();
// The tempo map as the window starts: one row "2".
ValueListTable StartTempoMap();

// A host with the start-up maps, tempo and instrument whose display does
// nothing: a base for hosts without a window, which keep only what differs.
class QuietPlaybackHost : public IPlaybackHost {
public:
    ValueListTable NoteMap = StartNoteMap();
    ValueListTable TempoMap = StartTempoMap();
    int Tempo = kStartTempo;
    int Program = kStartInstrument;
    // The expression maps that are on (none: as without them), and the voice's pan.
    std::optional<ValueListTable> VelocityMap;
    std::optional<ValueListTable> PanMap;
    int PanOffset = 0;

    int InstrumentProgram() override { return Program; }
    int32_t GetKeyOrTempo(LookupKind kind, std::string_view member) override;
    bool KeyboardWanted() override { return false; }
    void ShowKeyboard() override {}
    void MarkKey(int32_t) override {}
    void UnmarkKey(int32_t) override {}
    void SetSourceControlsEnabled(bool) override {}
    void SetPlayCaption(const std::string&) override {}
    void ProcessPendingMessages() override {}
    bool ExpressionUsed(Expression kind) override;
    int ExpressionValue(Expression kind, std::string_view member) override;
};
