// Limits on decoded values and how each stands, frame after frame: the state
// a display colours, with what an operator asks afterwards (how bad, how
// long, how often). Sized when the limits are read: evaluating a frame
// allocates nothing, so kxview can do it on every frame.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "frame_values.h"

// Ordered by severity: a greater state is a worse one.
enum class LimitState : uint8_t { IN_RANGE, YELLOW, RED };

// "in range", "yellow", "red".
const char* limit_state_text(LimitState state);

// An arrival time the caller does not know.
constexpr int64_t UNKNOWN_TIME = std::numeric_limits<int64_t>::min();

constexpr double NO_LOW = -std::numeric_limits<double>::infinity();
constexpr double NO_HIGH = std::numeric_limits<double>::infinity();

// One value's limits; a limit not given lies at infinity, where no value goes.
// A value strictly beyond a limit is beyond it.
struct LimitRule {
    int value = 0; // the watched value (limit_values.h)
    double red_low = NO_LOW, yellow_low = NO_LOW, yellow_high = NO_HIGH, red_high = NO_HIGH;
    // Frames in a row that must agree before the state changes, either way:
    // a single noisy frame neither raises nor clears an alarm.
    int32_t persistence = 1;
};

// What the operator reads beside the value.
struct LimitLabel {
    std::string label, unit;
};

// How one limit stands and what it has seen since the limits were read.
struct LimitStatus {
    LimitState state = LimitState::IN_RANGE;
    // Set by the caller once the operator has seen the state; a change to a
    // worse state clears it, so that a new alarm is never hidden.
    bool acknowledged = false;
    // The value that went farthest beyond its limits while out of range.
    bool has_worst = false;
    double worst = 0.0;
    double worst_excess = 0.0; // how far `worst` lay beyond the nearest limit on its side
    int64_t frames_yellow = 0, frames_red = 0; // frames spent in each state
    int64_t excursions = 0;                    // times the state left "in range"
    // Arrival of the first and the last frame spent out of range; either may be
    // UNKNOWN_TIME, as the caller gave it.
    int64_t first_time = UNKNOWN_TIME, last_time = UNKNOWN_TIME;
    // For persistence: frames of this value seen, and the number of the last
    // one at each level (in range, yellow, red; -1: none yet). The frames in a
    // row at or beyond a level follow from them, with one store a frame.
    int64_t seen = 0;
    int64_t last_at[3] = {-1, -1, -1};
};

// A frame's state change of limit number `limit`.
struct LimitChange {
    int limit;
    LimitState from, to;
    double value; // the value in the frame that completed the change
};

// The limits read from a file, in its order, and their statuses: the three
// vectors have one entry per limit and keep their size once read.
struct Limits {
    std::vector<LimitRule> rules;
    std::vector<LimitLabel> labels;
    std::vector<LimitStatus> status;
};

// Every status as it was before the first frame.
void reset_limits(Limits* limits);

// Evaluates the values of one decoded frame that came at `time` (or
// UNKNOWN_TIME) against every limit whose value the frame's mode carries.
// Writes up to `capacity` state changes into `changes`, in the limits'
// order, and returns how many there were: a buffer with room for every limit
// never misses one.
int evaluate_frame(Limits* limits, const FrameValues& values, int64_t time, LimitChange* changes,
                   int capacity);
