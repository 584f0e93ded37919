#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/output.h"
#include "midi/midi.h"

int main(int argc, char** argv) {
    OccupyClosedStandardDescriptors();
    FdStreamBuf outBuffer(1), errBuffer(2);
    std::ostream out(&outBuffer), err(&errBuffer);
    // Created first and released last; its service starts only when a command plays.
    MidiUnit midi;
    return RunCli(midi, std::vector<std::string>(argv + 1, argv + argc), out, err);
}
