// The batch decoder's output: a good frame as a JSON line or a CSV row, the
// summary line, and the accumulated spectrum as CSV. Each function appends
// whole lines, newline included.
#pragma once

#include <cstdint>

#include "accumulator.h"
#include "frame_values.h"
#include "journal_reader.h"
#include "text_buffer.h"

// Where a good frame was found in the recording, and when it came.
struct FramePlace {
    int64_t index;   // among the good frames, from 0
    int64_t offset;  // of the frame's first byte in the file
    int32_t skipped; // the skipped-byte counter once the frame was found
    // Its arrival time's text, "" when the journal does not tell it; null:
    // no arrival field at all (--times not given).
    const char* arrival = nullptr;
};

void append_json_frame(TextBuffer& out, const FramePlace& place, const FrameValues& values);

// frames: the number of good frames; skipped: the counter at the end.
void append_json_summary(TextBuffer& out, const SpectrumStore& store, int64_t frames,
                         int32_t skipped);

// With `arrival`, an arrival column after the offset.
void append_csv_header(TextBuffer& out, bool arrival);
// Columns that the frame's mode does not carry are left empty.
void append_csv_frame(TextBuffer& out, const FramePlace& place, const FrameValues& values);

// A journal's event or note as a JSON line: time, offset, kind, text.
void append_json_event(TextBuffer& out, const JournalEvent& event);

// One row per channel under a header, with the normalised value the graph
// would plot.
void append_spectrum_csv(TextBuffer& out, const SpectrumStore& store);
