#pragma once
// The command-line tool: its commands on arguments and two output streams.
#include <iosfwd>
#include <string>
#include <vector>

// Exit statuses: success, a failure of the command, a command line in error.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitStopped = 130;  // playing ended by Ctrl+C

class MidiUnit;

// args without the program name; midi plays what --play and ports ask for.
int RunCli(MidiUnit& midi, const std::vector<std::string>& args, std::ostream& out,
           std::ostream& err);
