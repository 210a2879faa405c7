// Every field of a frame decoded to the values the panel shows. Shared by the
// display path and the batch decoder so both show the same numbers.
#pragma once

#include <cstdint>

#include "frame_format.h"

// Room for the longest time text, such as "-23:-59:-60.0", and its terminator.
constexpr int TIME_TEXT_SIZE = 16;

struct FrameValues {
    int mode;                                          // 0-3
    int32_t counter;                                   // bytes 6-9, signed
    int word_10, word_12, word_14, word_244, word_252; // unsigned 16-bit
    // The scaled words as the panel receives them: the single-precision
    // quotient widened to double. Modes 0 and 2 use all three (/10000);
    // modes 1 and 3 only the first two (/10).
    double scaled[3];
    int scaled_count;
    // Modes 0, 2, 3: the counter's scaled value. Mode 1: time_text instead.
    double counter_value;
    char time_text[TIME_TEXT_SIZE];
    int32_t rates[RATE_COUNT];
    uint16_t groups[GROUP_VALUE_COUNT];
    int32_t counts[BINS_PER_MODE];
};

// A signed 16-bit word divided by `divisor` in double precision and rounded
// to single precision, widened back.
double scaled_word(const unsigned char* frame, int offset, double divisor);

// Counter value shown in modes 0 (c x 0.001), 2 and 3 (c x 8.3819e-08).
double counter_value(int mode, int32_t counter);

// The counter as milliseconds, shown as the time within the day with
// "%02d:%02d:%04.1f"; negative counters give negative fields.
void time_text(int32_t counter, char* text, int size);

// Decodes every field of `frame`.
void decode_frame(const unsigned char* frame, FrameValues* values);

// Decodes only what the spectrum accumulates: the mode and the counts.
void decode_counts(const unsigned char* frame, FrameValues* values);
