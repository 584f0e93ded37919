#pragma once
// Runs the built command-line tool as a child process and collects what it
// wrote to standard output and standard error, and its exit status.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

struct ProgramResult {
    std::string out;
    std::string err;
    int status = -1;  // exit status; -1 when the program did not exit normally
};

inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline const std::string kClosedOutput = "(closed)", kBrokenPipe = "(broken pipe)";

// The tool started as a child process with its output in files; Wait()
// collects it. env: extra "NAME=value" entries in front of this process's
// environment.
class ChildProgram {
public:
    // stdoutTarget: "" its own file; kClosedOutput, kBrokenPipe, or a path ("/dev/full").
    ChildProgram(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& env = {}, const std::string& stdoutTarget = "") {
        static int calls = 0;
        const std::filesystem::path base =
            std::filesystem::temp_directory_path() /
            ("sonavix-cli-test-" + std::to_string(getpid()) + "-" + std::to_string(++calls));
        outFile_ = base.string() + ".out";
        errFile_ = base.string() + ".err";

        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const auto& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
        for (char** e = environ; *e; ++e) envp.push_back(*e);
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        int pipeEnds[2] = {-1, -1};
        if (stdoutTarget.empty()) {
            posix_spawn_file_actions_addopen(&actions, 1, outFile_.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0600);
        } else if (stdoutTarget == kClosedOutput) {
            posix_spawn_file_actions_addclose(&actions, 1);
        } else if (stdoutTarget == kBrokenPipe) {
            // A reader that has gone: the first write meets a pipe nobody reads.
            if (pipe(pipeEnds) == 0) {
                close(pipeEnds[0]);
                posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
                posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
            }
        } else {
            posix_spawn_file_actions_addopen(&actions, 1, stdoutTarget.c_str(), O_WRONLY, 0);
        }
        posix_spawn_file_actions_addopen(&actions, 2, errFile_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (pipeEnds[1] >= 0) close(pipeEnds[1]);
    }
    ~ChildProgram() {
        Stop();
        std::filesystem::remove(outFile_);
        std::filesystem::remove(errFile_);
    }
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // Asks the program to end (TERM), and after graceSeconds makes it end (KILL).
    void Stop(int graceSeconds = 3) {
        if (!Running()) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 20 * graceSeconds && Running(); ++i) usleep(50000);
        if (Running()) {
            kill(pid_, SIGKILL);
            Reap(0);
        }
    }
    pid_t Pid() const { return pid_; }
    bool Running() {
        if (pid_ > 0) Reap(WNOHANG);
        return pid_ > 0;
    }
    // What it has written to standard output so far.
    std::string OutputSoFar() const { return ReadWholeFile(outFile_); }
    void Signal(int signal) {
        if (pid_ > 0) kill(pid_, signal);
    }
    ProgramResult Wait() {
        if (pid_ > 0) Reap(0);
        return {ReadWholeFile(outFile_), ReadWholeFile(errFile_), status_};
    }

private:
    void Reap(int options) {
        int status = 0;
        if (waitpid(pid_, &status, options) != pid_) return;
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid_ = -1;
    int status_ = -1;  // exit status once it ended normally
    std::string outFile_, errFile_;
};

inline ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const std::vector<std::string>& env = {},
                                const std::string& stdoutTarget = "") {
    return ChildProgram(program, args, env, stdoutTarget).Wait();
}

// RunProgram for a tool that may hang (JACK's jack_lsp now and then deadlocks
// in its own jack_client_close): killed after seconds, its status then -1.
inline ProgramResult RunProgramWithin(int seconds, const std::string& program,
                                      const std::vector<std::string>& args,
                                      const std::vector<std::string>& env = {}) {
    ChildProgram child(program, args, env);
    for (int i = 0; i < 100 * seconds && child.Running(); ++i) usleep(10000);
    child.Stop(0);
    return child.Wait();
}
