#include "program_run.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

RunningProgram start_program(const std::vector<std::string>& argv, const std::string& directory,
                             const std::string& out_path) {
    RunningProgram program;
    program.scratch = scratch_directory();
    program.out_path = out_path.empty() ? program.scratch + "/out" : out_path;
    program.err_path = program.scratch + "/err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, program.out_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, program.err_path.c_str(), O_WRONLY | O_CREAT,
                                     0600);
    if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    int spawned = posix_spawn(&program.pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + argv[0]);
    return program;
}

ProgramResult finish_program(const RunningProgram& program) {
    int status = 0;
    waitpid(program.pid, &status, 0);
    ProgramResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (program.out_path.starts_with(program.scratch)) {
        result.out = read_file(program.out_path);
        unlink(program.out_path.c_str());
    }
    result.err = read_file(program.err_path);
    unlink(program.err_path.c_str());
    rmdir(program.scratch.c_str());
    return result;
}

ProgramResult run_program(const std::vector<std::string>& argv, const std::string& directory,
                          const std::string& out_path) {
    return finish_program(start_program(argv, directory, out_path));
}

std::string scratch_directory() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/kx_tools_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no scratch directory");
    return pattern;
}

Scratch::~Scratch() { std::filesystem::remove_all(path); }

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
