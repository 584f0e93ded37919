#include "cli/host.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iostream>

#include "cli/cli.h"
#include "common/quote.h"
#include "midi/midi.h"
#include "sources/generation.h"
#include "sources/oeis.h"

namespace {
// Lock-free, so the signal handler may count on it.
std::atomic<int> interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free);

// How long a sleep goes without looking for a second Ctrl+C.
constexpr int64_t kSilenceCheckUs = 20000;
}  // namespace

void RequestStop() { ++interrupts; }
bool StopRequested() { return interrupts >= 1; }
bool SilenceRequested() { return interrupts >= 2; }

void SilenceAndExit() {
    ReleaseMidiOut();
    std::cout.flush();
    std::cerr.flush();
    std::_Exit(kExitStopped);
}

int64_t InterruptibleClock::NowUs() { return SystemClock().NowUs(); }

void InterruptibleClock::SleepUntilUs(int64_t deadlineUs) {
    for (;;) {
        if (SilenceRequested()) SilenceAndExit();
        const int64_t now = NowUs();
        if (now >= deadlineUs) return;
        SystemClock().SleepUntilUs(std::min(deadlineUs, now + kSilenceCheckUs));
    }
}

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
    if (SilenceRequested()) SilenceAndExit();
    if (Run && StopRequested() && Run->Playing()) Run->Stop();
}
