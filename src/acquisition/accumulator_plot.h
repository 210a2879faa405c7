// The spectrum's place on the panel.
#pragma once

#include "accumulator.h"

// Replots the graph with the store's normalised spectrum.
void plot_spectrum(int panel, const SpectrumStore* store);

// Operator reset: counts and mode_frames to 0, graph emptied.
void reset_spectrum(int panel, SpectrumStore* store);
