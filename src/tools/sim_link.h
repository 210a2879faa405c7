// kxsim on its link: records over a pseudo-terminal, paced like the serial
// line or as fast as the reader takes them, until their count (none: until
// a stop signal); Ctrl-Z pauses between two records.
#pragma once

#include <cstdint>
#include <string>

#include "serial_line.h"
#include "sim_records.h"

struct LinkOptions {
    std::string name = LINE_NAME; // the link, in the working directory
    double rate = 0.0;            // frames a second; 0: the line's pace; inf: unpaced
    int64_t burst = 0;            // records sent unpaced before the pace
};

// Returns the exit status: 1 when the link cannot be made.
int stream_on_link(const LinkOptions& link, const RecordOptions& records);
