// kxdump --limits: a recording checked against a limits file, as JSON lines:
// one per state change of a limit, then one summary per limit.
#pragma once

#include <cstdint>
#include <vector>

#include "dump_output.h"
#include "limit_state.h"
#include "text_buffer.h"

struct LimitCheck {
    Limits limits;
    std::vector<LimitChange> changes; // room for a change of every limit in one frame
};

// Takes the limits read from the file, statuses fresh.
void start_limit_check(LimitCheck* check, Limits limits);

// Evaluates a decoded frame that came at `time` (UNKNOWN_TIME when the
// journal does not tell it) and appends a line per state change; the
// arrival is `place.arrival`, or null when that is empty or null.
void check_frame_limits(LimitCheck* check, const FramePlace& place, int64_t time,
                        const FrameValues& values, TextBuffer& out);

// One summary line per limit, in the file's order: frames spent yellow and
// red, the worst value (null when never out of range), the excursions, and
// the arrival of the first and the last frame out of range.
void append_limit_summaries(TextBuffer& out, const Limits& limits);
