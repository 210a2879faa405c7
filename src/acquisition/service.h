// The service pass: the operator's event loop and the frame path.
#pragma once

#include <cstdio>

#include "accumulator.h"

// Sets the pass up, then answers events and reads frames until a commit on
// PANEL_QUIT (returns 1) or on a control outside 7 to 16 (returns 0).
int service(int panel, int source, SpectrumStore* store);

// The raw log that live frames are appended to; null in replay mode.
void set_raw_log(std::FILE* log);
