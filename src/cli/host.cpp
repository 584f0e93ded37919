#include "cli/host.h"

#include <atomic>

#include "playback/maps.h"
#include "sources/generation.h"
#include "sources/oeis.h"

namespace {
std::atomic<bool> stopRequested{false};
}  // namespace

void RequestStop() { stopRequested = true; }
bool StopRequested() { return stopRequested; }

void TCliSource::Generate(bool zeroNatural) {
    TFormulaGenerator generator(term_, startTable_);
    // Leaving the formula field fits the table to the formula; then the values
    // are typed in, and "Los!" reads them.
    generator.FormulaExit(Formula);
    const int32_t used = term_.MaxPredecessor();
    if (static_cast<int64_t>(StartValues.size()) > used)
        throw ECliUsage(used == 0 ? "Zu viele Startwerte: die Formel \"" + Formula +
                                        "\" verwendet keine früheren Glieder"
                                  : "Zu viele Startwerte: die Formel \"" + Formula +
                                        "\" verwendet nur x_1 bis x_" + std::to_string(used));
    for (size_t row = 0; row < StartValues.size(); ++row)
        startTable_.SetValue(static_cast<int>(row), StartValues[row]);
    generator.Generate(Formula, Count, zeroNatural, ExplicitList);
    Kind = TKind::Explicit;
}

std::string TCliSource::Read(bool zeroNatural) {
    if (Kind == TKind::Formula) Generate(zeroNatural);
    if (Kind == TKind::Oeis) {
        // A memo that already holds members is played without a new lookup.
        if (OeisSequence.empty()) OeisSequence = TOeisLookup().Run(OeisQuery).terms;
        return OeisSequence;
    }
    return ExplicitList;
}

TCliHost::TCliHost() { ApplyScalePreset(NoteMap, 7, 40); }  // as the window starts: chromatic on c'

int32_t TCliHost::GetKeyOrTempo(int kind, int32_t value) {
    return ::GetKeyOrTempo(kind, value, NoteMap, TempoMap, Tempo);
}

void TCliHost::ProcessPendingMessages() {
    // The one point where a run takes requests, as the window's stop button does.
    if (Run && StopRequested() && Run->Playing()) Run->Stop();
}
