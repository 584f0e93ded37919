#include "playback/startup.h"

#include <vector>

#include "playback/maps.h"

ValueListTable StartNoteMap() {
    ValueListTable map;
    ApplyScalePreset(map, kStartScaleIndex, kStartRootIndex);
    return map;
}

ValueListTable StartTempoMap() {
    return ValueListTable(std::vector<std::string>{kStartTempoMapValue});
}

int32_t QuietPlaybackHost::GetKeyOrTempo(LookupKind kind, std::string_view member) {
    return ::GetKeyOrTempo(kind, member, NoteMap, TempoMap, Tempo);
}
