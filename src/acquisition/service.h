// The service pass: the operator's event loop and the frame path.
#pragma once

#include <cstdio>

#include "accumulator.h"

// Sets the pass up, then answers events and reads frames until a commit on
// PANEL_QUIT (returns 1) or on a control it does not answer, PANEL_RESTART
// (returns 0).
int service(int panel, int source, SpectrumStore* store);

// A pass's two halves, for a benchmark to drive a replay as service() does:
// the settings, spectrum and transport a pass starts with, and one turn of
// the frame path (the next frame read when it is due, and shown).
void set_up_pass(int panel, int source, SpectrumStore* store);
void frame_turn(int panel, int source, SpectrumStore* store);

// The raw log that live frames are appended to; null in replay mode.
void set_raw_log(std::FILE* log);
