// Built programs run from the tests as child processes, with bounded waits.
#pragma once

#include <chrono>
#include <csignal>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "files.h"

// Polls `ready` every few milliseconds until it holds or `limit` passes.
inline bool wait_until(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (ready()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// What a finished program wrote, and how it ended.
struct ProgramResult {
    int status = -1; // exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Where a child starts and what it starts with.
struct ChildSetup {
    std::string directory = "";             // working directory; the current one when empty
    std::string in_path = "";               // standard input; the inherited one when empty
    std::string out_path = "";              // standard output; a file of its own when empty
    std::vector<std::string> environment{}; // NAME=value, over the inherited entries
};

// `argv` (argv[0] a path) started at once; standard error goes to a file of
// its own. A child still running at the end is killed.
class ChildProcess {
  public:
    // env(1) sets the working directory and the environment, so that the
    // child gets them without any code of ours running between fork and exec.
    explicit ChildProcess(const std::vector<std::string>& argv, const ChildSetup& setup = {})
        : out_path_(setup.out_path.empty() ? output_ / "out" : setup.out_path) {
        std::vector<std::string> args{"/usr/bin/env"};
        if (!setup.directory.empty()) args.insert(args.end(), {"-C", setup.directory});
        args.insert(args.end(), setup.environment.begin(), setup.environment.end());
        args.insert(args.end(), argv.begin(), argv.end());
        std::vector<char*> pointers;
        for (std::string& arg : args)
            pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!setup.in_path.empty())
            posix_spawn_file_actions_addopen(&actions, 0, setup.in_path.c_str(), O_RDONLY, 0);
        const int created = O_WRONLY | O_CREAT | O_TRUNC;
        posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(), created, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, (output_ / "err").c_str(), created, 0600);
        int spawned =
            posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, pointers.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) throw std::runtime_error("cannot start " + argv[0]);
    }
    ~ChildProcess() {
        send(SIGKILL);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits for the exit, killing the child once `limit` has passed, and
    // gives what it wrote (standard output only where it went to a file of
    // its own).
    ProgramResult finish(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        if (pid_ > 0 &&
            !wait_until([&] { return waitpid(pid_, &status_, WNOHANG) == pid_; }, limit)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
        }
        pid_ = -1;
        bool own_out = out_path_.starts_with(output_.root());
        return {WIFEXITED(status_) ? WEXITSTATUS(status_) : -1, own_out ? read_file(out_path_) : "",
                read_file(output_ / "err")};
    }
    void send(int signal_number) {
        if (pid_ > 0) kill(pid_, signal_number);
    }
    // The program's own process id: env(1) becomes the program.
    pid_t pid() const { return pid_; }

  private:
    ScratchDirectory output_;
    std::string out_path_;
    pid_t pid_ = -1; // -1 once reaped
    int status_ = 0; // as waitpid gives it
};

// Starts `argv` and finishes it.
inline ProgramResult run_program(const std::vector<std::string>& argv,
                                 const ChildSetup& setup = {}) {
    return ChildProcess(argv, setup).finish();
}
