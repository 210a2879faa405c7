// What the command lines of kxview, kxdump and kxsim share. CLI11 parses;
// each program defines its options once, with their help, and the usage
// line and the help are made from them, laid out alike for all three. The
// answers and exit statuses are the ones the manual pages document.
#pragma once

#include <charconv>
#include <string>
#include <system_error>

#include <CLI/CLI.hpp>

constexpr int EXIT_USAGE = 2;
constexpr int KEEP_RUNNING = -1;

// Adds -h/--help and --version to `app`, whose name and description are
// its program's, and lays out its help: the usage line, the description,
// every option with its help, then `footer`.
void set_up_command_line(CLI::App* app, const std::string& footer);

// "usage: NAME [--option VALUE] ... POSITIONAL", from the options.
std::string usage_line(const CLI::App& app);

// Parses the arguments after argv[0]. Answers --help and --version on
// standard output (status 0), and a usage error with its reason and the
// usage line on standard error (status 2). Returns the exit status, or
// KEEP_RUNNING when the program is to run.
int parse_command_line(CLI::App* app, int argc, const char* const* argv);

// Accepts a value that is wholly a number of type T from `low` to `high`;
// else the message says what was `expected`.
template <typename T> CLI::Validator number_from(T low, T high, const std::string& expected) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            T value{};
            auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
            bool whole = error == std::errc() && end == text.data() + text.size() && !text.empty();
            if (whole && value >= low && value <= high) return {};
            return "invalid value '" + text + "': expected " + expected;
        },
        "");
}
