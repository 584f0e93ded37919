#include "playback/playback_host.h"

#include <utility>

#include "common/errors.h"

MelodySequences ReadMelodySequences(IPlaybackHost& host) {
    std::string noteText = NormalizeSequenceText(host.ReadNoteSource());
    std::string tempoText =
        host.TempoSequenceUsed() ? NormalizeSequenceText(host.ReadTempoSource()) : noteText;
    // An empty tempo sequence cannot be repeated up to the note count; the
    // notes then give their own lengths, as without a tempo sequence.
    if (tempoText.empty()) tempoText = noteText;
    // The expressions by the tempo sequence's rule.
    std::optional<SequenceCursor> expressions[2];
    for (const Expression kind : {Expression::Dynamics, Expression::Panorama}) {
        if (!host.ExpressionUsed(kind)) continue;
        std::string text;
        if (host.ExpressionSequenceUsed(kind)) {
            try {
                text = NormalizeSequenceText(host.ReadExpressionSource(kind));
            } catch (const Exception& e) {
                throw EInvalidInput(std::string(InfoOf(kind).SequenceName) + ": " + e.Message());
            }
        }
        if (text.empty()) text = noteText;
        expressions[static_cast<int>(kind)].emplace(std::move(text), /*cyclic=*/true);
    }
    return {SequenceCursor(std::move(noteText)),
            SequenceCursor(std::move(tempoText), /*cyclic=*/true), std::move(expressions[0]),
            std::move(expressions[1])};
}

NoteExpression TakeExpression(IPlaybackHost& host, MelodySequences& melody) {
    NoteExpression e;
    if (melody.Dynamics)
        e.Velocity = static_cast<uint8_t>(
            host.ExpressionValue(Expression::Dynamics, melody.Dynamics->Take()));
    if (melody.Panorama)
        e.Pan = static_cast<int8_t>(
            host.ExpressionValue(Expression::Panorama, melody.Panorama->Take()));
    return e;
}

void SkipExpression(MelodySequences& melody) {
    for (std::optional<SequenceCursor>* cursor : {&melody.Dynamics, &melody.Panorama})
        if (*cursor) (*cursor)->Take();
}
