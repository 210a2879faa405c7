// kxdump's option parsing over arbitrary argument vectors: the input split on
// NUL bytes, the program name first. A run always names one recording from
// the vector and never asks for CSV and the summary together; a usage error
// always says what is wrong.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dump_args.h"
#include "fuzz_check.h"

namespace {

// Whether `arg` is one of the vector's own strings (not a copy).
bool from_argv(const char* arg, const std::vector<const char*>& argv) {
    for (const char* a : argv)
        if (a == arg) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The NUL bytes end the arguments in place; the string's own terminator
    // ends the last one.
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<const char*> argv{"kxdump"};
    for (size_t begin = 0; size > 0;) {
        argv.push_back(text.c_str() + begin);
        size_t end = text.find('\0', begin);
        if (end == std::string::npos) break;
        begin = end + 1;
    }
    DumpArgs args;
    std::string error;
    Command command = parse_dump_args(static_cast<int>(argv.size()), argv.data(), &args, &error);
    switch (command) {
    case Command::run:
        require(args.recording != nullptr && from_argv(args.recording, argv),
                "a run names a recording from the command line");
        require(!(args.csv && args.summary), "CSV and the summary exclude each other");
        require(error.empty(), "a run carries no error");
        break;
    case Command::usage_error: require(!error.empty(), "a usage error says what is wrong"); break;
    case Command::help:
    case Command::version: break;
    }
    require(args.spectrum == nullptr || from_argv(args.spectrum, argv),
            "the spectrum file is named on the command line");
    return 0;
}
