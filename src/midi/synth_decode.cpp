#include "midi/synth.h"

bool SendToSynth(ISynthCalls& synth, const uint8_t* bytes, size_t count) {
    if (count == 0) return false;
    const uint8_t status = bytes[0];
    const int length = ShortMessageLength(status);
    if (length == 0 || count < static_cast<size_t>(length)) return false;
    for (int i = 1; i < length; ++i)
        if (bytes[i] > 127) return false;
    const int channel = status & 0x0F;
    const int data1 = length > 1 ? bytes[1] : 0, data2 = length > 2 ? bytes[2] : 0;
    switch (status & 0xF0) {
        case 0x80:
            synth.NoteOff(channel, data1);
            return true;
        case 0x90:
            // Velocity 0 is the usual shorthand for Note Off.
            if (data2 == 0)
                synth.NoteOff(channel, data1);
            else
                synth.NoteOn(channel, data1, data2);
            return true;
        case 0xA0:
            synth.KeyPressure(channel, data1, data2);
            return true;
        case 0xB0:
            synth.ControlChange(channel, data1, data2);
            return true;
        case 0xC0:
            synth.ProgramChange(channel, data1);
            return true;
        case 0xD0:
            synth.ChannelPressure(channel, data1);
            return true;
        case 0xE0:
            synth.PitchBend(channel, data1 | (data2 << 7));
            return true;
        default:
            if (status == 0xFF) {
                synth.SystemReset();
                return true;
            }
            return false;  // clock, song position and the like mean nothing here
    }
}
