// Built programs run from the tests as child processes, with bounded waits.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

#include "scratch_directory.h"

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
    explicit ChildProcess(const std::vector<std::string>& argv, const ChildSetup& setup = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits for the exit, killing the child once `limit` has passed, and
    // gives what it wrote (standard output only where it went to a file of
    // its own).
    ProgramResult finish(std::chrono::milliseconds limit = std::chrono::seconds(20));
    void send(int signal_number);

  private:
    ScratchDirectory output_;
    std::string out_path_;
    pid_t pid_ = -1; // -1 once reaped
    int status_ = 0; // as waitpid gives it
};

// Starts `argv` and finishes it.
ProgramResult run_program(const std::vector<std::string>& argv, const ChildSetup& setup = {});
