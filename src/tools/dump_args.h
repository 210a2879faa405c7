// kxdump's command line.
#pragma once

#include <string>

#include "command_line.h"

constexpr const char* DUMP_USAGE =
    "usage: kxdump [--csv] [--summary] [--spectrum OUT.csv] RECORDING";

struct DumpArgs {
    bool csv = false;               // CSV rows instead of JSON Lines
    bool summary = false;           // only the summary line
    const char* spectrum = nullptr; // where to write the spectrum CSV, if anywhere
    const char* recording = nullptr;
};

// Fills `args`; on Command::usage_error, `error` says what is wrong.
Command parse_dump_args(int argc, const char* const* argv, DumpArgs* args, std::string* error);
