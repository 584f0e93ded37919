#include "cli/ensemble_cli.h"

#include <algorithm>
#include <cctype>
#include <ostream>

#include "cli/cli.h"
#include "cli/host.h"
#include "cli/options.h"
#include "cli/output.h"
#include "common/convert.h"
#include "common/errors.h"
#include "common/messages.h"
#include "common/quote.h"
#include "common/termination.h"
#include "melodyfile/export_formats.h"
#include "midi/clock.h"
#include "midi/midi.h"
#include "midi/midi_out.h"
#include "midi/port_list.h"
#include "playback/ensemble.h"
#include "playback/scales.h"
#include "setup/ensemble_setup.h"
#include "setup/setup_file.h"

namespace {

double OffsetOf(const std::string& text) {
    const std::optional<double> value = DecimalFromZero(text, kMaxVoiceOffsetWholeNotes);
    if (!value)
        throw ECliUsage("--offset erwartet ganze Noten von 0 bis " +
                        std::to_string(static_cast<int>(kMaxVoiceOffsetWholeNotes)) +
                        ", z. B. 1 oder 0,5, nicht \"" + QuotedText(text) + "\"");
    return *value;
}

class CliObserver : public IEnsembleObserver {
public:
    bool KeepPlaying() override { return !StopRequested(); }
};

// True when the ensemble ran to its end.
bool PlayVoices(MidiUnit& midi, const std::vector<EnsembleVoice>& voices, std::ostream& err) {
    const EnsembleTimeline timeline = BuildEnsembleTimeline(voices);
    // From the open output on, a signal first silences what sounds.
    TidyingScope tidying;
    OpenPlayOutput(midi, err);
    InterruptibleClock clock;
    struct Release {
        MidiUnit& midi;
        ~Release() { midi.ReleaseMidiOut(); }
    } release{midi};
    // Not held here: a second Ctrl+C releases the program's output, which then
    // silences what still sounds.
    IMidiOutput* output = midi.GetMidiOutput(0).get();
    if (StopRequested()) return false;
    CliObserver observer;
    const RealTimeScope realTime;  // deadlines met on a busy machine too
    return PlayEnsemble(timeline, *output, clock, observer) && !StopRequested();
}

}  // namespace

int EnsembleMelody(MidiUnit& midi, const std::vector<VoiceFileArgument>& files, bool play,
                   const OutFile* file, const std::function<void()>& onPlay, std::ostream& out,
                   std::ostream& err) {
    MelodySetup ensemble;
    ensemble.Voices.clear();
    for (const VoiceFileArgument& file : files) {
        if (file.Path.empty()) throw ECliUsage(msg::NeedsFileName("--setup"));
        const double offset = file.Offset ? OffsetOf(*file.Offset) : 0;
        try {
            const MelodySetup setup = ReadSetupFile(file.Path);
            if (ensemble.Voices.empty()) ensemble.Meter = setup.Meter;  // the first file's
            for (VoiceSetup voice : setup.Voices) {
                voice.Tempo = VoiceTempo(setup, voice);
                if (file.Offset) voice.OffsetWholeNotes = offset;
                // A one-voice file names no channel; on one shared channel all
                // voices would sound the first one's instrument.
                if (setup.Voices.size() == 1)
                    voice.Channel = DefaultVoiceChannel(static_cast<int>(ensemble.Voices.size()));
                ensemble.Voices.push_back(std::move(voice));
            }
        } catch (const Exception& e) {
            err << ErrorBoxText(e.Message()) << '\n';
            return kExitFailure;
        }
    }
    try {
        if (ensemble.Voices.size() > kMaxEnsembleVoices)
            throw EInvalidInput("Höchstens " + std::to_string(kMaxEnsembleVoices) +
                                " Stimmen können zusammen spielen, nicht " +
                                std::to_string(ensemble.Voices.size()));
        const std::vector<EnsembleVoice> voices = EnsembleOf(ensemble);
        if (play && onPlay) onPlay();
        // The file first, as for one voice: a reader that stops reading the
        // listing ends the program, and the file is kept.
        std::string fileFailure;
        if (file) {
            try {
                const VoiceSetup& first = ensemble.Voices.front();
                const ScalePreset preset = PresetOfNoteMap(first.NoteMap);
                file->Format.WriteSeveral(file->Path,
                                          {voices, *first.Tempo, preset.ScaleIndex,
                                           preset.RootIndex, ensemble.Meter, file->Quality},
                                          {});
            } catch (const Exception& e) {
                fileFailure = e.Message();
            }
        }
        bool expression = false;
        for (const EnsembleVoice& voice : voices)
            expression = expression || HasExpression(voice.Melody);
        for (size_t v = 0; v < voices.size(); ++v)
            PrintMelody(out, voices[v].Melody, voices[v].Velocity, expression,
                        std::to_string(v + 1) + ' ');
        if (OutputLost(out, err)) return kExitFailure;
        if (!fileFailure.empty()) throw Exception(fileFailure);
        if (play && !PlayVoices(midi, voices, err)) return kExitStopped;
    } catch (const Exception& e) {
        err << ErrorBoxText(e.Message()) << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

bool HasExpression(const MelodyTimeline& melody) {
    const auto& events = melody.Events();
    return std::any_of(events.begin(), events.end(), [](const NoteEvent& e) {
        return e.Velocity.has_value() || e.Pan.has_value();
    });
}

void PrintMelody(std::ostream& out, const MelodyTimeline& melody, int velocity, bool expression,
                 const std::string& prefix) {
    for (const NoteEvent& note : melody.Events()) {
        out << prefix << note.Key << ' ' << note.DurationMs;
        if (expression)
            out << ' ' << int{note.Velocity.value_or(velocity)} << ' ' << int{note.Pan.value_or(0)};
        out << '\n';
    }
}
