#include "setup/ensemble_setup.h"

#include "common/errors.h"
#include "formula/formulaparser.h"
#include "playback/maps.h"
#include "playback/startup.h"
#include "sources/generation.h"
#include "sources/oeis.h"
#include "sources/source_frame.h"

namespace {

// A source frame as a setup holds it; what the frame's buttons would do is
// done on a copy, so the setup itself stays as it was.
class SetupSource : public ISourceFrame {
public:
    SetupSource(const SourceSetup& setup, bool zeroNatural, TermsLookup lookUp)
        : setup_(setup), zeroNatural_(zeroNatural), lookUp_(std::move(lookUp)) {}

    SourceKind SelectedSource() override { return setup_.Selected; }
    void GenerateFormula() override {
        ValueListTable startValues(setup_.Formula.StartValues, 1);
        FormulaGenerator(term_, startValues)
            .Generate(setup_.Formula.Text, setup_.Formula.Count, zeroNatural_, setup_.ExplicitList);
        setup_.Selected = SourceKind::Explicit;
    }
    void LookUp() override {
        setup_.Oeis.Terms =
            lookUp_ ? lookUp_(setup_.Oeis.Query) : OeisLookup().Run(setup_.Oeis.Query).terms;
    }
    std::string LookupMembers() override { return setup_.Oeis.Terms; }
    std::string ExplicitListText() override { return setup_.ExplicitList; }

private:
    SourceSetup setup_;
    bool zeroNatural_;
    TermsLookup lookUp_;
    TTerm term_;
};

class SetupHost : public QuietPlaybackHost {
public:
    SetupHost(const VoiceSetup& voice, int tempo, const TermsLookup& lookUp)
        : notes_(voice.Notes, voice.ZeroNatural, lookUp),
          tempi_(voice.Tempi, voice.ZeroNatural, lookUp),
          tempoUsed_(voice.TempoSequenceUsed),
          dynamics_(voice.Dynamics, voice.ZeroNatural, lookUp),
          panorama_(voice.Panorama, voice.ZeroNatural, lookUp) {
        NoteMap = MapTable(voice.NoteMap);
        TempoMap = MapTable(voice.TempoMap);
        Tempo = tempo;
        Program = voice.Instrument;
        LoadExpressionMaps(*this, voice);
    }
    std::string ReadNoteSource() override { return ReadSourceFrame(notes_); }
    bool TempoSequenceUsed() override { return tempoUsed_; }
    std::string ReadTempoSource() override { return ReadSourceFrame(tempi_); }
    bool ExpressionSequenceUsed(Expression kind) override { return Of(kind).own; }
    std::string ReadExpressionSource(Expression kind) override {
        return ReadSourceFrame(Of(kind).source);
    }

private:
    struct OwnSequence {
        OwnSequence(const ExpressionSetup& setup, bool zeroNatural, const TermsLookup& lookUp)
            : source(setup.Sequence, zeroNatural, lookUp), own(setup.OwnSequence) {}
        SetupSource source;
        bool own;
    };
    OwnSequence& Of(Expression kind) {
        return kind == Expression::Dynamics ? dynamics_ : panorama_;
    }

    SetupSource notes_, tempi_;
    bool tempoUsed_;
    OwnSequence dynamics_, panorama_;
};

}  // namespace

void LoadExpressionMaps(QuietPlaybackHost& host, const VoiceSetup& voice) {
    host.VelocityMap.reset();
    host.PanMap.reset();
    if (voice.Dynamics.Used) host.VelocityMap = MapTable(voice.Dynamics.Map);
    if (voice.Panorama.Used) host.PanMap = MapTable(voice.Panorama.Map);
    host.PanOffset = voice.Pan;
}

int VoiceTempo(const MelodySetup& setup, const VoiceSetup& voice) {
    return voice.Tempo.value_or(setup.Tempo);
}

std::unique_ptr<IPlaybackHost> VoiceHost(const VoiceSetup& voice, int tempo,
                                         const TermsLookup& lookUp) {
    return std::make_unique<SetupHost>(voice, tempo, lookUp);
}

MelodyTimeline VoiceTimeline(const VoiceSetup& voice, int tempo) {
    SetupHost host(voice, tempo, {});
    return BuildTimeline(host);
}

std::vector<EnsembleVoice> EnsembleOf(const MelodySetup& setup) {
    std::vector<EnsembleVoice> voices;
    for (size_t i = 0; i < setup.Voices.size(); ++i) {
        const VoiceSetup& v = setup.Voices[i];
        try {
            const int tempo = VoiceTempo(setup, v);
            voices.push_back({.Name = v.Name,
                              .Melody = VoiceTimeline(v, tempo),
                              .Channel = v.Channel,
                              .Program = v.Instrument,
                              .Transpose = v.Transpose,
                              .Velocity = v.Velocity,
                              .OffsetUs = VoiceOffsetUs(v.OffsetWholeNotes, tempo),
                              .Mute = v.Mute,
                              .Solo = v.Solo,
                              .Tempo = tempo});
        } catch (const Exception& e) {
            throw EInvalidInput(VoiceLabel(static_cast<int>(i), v.Name) + e.Message());
        }
    }
    CheckEnsemble(voices);
    return voices;
}
