#include "playback/run.h"

#include "midi/midi.h"
#include "midi/midinote.h"
#include "playback/step_run.h"
#include "playback/timeline.h"

namespace {
bool OnKeyboard(int32_t key) { return key >= 1 && key <= 88; }
}  // namespace

std::vector<MelodyNote> BuildMelody(IPlaybackHost& host) {
    const MelodyTimeline timeline = BuildTimeline(host);
    std::vector<MelodyNote> notes;
    for (const NoteEvent& e : timeline.Events())
        notes.push_back({e.Key, e.DurationMs, e.Velocity, e.Pan});
    return notes;
}

void PlaybackRun::Stop() {
    playing_ = false;
    host_.SetPlayCaption(kCaptionPlay);
}

void PlaybackRun::Press(const PlayRange& range) {
    if (playing_) {
        Stop();
        return;
    }
    // A stopped run still sounds its last element; a press handled meanwhile
    // (the second half of a double click) would start a run inside it.
    if (active_) return;
    playing_ = true;
    host_.SetPlayCaption(kCaptionStop);
    Play(range);
}

void PlaybackRun::Play(const PlayRange& range) {
    // Whatever ends the run, a failure included, leaves it idle: flag clear,
    // "Abspielen", the source controls usable and no key left red.
    int32_t marked = 0;
    struct Idle {
        PlaybackRun& run;
        int32_t& marked;
        ~Idle() {
            run.midi_.EndRhythm();
            if (marked) run.host_.UnmarkKey(marked);
            run.host_.SetSourceControlsEnabled(true);
            run.playing_ = false;
            run.active_ = false;
            run.host_.SetPlayCaption(kCaptionPlay);
        }
    } idle{*this, marked};
    active_ = true;

    midi_.SelectInstrument(host_.InstrumentProgram());
    MelodySequences melody = ReadMelodySequences(host_);
    SequenceCursor& notes = melody.Notes;
    SequenceCursor& tempi = melody.Tempi;
    PanFollower pan;
    if (host_.KeyboardWanted()) host_.ShowKeyboard();
    host_.SetSourceControlsEnabled(false);
    if (step_.Queue) {
        RunSteps(host_, midi_, melody, *step_.Queue, step_.Once, playing_);
        return;
    }
    // Members before the range are passed over, tempo members in step.
    size_t index = 0;
    for (; index < range.First && !notes.AtEnd(); ++index) {
        notes.Take();
        tempi.Take();
        SkipExpression(melody);
    }
    const MelodySequences start = melody;
    const size_t first = index;
    midi_.BeginRhythm();
    while (playing_) {
        if (notes.AtEnd() || index > range.Last) {
            // An empty range would loop without sounding anything.
            if (!range.Loop || index == first) break;
            melody = start;
            index = first;
        }
        const std::string_view note = notes.Take();
        const std::string_view tempo = tempi.Take();
        host_.NoteStarting(index++, note, tempo);
        // The key is looked up here only for the keyboard: without it, the
        // first lookup is the duration's, and its failure is the one reported.
        if (host_.KeyboardWanted()) {
            const int32_t shownKey = host_.GetKeyOrTempo(LookupKind::Key, note);
            if (OnKeyboard(shownKey)) {
                host_.MarkKey(shownKey);
                marked = shownKey;
            }
        }
        host_.ProcessPendingMessages();
        const int32_t duration = host_.GetKeyOrTempo(LookupKind::DurationMs, tempo);
        const int32_t key = host_.GetKeyOrTempo(LookupKind::Key, note);
        const NoteExpression expression = TakeExpression(host_, melody);
        // A rest sends no pan; the next note that sounds does.
        const std::optional<uint8_t> panController =
            KeySounds(key) ? pan.Before(expression.Pan) : std::nullopt;
        midi_.PlayNote(key, duration, expression.Velocity.value_or(kNoteVelocity), panController);
        // The key marked for this note is the one to restore, even when the map
        // or the check box changed while it sounded.
        if (marked) {
            host_.UnmarkKey(marked);
            marked = 0;
        }
    }
}
