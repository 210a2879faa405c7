// The limits file, in TOML: one table per watched value, named as the value
// is ("[words.244]"), with its limits, persistence, label and unit. Read and
// checked whole: a file with any problem gives no limits, so that a typing
// error never leaves a value silently unwatched.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "limit_state.h"

struct LimitsReading {
    Limits limits; // in the file's order, statuses fresh; empty with any problem
    // Each as "FILE:LINE: KEY: what is wrong", by line.
    std::vector<std::string> problems;
};

// Reads the limits in `text`, named `file_name` in the problems.
void parse_limits(std::string_view text, const std::string& file_name, LimitsReading* reading);

// Reads the limits file at `path`. Returns 0, or the errno of a file that
// cannot be read (and then there are neither limits nor problems).
int read_limits_file(const std::string& path, LimitsReading* reading);
