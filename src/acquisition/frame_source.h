// Hands the service loop one 256-byte frame at a time.
#pragma once

#include <cstdint>
#include <cstdio>

enum SourceFlag {
    SOURCE_LIVE = 0,
    SOURCE_REPLAY = 1,
};

// Live: one 256-byte read from COM1, taken as is when it starts with the
// sync pattern or holds none; when the pattern lies inside it, the frame that
// begins there, completed by a further read, with the bytes before it counted
// as skipped. Replay: waits 0.2 s, then reads the next record that passes the
// checksum. Returns 0 for a frame in `frame`, -1 for none (short or failed
// read, end of input, unknown flag).
int get_frm(unsigned char* frame, int source);

// After a live get_frm, whether it found a frame or not: the bytes that its
// complete reads returned and that no earlier call gave, in arrival order,
// so that a raw log of them holds the line's bytes exactly. Returns their
// count and points `bytes` at them.
int live_arrivals(const unsigned char** bytes);

// The recording that replay reads, from its current byte (null: none).
void set_replay_stream(std::FILE* stream);

// The errno of a replay read that failed, or 0 while every read has succeeded
// or merely met the end of the input.
int replay_read_error();

// Bytes passed over since start, by replay resynchronisation or live
// realignment; never reset.
int32_t skipped_bytes();
