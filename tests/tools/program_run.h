// Running the built tools from the tests, and the files they work on.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct ProgramResult {
    int status = -1; // exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
};

// A program started in the background; its output goes to files.
struct RunningProgram {
    pid_t pid = -1;
    std::string scratch; // holds the output files
    std::string out_path;
    std::string err_path;
};

// Starts `argv` (argv[0] a path) in `directory` (the current one when empty),
// with standard output to `out_path` (a file of its own when empty).
RunningProgram start_program(const std::vector<std::string>& argv,
                             const std::string& directory = "", const std::string& out_path = "");
// Waits for it to end and collects what it wrote.
ProgramResult finish_program(const RunningProgram& program);
// Both in one.
ProgramResult run_program(const std::vector<std::string>& argv, const std::string& directory = "",
                          const std::string& out_path = "");

// A fresh directory of its own under the system's temporary directory.
std::string scratch_directory();

// A scratch directory that goes away with everything in it.
struct Scratch {
    std::string path = scratch_directory();
    Scratch() = default;
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch();
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);

// The lines of `text`, without their newlines.
std::vector<std::string> lines_of(const std::string& text);
