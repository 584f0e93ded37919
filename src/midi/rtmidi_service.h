#pragma once
// The MIDI output service on RtMidi: the output ports of the ALSA sequencer,
// then those of a running JACK server, each port one device.
#include <memory>
#include <string>

#include "midi/platform.h"

// preferredPort, when not empty, names by case-insensitive substring the
// port that becomes device 0; the others keep their order. A missing ALSA
// sequencer or JACK server just contributes no ports.
std::shared_ptr<IMidiOutService> CreateRtMidiOutService(const std::string& preferredPort);
