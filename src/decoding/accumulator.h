// The 208-channel spectrum: bin table, counts per frame mode, and the
// normalised plot. Channel n is bin n % 52 of frame mode n / 52.
#pragma once

#include <cstdint>

#include "frame_values.h"

constexpr int CHANNEL_COUNT = MODE_COUNT * BINS_PER_MODE; // 208

struct SpectrumStore {
    int16_t bin_width[CHANNEL_COUNT]; // x-axis units of the graph
    int16_t bin_pos[CHANNEL_COUNT];   // x position each channel is plotted at
    int32_t counts[MODE_COUNT][BINS_PER_MODE];
    int32_t mode_frames[MODE_COUNT]; // frames accumulated per mode, either sign
    float norm;                      // normalisation constant, 2.4f
};

// Fills the bin table and norm; leaves counts and mode_frames alone.
void init(SpectrumStore* store);

// Adds (setting > 0) or subtracts (setting < 0) a decoded frame's 52 counts
// into its mode's bins and counts the frame in mode_frames; setting 0 does
// nothing. Sums saturate at the 32-bit limits instead of wrapping.
void accumulate_counts(SpectrumStore* store, const FrameValues& frame, int setting);

// counts / bin_width / mode_frames / norm per channel, in double precision
// rounded once to float; 0.0 for a mode without frames.
void normalise(const SpectrumStore* store, float plot[CHANNEL_COUNT]);

// Counts and mode_frames to 0, at a reset and at the start of every service
// pass: a fresh spectrum is normalised by its own frames only.
void clear_spectrum(SpectrumStore* store);
