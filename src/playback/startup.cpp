#include "playback/startup.h"

#include <vector>

#include "playback/maps.h"

TValueListTable StartNoteMap() {
    TValueListTable map;
    ApplyScalePreset(map, kStartScaleIndex, kStartRootIndex);
    return map;
}

TValueListTable StartTempoMap() {
    return TValueListTable(std::vector<std::string>{kStartTempoMapValue});
}

int32_t QuietPlaybackHost::GetKeyOrTempo(int kind, int32_t value) {
    return ::GetKeyOrTempo(kind, value, NoteMap, TempoMap, Tempo);
}
