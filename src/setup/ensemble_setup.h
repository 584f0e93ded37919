#pragma once
// The voices of a setup as the ensemble scheduler plays them: each voice's
// melody built from its own sources, maps and tempo when the run starts.
#include <string>
#include <vector>

#include "playback/ensemble.h"
#include "playback/timeline.h"
#include "setup/setup.h"

// The voice's own tempo, or the file's.
int VoiceTempo(const MelodySetup& setup, const VoiceSetup& voice);

// The melody a voice sounds: a formula is generated, a lookup without members
// is made, as the play button would. Throws what the sources and maps throw.
MelodyTimeline VoiceTimeline(const VoiceSetup& voice, int tempo);

// Every voice built before anything sounds; a failure names its voice
// (EInvalidInput with VoiceLabel before the cause).
std::vector<EnsembleVoice> EnsembleOf(const MelodySetup& setup);
