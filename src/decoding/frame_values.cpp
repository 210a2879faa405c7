#include "frame_values.h"

#include <cstdio>

namespace {

constexpr double SCALE_FINE = 10000.0; // modes 0 and 2
constexpr double SCALE_TENTH = 10.0;   // modes 1 and 3
constexpr double MILLI = 0.001;        // mode 0 counter, and ms to s for the time text
constexpr double ANGLE = 8.3819e-08;   // modes 2 and 3: 360 / 2^32, as the instrument documents it
constexpr double DAY = 86400.0;

bool fine_scaling(int mode) { return mode == 0 || mode == 2; }

// Truncates toward zero and removes that many `unit`s from `t`.
int take_whole(double* t, double unit) {
    int whole = static_cast<int>(*t / unit);
    *t -= unit * whole;
    return whole;
}

void decode_groups(const unsigned char* frame, uint16_t* groups) {
    for (int g = 0; g < GROUP_COUNT; ++g) {
        int o = OFF_GROUPS + GROUP_SIZE * g;
        groups[4 * g] = word_at(frame, o);
        groups[4 * g + 1] = word_at(frame, o + 2);
        groups[4 * g + 2] = frame[o + 4];
        groups[4 * g + 3] = frame[o + 5];
    }
}

} // namespace

double scaled_word(const unsigned char* frame, int offset, double divisor) {
    auto word = static_cast<int16_t>(word_at(frame, offset));
    return static_cast<float>(word / divisor);
}

double counter_value(int mode, int32_t counter) { return counter * (mode == 0 ? MILLI : ANGLE); }

void time_text(int32_t counter, char* text, int size) {
    double t = counter * MILLI;
    take_whole(&t, DAY);
    int hours = take_whole(&t, 3600.0);
    int minutes = take_whole(&t, 60.0);
    std::snprintf(text, static_cast<size_t>(size), "%02d:%02d:%04.1f", hours, minutes, t);
}

void decode_counts(const unsigned char* frame, FrameValues* v) {
    v->mode = frame_mode(frame);
    unpack(frame + OFF_COUNTS, v->counts, BINS_PER_MODE);
}

void decode_frame(const unsigned char* frame, FrameValues* v) {
    decode_counts(frame, v);
    v->counter = frame_counter(frame);
    v->word_10 = word_at(frame, OFF_WORD_10);
    v->word_12 = word_at(frame, OFF_WORD_12);
    v->word_14 = word_at(frame, OFF_WORD_14);
    v->word_244 = word_at(frame, OFF_WORD_244);
    v->word_252 = word_at(frame, OFF_WORD_252);
    bool fine = fine_scaling(v->mode);
    double divisor = fine ? SCALE_FINE : SCALE_TENTH;
    v->scaled_count = fine ? 3 : 2;
    for (int i = 0; i < 3; ++i)
        v->scaled[i] =
            i < v->scaled_count ? scaled_word(frame, OFF_SCALED_246 + 2 * i, divisor) : 0.0;
    v->counter_value = v->mode == 1 ? 0.0 : counter_value(v->mode, v->counter);
    v->time_text[0] = '\0';
    if (v->mode == 1) time_text(v->counter, v->time_text, TIME_TEXT_SIZE);
    unpack(frame + OFF_RATES, v->rates, RATE_COUNT);
    decode_groups(frame, v->groups);
}
