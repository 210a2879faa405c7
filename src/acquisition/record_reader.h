// Reads a recording (a plain sequence of 256-byte frames) as records that
// pass the frame checksum, resynchronising on 0xEB 0x90 after a bad one.
// Used without pacing by the batch decoder and, paced, by the replay source.
// The stream is only ever read forward, so pipes and terminals do as well as
// files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Largest read-ahead that set_replay_stream takes; more is cut to this.
constexpr size_t READ_AHEAD_MAX = size_t{1} << 17;

// The stream records are read from, standing at its first byte (or null);
// forgets whatever was read from an earlier stream. Each read asks the stream
// for at least `read_ahead` bytes: 0 asks for no more than the record in hand
// needs, so a record from a slow pipe is delivered as soon as it is in.
void set_replay_stream(std::FILE* stream, size_t read_ahead = 0);

// Reads the next record that passes the checksum into `frame`. Returns 0, or
// -1 when the input has ended (end of input, a short tail, a bad record with
// no sync pattern after it, or a read error).
int read_record(unsigned char* frame);

// Right after read_record returned a record: where it starts, in bytes from
// the start of the stream.
int64_t record_offset();

// The errno of a read that failed (EIO when the system gave none), or 0 while
// every read has succeeded or merely met the end of the input.
int replay_read_error();

// Bytes passed over by resynchronisation since start; never reset.
int32_t skipped_bytes();
// Counts bytes passed over elsewhere (the live source realigning) alike.
void add_skipped_bytes(int32_t bytes);
