// What the tools share on their command lines: -h/--help, --version and the
// usage error.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

enum class Command { run, help, version, usage_error };

constexpr int EXIT_USAGE = 2;

// True for -h/--help and --version, with the command they ask for.
bool standard_option(std::string_view arg, Command* command);

// "TOOL VERSION" on standard output.
void print_version(const char* tool);

// "TOOL: MESSAGE" and the usage line on `stream`.
void print_usage_error(std::FILE* stream, const char* tool, const std::string& message,
                       const char* usage);
