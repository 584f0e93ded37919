#pragma once
// Signals that end the program (SIGTERM, SIGHUP, SIGPIPE, a second Ctrl+C).
// The handler only records the signal; the program ends where that is safe,
// through the ending it has set (Note Off for what sounds, the output closed),
// after the files it had not finished are removed. While nothing needs tidying
// the handler ends the program at once, with the same status.
#include <string>

// Exit status of a program ended by a signal, as shells report it.
inline constexpr int ExitStatusOfSignal(int signal) { return 128 + signal; }

// What runs in normal context to end the program after signal; must not return.
using TerminationEnding = void (*)(int signal);
void SetTerminationEnding(TerminationEnding ending);

// Lets signal be recorded by the handler from now on.
void HandleTerminationSignal(int signal);
// Records signal as the handler does; async-signal-safe, for other handlers.
void NoteTerminationSignal(int signal);
// A descriptor the handler writes a byte to (a pipe the event loop watches); -1: none.
void SetTerminationWakeFd(int fd);
// The recorded signal, or 0.
int PendingTerminationSignal();
// Ends the program through the ending when a signal is recorded.
void EndIfTerminationPending();

// While one of these lives, a signal waits for the program's next check
// instead of ending it at once. It checks when it ends.
class TidyingScope {
public:
    TidyingScope();
    ~TidyingScope();
    TidyingScope(const TidyingScope&) = delete;
    TidyingScope& operator=(const TidyingScope&) = delete;
};

// Files being written that a signal's ending removes.
void RegisterUnfinishedFile(const std::string& path);
void ForgetUnfinishedFile(const std::string& path);
void RemoveUnfinishedFiles();

// The ending of a program without windows: the files removed, then the exit.
[[noreturn]] void ExitAfterSignal(int signal);
