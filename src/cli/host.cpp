#include "cli/host.h"

#include <atomic>

#include "common/quote.h"
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
        throw ECliUsage(used == 0 ? "Zu viele Startwerte: die Formel \"" + QuotedText(Formula) +
                                        "\" verwendet keine früheren Glieder"
                                  : "Zu viele Startwerte: die Formel \"" + QuotedText(Formula) +
                                        "\" verwendet nur x_1 bis x_" + std::to_string(used));
    for (size_t row = 0; row < StartValues.size(); ++row)
        startTable_.SetValue(static_cast<int>(row), StartValues[row]);
    generator.Generate(Formula, Count, zeroNatural, ExplicitList);
    Kind = SourceKind::Explicit;
}

std::string TCliSource::Read(bool zeroNatural) {
    zeroNatural_ = zeroNatural;
    return ReadSourceFrame(*this);
}

void TCliSource::LookUp() { OeisSequence = TOeisLookup().Run(OeisQuery).terms; }

void TCliHost::ProcessPendingMessages() {
    // The one point where a run takes requests, as the window's stop button does.
    if (Run && StopRequested() && Run->Playing()) Run->Stop();
}
