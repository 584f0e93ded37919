#include "playback/playback_host.h"

#include <utility>

MelodySequences ReadMelodySequences(IPlaybackHost& host) {
    std::string noteText = NormalizeSequenceText(host.ReadNoteSource());
    std::string tempoText =
        host.TempoSequenceUsed() ? NormalizeSequenceText(host.ReadTempoSource()) : noteText;
    // An empty tempo sequence cannot be repeated up to the note count; the
    // notes then give their own lengths, as without a tempo sequence.
    if (tempoText.empty()) tempoText = noteText;
    return {SequenceCursor(std::move(noteText)),
            SequenceCursor(std::move(tempoText), /*cyclic=*/true)};
}
