#include "dump_args.h"

#include <string_view>

namespace {

// Handles one option; false with `error` set when it is not one of ours or
// lacks its value.
bool dump_option(std::string_view arg, int argc, const char* const* argv, int* i, DumpArgs* args,
                 std::string* error) {
    if (arg == "--csv") {
        args->csv = true;
    } else if (arg == "--summary") {
        args->summary = true;
    } else if (arg == "--spectrum") {
        if (*i + 1 >= argc) {
            *error = "--spectrum needs the name of its output file";
            return false;
        }
        args->spectrum = argv[++*i];
    } else {
        *error = "unknown option '" + std::string(arg) + "'";
        return false;
    }
    return true;
}

bool is_option(std::string_view arg) { return arg.size() > 1 && arg[0] == '-'; }

} // namespace

Command parse_dump_args(int argc, const char* const* argv, DumpArgs* args, std::string* error) {
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        Command standard;
        if (!options_done && arg == "--") {
            options_done = true;
        } else if (!options_done && standard_option(arg, &standard)) {
            return standard;
        } else if (!options_done && is_option(arg)) {
            if (!dump_option(arg, argc, argv, &i, args, error)) return Command::usage_error;
        } else if (args->recording != nullptr) {
            *error = "one recording only, not '" + std::string(args->recording) + "' and '" +
                     std::string(arg) + "'";
            return Command::usage_error;
        } else {
            args->recording = argv[i];
        }
    }
    if (args->recording == nullptr) {
        *error = "no recording given";
        return Command::usage_error;
    }
    if (args->csv && args->summary) {
        *error = "--csv and --summary exclude each other";
        return Command::usage_error;
    }
    return Command::run;
}
