#pragma once
// A host without a window that plays a typed list of members with the start-up
// maps and no tempo sequence.
#include <string>

#include "playback/startup.h"

class ListHost : public QuietPlaybackHost {
public:
    std::string ReadNoteSource() override { return notes; }
    bool TempoSequenceUsed() override { return false; }
    std::string ReadTempoSource() override { return {}; }
    std::string notes;
};
