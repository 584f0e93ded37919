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

int32_t QuietPlaybackHost::GetKeyOrTempo(int kind, std::string_view member) {
    return ::GetKeyOrTempo(kind, member, NoteMap, TempoMap, Tempo);
}
