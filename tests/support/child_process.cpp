#include "child_process.h"

#include <csignal>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "files.h"
#include "wait_until.h"

extern char** environ;

namespace {

std::string name_of(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// The inherited environment with `overrides` in place of same-named entries.
std::vector<std::string> environment_with(const std::vector<std::string>& overrides) {
    std::vector<std::string> environment = overrides;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        bool overridden = false;
        for (const std::string& override : overrides)
            overridden = overridden || name_of(override) == name_of(text);
        if (!overridden) environment.push_back(text);
    }
    return environment;
}

std::vector<char*> pointers_to(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const ChildSetup& setup)
    : out_path_(setup.out_path.empty() ? output_ / "out" : setup.out_path),
      err_path_(output_ / "err") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (!setup.directory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, setup.directory.c_str());
    std::vector<std::string> args = argv;
    std::vector<std::string> environment = environment_with(setup.environment);
    int spawned = posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, pointers_to(args).data(),
                              pointers_to(environment).data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + argv[0]);
}

ChildProcess::~ChildProcess() {
    if (reaped_) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

int ChildProcess::wait_for_exit(std::chrono::milliseconds limit) {
    if (!wait_until([&] { return !running(); }, limit)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
        reaped_ = true;
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

ProgramResult ChildProcess::finish(std::chrono::milliseconds limit) {
    ProgramResult result;
    result.status = wait_for_exit(limit);
    result.out = out();
    result.err = err();
    return result;
}

bool ChildProcess::running() {
    if (reaped_) return false;
    if (waitpid(pid_, &status_, WNOHANG) != pid_) return true;
    reaped_ = true;
    return false;
}

// The mask of caught signals in /proc/PID/status, as hex.
bool ChildProcess::wait_until_catching(int signal_number, std::chrono::milliseconds limit) {
    std::string status_path = "/proc/" + std::to_string(pid_) + "/status";
    return wait_until(
        [&] {
            std::istringstream lines(read_file(status_path));
            for (std::string line; std::getline(lines, line);) {
                if (line.rfind("SigCgt:", 0) != 0) continue;
                unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
                return ((mask >> (signal_number - 1)) & 1) != 0;
            }
            return false;
        },
        limit);
}

void ChildProcess::send(int signal_number) {
    if (!reaped_) kill(pid_, signal_number);
}

std::string ChildProcess::out() const {
    return out_path_.starts_with(output_.root()) ? read_file(out_path_) : "";
}

std::string ChildProcess::err() const { return read_file(err_path_); }

ProgramResult run_program(const std::vector<std::string>& argv, const ChildSetup& setup) {
    return ChildProcess(argv, setup).finish();
}
