#pragma once
// Runs the built command-line tool as a child process and collects what it
// wrote to standard output and standard error, and its exit status.
#include <fcntl.h>
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

struct TProgramResult {
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

// env: extra "NAME=value" entries in front of this process's environment.
inline TProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                 const std::vector<std::string>& env = {}) {
    namespace fs = std::filesystem;
    static int calls = 0;
    const fs::path base = fs::temp_directory_path() /
                          ("sonavix-cli-test-" + std::to_string(getpid()) + "-" + std::to_string(++calls));
    const std::string outFile = base.string() + ".out", errFile = base.string() + ".err";

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
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    TProgramResult result;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = ReadWholeFile(outFile);
    result.err = ReadWholeFile(errFile);
    fs::remove(outFile);
    fs::remove(errFile);
    return result;
}
