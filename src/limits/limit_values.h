// The decoded values a limit can watch, each named as kxdump names its JSON
// field where it can ("words.244", "scaled.246"), and read from a decoded
// frame by a small number, so that the per-frame path never looks a name up.
#pragma once

#include <cstddef>
#include <string_view>

#include "frame_values.h"

// The values in one flat numbering, group by group in the order of the names
// below: words.10 is 0, groups.20.byte5 is WATCHED_VALUE_COUNT - 1.
constexpr int WATCHED_WORDS = 0;    // words.10 12 14 244 252
constexpr int WATCHED_SCALED = 5;   // scaled.246 248 250, modes 0 and 2 (/10000)
constexpr int WATCHED_TENTHS = 8;   // tenths.246 248, modes 1 and 3 (/10)
constexpr int WATCHED_COUNTER = 10; // counter.mode0 mode2 mode3: counter_value
constexpr int WATCHED_RATES = 13;   // rates.1 to rates.20, as the panel numbers its traces
constexpr int WATCHED_GROUPS = 33;  // groups.G.word01 word23 byte4 byte5, G from 1 to 20
constexpr int WATCHED_VALUE_COUNT = 113;

// "groups.20.word23" and its terminator, with room to spare.
constexpr size_t VALUE_NAME_SIZE = 24;

// The number of the value called `name`, or -1 when no value is called so.
int watched_value(std::string_view name);

// True when `path` leads to values without naming one: "words", "groups",
// "groups.7". A limits file nests its tables along such paths.
bool watched_prefix(std::string_view path);

// The name of value `value` (0 to WATCHED_VALUE_COUNT - 1) into `text`.
void watched_value_name(int value, char (&text)[VALUE_NAME_SIZE]);

// The frame offset of the word that words.*, scaled.* and tenths.* read, or
// -1 for the others: the simulator writes there what a limit reads.
int watched_word_offset(int value);

// The modes whose frames carry `value`, one bit per mode.
inline unsigned watched_modes(int value) {
    constexpr unsigned ALL = 0xF, EVEN = 0x5, ODD = 0xA;
    constexpr unsigned COUNTER_MODES[] = {0x1, 0x4, 0x8}; // modes 0, 2, 3; mode 1 tells the time
    if (value >= WATCHED_RATES) return ALL;
    if (value >= WATCHED_COUNTER) return COUNTER_MODES[value - WATCHED_COUNTER];
    if (value >= WATCHED_TENTHS) return ODD;
    if (value >= WATCHED_SCALED) return EVEN;
    return ALL;
}

// Every watched value of a decoded frame, in the flat numbering; those its
// mode does not carry are NaN, which no decoded value is. Read once per
// frame, so that each limit then costs one load whatever its value's kind.
void read_all_watched(const FrameValues& v, double (&out)[WATCHED_VALUE_COUNT]);

// Value `value` of a decoded frame into `out`; false when the frame's mode
// does not carry it, and then the frame says nothing about it.
bool read_watched(const FrameValues& v, int value, double* out);
