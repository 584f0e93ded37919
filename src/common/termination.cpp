#include "common/termination.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <set>

namespace {
std::atomic<int> pending{0};
std::atomic<int> tidying{0};
std::atomic<int> wakeFd{-1};
std::atomic<TerminationEnding> ending{nullptr};
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<TerminationEnding>::is_always_lock_free);

std::mutex& FilesLock() {
    static std::mutex lock;
    return lock;
}
std::multiset<std::string>& Files() {
    static std::multiset<std::string> files;
    return files;
}

extern "C" void OnTerminationSignal(int signal) { NoteTerminationSignal(signal); }
}  // namespace

void SetTerminationEnding(TerminationEnding e) { ending = e; }

void HandleTerminationSignal(int signal) {
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

void NoteTerminationSignal(int signal) {
    const int savedErrno = errno;
    int none = 0;
    pending.compare_exchange_strong(none, signal);
    if (const int fd = wakeFd.load(); fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = write(fd, &byte, 1);
    }
    if (tidying.load() == 0) _exit(ExitStatusOfSignal(pending.load()));
    errno = savedErrno;
}

void SetTerminationWakeFd(int fd) { wakeFd = fd; }

int PendingTerminationSignal() { return pending.load(); }

void EndIfTerminationPending() {
    const int signal = pending.load();
    if (signal == 0) return;
    if (const TerminationEnding e = ending.load()) e(signal);
    ExitAfterSignal(signal);
}

TidyingScope::TidyingScope() { ++tidying; }

TidyingScope::~TidyingScope() {
    --tidying;
    EndIfTerminationPending();
}

void RegisterUnfinishedFile(const std::string& path) {
    const std::lock_guard hold(FilesLock());
    Files().insert(path);
}

void ForgetUnfinishedFile(const std::string& path) {
    const std::lock_guard hold(FilesLock());
    if (const auto it = Files().find(path); it != Files().end()) Files().erase(it);
}

void RemoveUnfinishedFiles() {
    const std::lock_guard hold(FilesLock());
    for (const std::string& path : Files()) unlink(path.c_str());
    Files().clear();
}

void ExitAfterSignal(int signal) {
    RemoveUnfinishedFiles();
    _exit(ExitStatusOfSignal(signal));
}
