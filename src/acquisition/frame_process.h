// Shows one good frame on the panel.
#pragma once

#include "accumulator.h"
#include "frame_values.h"

// Writes the housekeeping, scaled and counter fields of `frame` to their
// controls, appends rates and group values to the strip charts, and, with
// `accumulate` nonzero, accumulates the frame's counts into `store`.
void frm_process(const unsigned char* frame, SpectrumStore* store, int panel, int accumulate);

// Appends a frame's rates and group values to the strip charts, at its
// arrival time (NO_TIME: not known).
void plot_strip_charts(int panel, const FrameValues& values, long long arrival);
