#include "child_process.h"

#include <csignal>
#include <stdexcept>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "files.h"
#include "wait_until.h"

extern char** environ;

// env(1) sets the working directory and the environment, so that the child
// gets them without any code of ours running between fork and exec.
ChildProcess::ChildProcess(const std::vector<std::string>& argv, const ChildSetup& setup)
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
    int spawned = posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + argv[0]);
}

ChildProcess::~ChildProcess() {
    send(SIGKILL);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
}

ProgramResult ChildProcess::finish(std::chrono::milliseconds limit) {
    if (pid_ > 0 && !wait_until([&] { return waitpid(pid_, &status_, WNOHANG) == pid_; }, limit)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
    pid_ = -1;
    bool own_out = out_path_.starts_with(output_.root());
    return {WIFEXITED(status_) ? WEXITSTATUS(status_) : -1, own_out ? read_file(out_path_) : "",
            read_file(output_ / "err")};
}

void ChildProcess::send(int signal_number) {
    if (pid_ > 0) kill(pid_, signal_number);
}

ProgramResult run_program(const std::vector<std::string>& argv, const ChildSetup& setup) {
    return ChildProcess(argv, setup).finish();
}
