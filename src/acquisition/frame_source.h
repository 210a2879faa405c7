// Hands the service loop one 256-byte frame at a time.
#pragma once

#include <cstdint>
#include <cstdio>

enum SourceFlag {
    SOURCE_LIVE = 0,
    SOURCE_REPLAY = 1,
    SOURCE_BROKER = 2, // a run viewed through a broker
};

// Starts the frames of a run, with nothing skipped yet: from COM1 (live), or
// from `recording` from its current byte (replay; null: none).
void start_frames(int source, std::FILE* recording);

// Both sources take records as the recording reader does: a record counts
// when it passes the frame checksum, and after a bad one the bytes up to the
// next 0xEB 0x90 are skipped. So a live run shows exactly the frames that a
// replay of its raw log shows. Live reads what the record in hand needs;
// replay reads on to the next good record when the transport says it is due
// (at the standard pace, after 0.2 s).
// Returns 0 for a frame in `frame`; live, 1 for a record that failed the
// checksum and 2 for a record's worth of noise passed over; in replay,
// FRAME_LATER while none is due; -1 for none: a short or failed read, the
// end of the input, an unknown flag.
int get_frm(unsigned char* frame, int source);

// After a live get_frm, whatever it returned: the bytes that its reads took
// off the line, short reads included, in arrival order, so that a raw log of
// them holds the line's bytes exactly. Returns their count and points `bytes`
// at them.
int live_arrivals(const unsigned char** bytes);

// The errno of a replay read that failed, or 0 while every read has succeeded
// or merely met the end of the input.
int replay_read_error();

// After get_frm returned 0 or 1: where that record starts in the input.
int64_t frame_offset();

// After a live get_frm returned 0 or 1: the record's FRAME_SIZE bytes, a
// bad one's too (the frame buffer gets only good ones).
const unsigned char* live_record();

// Bytes passed over since the run started, to reach a record's start.
int32_t skipped_bytes();
