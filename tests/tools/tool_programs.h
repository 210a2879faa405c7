// Running the built kxdump, kxsim and kxview from the tests, and what they
// did, in one text that a failed check shows whole.
#pragma once

#include <string>
#include <vector>

#include "child_process.h"

// `argv` with the program named by the built program's path.
inline std::vector<std::string> built(std::vector<std::string> argv) {
    argv[0] = argv[0] == "kxdump" ? KXDUMP : argv[0] == "kxsim" ? KXSIM : KXVIEW;
    return argv;
}

inline ProgramResult run(const std::vector<std::string>& argv, const ChildSetup& setup = {}) {
    return run_program(built(argv), setup);
}

// The exit status and what went to each stream.
inline std::string outcome(int status, const std::string& out, const std::string& err) {
    return std::to_string(status) + " out [" + out + "] err [" + err + "]";
}

inline std::string outcome(const ProgramResult& r) { return outcome(r.status, r.out, r.err); }
