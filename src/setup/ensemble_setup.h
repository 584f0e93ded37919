#pragma once
// The voices of a setup as the ensemble scheduler plays them: each voice's
// melody built from its own sources, maps and tempo when the run starts.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "playback/ensemble.h"
#include "playback/startup.h"
#include "playback/timeline.h"
#include "setup/setup.h"

// The voice's expression maps and pan into a host (the maps that are off
// are none there).
void LoadExpressionMaps(QuietPlaybackHost& host, const VoiceSetup& voice);

// The voice's own tempo, or the file's.
int VoiceTempo(const MelodySetup& setup, const VoiceSetup& voice);

// The members a lookup finds for a query; the default asks the OEIS at once.
using TermsLookup = std::function<std::string(const std::string& query)>;

// A voice as the play button would read it: a formula is generated, a lookup
// without members is made, each on a copy, so the voice stays as it was.
std::unique_ptr<IPlaybackHost> VoiceHost(const VoiceSetup& voice, int tempo,
                                         const TermsLookup& lookUp = {});

// The melody a voice sounds, read through VoiceHost. Throws what the sources
// and maps throw.
MelodyTimeline VoiceTimeline(const VoiceSetup& voice, int tempo);

// Every voice built before anything sounds; a failure names its voice
// (EInvalidInput with VoiceLabel before the cause).
std::vector<EnsembleVoice> EnsembleOf(const MelodySetup& setup);
