#include "playback/startup.h"

#include <vector>

#include "midi/midinote.h"
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

bool QuietPlaybackHost::ExpressionUsed(Expression kind) {
    return kind == Expression::Dynamics ? VelocityMap.has_value()
                                        : PanMap.has_value() || PanOffset != 0;
}

int QuietPlaybackHost::ExpressionValue(Expression kind, std::string_view member) {
    if (kind == Expression::Dynamics)
        return VelocityMap ? ExpressionLookup(kind, *VelocityMap, member) : kNoteVelocity;
    return OffsetPan(PanMap ? ExpressionLookup(kind, *PanMap, member) : 0, PanOffset);
}
