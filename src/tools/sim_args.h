// kxsim's command line.
#pragma once

#include <cstdint>
#include <string>

#include "command_line.h"
#include "faults.h"
#include "serial_line.h"

constexpr const char* SIM_USAGE =
    "usage: kxsim [--out FILE | --link NAME] [--count N] [--rate FPS] "
    "[--seed S] [--bad P] [--junk P] [--drop P]";

constexpr int64_t DEFAULT_FILE_COUNT = 1000;
// The slowest pace: a frame every 100 s keeps the instrument's clocks sane.
constexpr double MIN_RATE = 0.01;
constexpr const char* DEFAULT_LINK = LINE_NAME;

struct SimArgs {
    const char* out = nullptr;  // write a recording here
    const char* link = nullptr; // or stream on a pseudo-terminal linked here
    int64_t count = -1;         // frames; -1: the mode's default
    double rate = 0.0;          // frames a second on the link; 0: the line's pace
    uint64_t seed = 1;
    FaultRates faults;
};

// Fills `args`, with the link named DEFAULT_LINK when neither --out nor --link
// is given; on Command::usage_error, `error` says what is wrong.
Command parse_sim_args(int argc, const char* const* argv, SimArgs* args, std::string* error);
