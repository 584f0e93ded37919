#include "cli/host.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <ostream>

#include "cli/cli.h"
#include "common/convert.h"
#include "common/messages.h"
#include "common/quote.h"
#include "common/termination.h"
#include "midi/midi.h"
#include "midi/port_list.h"
#include "setup/ensemble_setup.h"
#include "sources/generation.h"
#include "sources/oeis.h"

namespace {
// Lock-free, so the signal handler may count on it.
std::atomic<int> interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free);

// How long a sleep goes without looking for a second Ctrl+C or another signal.
constexpr int64_t kSilenceCheckUs = 20000;

MidiUnit* silenced = nullptr;
}  // namespace

void RequestStop() { ++interrupts; }
bool StopRequested() { return interrupts >= 1; }
bool SilenceRequested() { return interrupts >= 2; }

void SetSilencedUnit(MidiUnit* midi) { silenced = midi; }

void SilenceAndExit(int signal) {
    if (silenced) silenced->CloseAllMidiOuts();
    ExitAfterSignal(signal);
}

int64_t InterruptibleClock::NowUs() { return SystemClock().NowUs(); }

void InterruptibleClock::SleepUntilUs(int64_t deadlineUs) {
    for (;;) {
        EndIfTerminationPending();
        const int64_t now = NowUs();
        if (now >= deadlineUs) return;
        SystemClock().SleepUntilUs(std::min(deadlineUs, now + kSilenceCheckUs));
    }
}

bool CliSource::FitStartTable() {
    ValueListTable startTable(StartTable, 1);
    FormulaGenerator generator(term_, startTable);
    // Leaving the formula field fits the table to the formula; then the values
    // are typed in.
    generator.FormulaExit(Formula);
    const int32_t used = term_.MaxPredecessor();
    if (static_cast<int64_t>(StartValues.size()) > used)
        throw ECliUsage(used == 0 ? "Zu viele Startwerte: die Formel \"" + QuotedText(Formula) +
                                        "\" verwendet keine früheren Glieder"
                                  : "Zu viele Startwerte: die Formel \"" + QuotedText(Formula) +
                                        "\" verwendet nur x_1 bis x_" + std::to_string(used));
    for (size_t row = 0; row < StartValues.size(); ++row)
        startTable.SetValue(static_cast<int>(row), StartValues[row]);
    StartTable = VoiceSetup::ValuesOf(startTable);
    StartValues.clear();
    return used > 0;
}

void CliSource::Generate(bool zeroNatural) {
    FitStartTable();
    ValueListTable startTable(StartTable, 1);
    FormulaGenerator(term_, startTable).Generate(Formula, Count, zeroNatural, ExplicitList);
    Kind = SourceKind::Explicit;
}

std::string CliSource::Read(bool zeroNatural) {
    zeroNatural_ = zeroNatural;
    return ReadSourceFrame(*this);
}

void CliSource::Load(const SourceSetup& setup) {
    Kind = setup.Selected;
    ExplicitList = setup.ExplicitList;
    Formula = setup.Formula.Text;
    Count = setup.Formula.Count;
    StartTable = setup.Formula.StartValues;
    StartValues.clear();
    OeisQuery = setup.Oeis.Query;
    OeisSequence = setup.Oeis.Terms;
    OeisTitle = setup.Oeis.ANumber.empty() ? "" : setup.Oeis.ANumber + ": " + setup.Oeis.Name;
}

void CliHost::Load(const MelodySetup& setup) {
    if (setup.Voices.size() != 1) throw Exception(msg::NotOneVoice(setup.Voices.size()));
    const VoiceSetup& voice = setup.Voices.front();
    Notes.Load(voice.Notes);
    Tempi.Load(voice.Tempi);
    Dynamics.Load(voice.Dynamics.Sequence);
    Panorama.Load(voice.Panorama.Sequence);
    DynamicsOwn = voice.Dynamics.OwnSequence;
    PanoramaOwn = voice.Panorama.OwnSequence;
    Notes.OeisWhole = Tempi.OeisWhole = Dynamics.OeisWhole = Panorama.OeisWhole =
        setup.OeisWholeSequences;
    LoadExpressionMaps(*this, voice);
    TempoUsed = voice.TempoSequenceUsed;
    ZeroNatural = voice.ZeroNatural;
    NoteMap = MapTable(voice.NoteMap);
    TempoMap = MapTable(voice.TempoMap);
    Tempo = setup.Tempo;
    Program = voice.Instrument;
}

void CliSource::LookUp() {
    const OeisHit hit = OeisLookup().Run(OeisQuery, OeisWhole);
    OeisSequence = hit.terms;
    OeisTitle = hit.linkCaption + ": " + hit.name;
    OeisNotices = hit.notices;
}

void CliHost::ProcessPendingMessages() {
    // The one point where a run takes requests, as the window's stop button does.
    EndIfTerminationPending();
    if (Run && StopRequested() && Run->Playing()) Run->Stop();
}

void OpenPlayOutput(MidiUnit& midi, std::ostream& err) {
    try {
        const std::string notice = MidiOutRequestNotice(midi);
        if (!notice.empty()) err << notice << '\n' << std::flush;
        midi.InitMidiOut();
    } catch (const Exception& e) {
        throw Exception("MIDI-Gerät 0 lässt sich nicht öffnen: " + ErrorBoxText(e.Message()));
    }
}
