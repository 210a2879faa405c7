// What the tools share on their command lines: -h/--help, --version and the
// usage error.
#pragma once

#include <string>
#include <string_view>

enum class Command { run, help, version, usage_error };

// The names and texts a tool answers the standard commands with.
struct ToolText {
    const char* name;
    const char* usage; // "usage: NAME ..."
    const char* help;  // what follows the usage line in --help
};

constexpr int EXIT_USAGE = 2;
constexpr int KEEP_RUNNING = -1;

// True for -h/--help and --version, with the command they ask for.
bool standard_option(std::string_view arg, Command* command);

// Answers help and version on standard output (status 0) and a usage error
// with `error` and the usage line on standard error (status 2). Returns
// the exit status, or KEEP_RUNNING for Command::run.
int answer_command(Command command, const ToolText& tool, const std::string& error);
