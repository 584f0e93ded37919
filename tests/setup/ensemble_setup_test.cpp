#include "setup/ensemble_setup.h"

#include <gtest/gtest.h>

#include "setup/setup_file.h"
#include "support/expect_error.h"

namespace {

std::vector<std::pair<int32_t, int32_t>> keysAndLengths(const EnsembleVoice& v) {
    std::vector<std::pair<int32_t, int32_t>> notes;
    for (const NoteEvent& e : v.Melody.Events()) notes.push_back({e.Key, e.DurationMs});
    return notes;
}

MelodySetup TwoVoices() {
    MelodySetup setup;
    setup.Tempo = 120;
    setup.Voices.resize(2);
    for (VoiceSetup& voice : setup.Voices) {
        voice.Notes.Selected = SourceKind::Explicit;
        voice.Notes.ExplicitList = "0, 1, 13";
    }
    VoiceSetup& bass = setup.Voices[1];
    bass.Name = "Bass";
    bass.Tempo = 60;
    bass.OffsetWholeNotes = 1;
    bass.Channel = 2;
    bass.Transpose = -12;
    return setup;
}

TEST(EnsembleSetup, EachVoiceWithItsOwnMapsTempoAndOffset) {
    MelodySetup setup = TwoVoices();
    setup.Voices[0].Notes.Selected = SourceKind::Formula;
    setup.Voices[0].Notes.Formula.Text = "MOD(x;12)";
    setup.Voices[0].Notes.Formula.Count = "3";
    const std::vector<EnsembleVoice> voices = EnsembleOf(setup);
    ASSERT_EQ(voices.size(), 2u);
    // The formula is generated (x = 1, 2, 3); the file's tempo gives quarters of 500 ms.
    EXPECT_EQ(keysAndLengths(voices[0]),
              (std::vector<std::pair<int32_t, int32_t>>{{41, 500}, {42, 500}, {43, 500}}));
    // The bass keeps its own tempo: quarters of 1 s, a whole note late.
    EXPECT_EQ(keysAndLengths(voices[1]),
              (std::vector<std::pair<int32_t, int32_t>>{{40, 1000}, {41, 1000}, {41, 1000}}));
    EXPECT_EQ(voices[1].OffsetUs, 4'000'000);
    EXPECT_EQ(voices[1].Channel, 2);
    EXPECT_EQ(voices[1].Transpose, -12);
    EXPECT_EQ(setup.Voices[0].Notes.Selected, SourceKind::Formula);  // the setup stays as it was
}

TEST(EnsembleSetup, ABrokenVoiceIsRefusedBeforeAnythingSoundsNamingIt) {
    MelodySetup setup = TwoVoices();
    setup.Voices[1].NoteMap = {"40", "x"};
    EXPECT_EQ(MessageOf<EInvalidInput>([&] { EnsembleOf(setup); }),
              "Stimme 2 (Bass): 'x' ist kein gültiger Integerwert");
    setup = TwoVoices();
    setup.Voices[0].NoteMap = {"z"};
    EXPECT_EQ(MessageOf<EInvalidInput>([&] { EnsembleOf(setup); }),
              "Stimme 1: 'z' ist kein gültiger Integerwert");
}

TEST(EnsembleSetup, TheExampleCanonIsOneMelodyThreeTimesAWholeNoteApart) {
    const std::vector<EnsembleVoice> voices = EnsembleOf(ReadSetupFile(SONAVIX_EXAMPLE_CANON));
    ASSERT_EQ(voices.size(), 3u);
    for (size_t v = 0; v < voices.size(); ++v) {
        EXPECT_EQ(keysAndLengths(voices[v]), keysAndLengths(voices[0]));
        EXPECT_EQ(voices[v].OffsetUs, int64_t(v) * 2'000'000);  // a whole note at tempo 120
        EXPECT_EQ(voices[v].Channel, int(v) + 1);
    }
    EXPECT_EQ(keysAndLengths(voices[0]).size(), 24u);
}

}  // namespace
