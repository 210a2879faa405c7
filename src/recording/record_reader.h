// Reads a recording (a plain sequence of 256-byte frames) as records that
// pass the frame checksum, resynchronising on 0xEB 0x90 after a bad one.
// Used without pacing by the batch decoder, paced by the replay source, and
// over the serial line by the live source, so that a live run takes exactly
// the frames that a replay of its raw log takes. The input is only ever read
// forward, so pipes and terminals do as well as files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "frame_format.h"

// Largest read-ahead that start_reading takes; more is cut to this.
constexpr size_t READ_AHEAD_MAX = size_t{1} << 17;

struct RecordReader;

// Puts up to `count` bytes of the input at `into` and returns how many came:
// fewer when no more came for now. Sets the reader's `ended` (and `error`)
// once no more will ever come.
using FillBytes = size_t (*)(RecordReader* reader, unsigned char* into, size_t count);

// Where reading one input stands. Its window makes it large, so a program
// keeps its one reader in static storage, like its other working storage.
struct RecordReader {
    FillBytes fill = nullptr;
    void* input = nullptr; // what `fill` reads: a std::FILE*, or the caller's own
    size_t read_ahead = 0;
    bool ended = false;        // no more bytes will come
    bool scanning = false;     // `begin` lies in a scan for the next pattern, not at a record
    int error = 0;             // errno of the first failed read (EIO when the system gave none)
    int32_t skipped = 0;       // bytes passed over; saturates rather than wrapping
    size_t begin = 0;          // first unused byte of the window
    size_t end = 0;            // one past the last byte read into it
    int64_t window_offset = 0; // input offset of window[0]
    int64_t record_start = 0;  // input offset of the record checked last
    // What was read and not yet used up. After a bad record the scan for the
    // next pattern starts at its second byte, so its bytes stay here until
    // they are scanned: this look-back is what spares the reader a seek.
    unsigned char window[FRAME_SIZE + READ_AHEAD_MAX];
};

// Starts reading `stream` (or nothing, when null) from its current byte,
// which lies `offset` bytes into the input, with nothing skipped and no
// error yet. Each read asks the stream for at least `read_ahead` bytes: 0
// asks for no more than the record in hand needs, so a record from a slow
// pipe is delivered as soon as it is in.
void start_reading(RecordReader* reader, std::FILE* stream, size_t read_ahead = 0,
                   int64_t offset = 0);

// Starts reading whatever `fill` reads from `input`, from `offset` bytes
// into it, asking for at least `read_ahead` bytes at a time.
void start_reading_from(RecordReader* reader, FillBytes fill, void* input, size_t read_ahead = 0,
                        int64_t offset = 0);

// One step of reading: returns 0 with the next record that passes the
// checksum in `frame`; 1 after a record that fails it; 2 after passing over
// a record's worth of bytes without a pattern (call again: a line of noise
// cannot hold its caller for long); -1 when the bytes ran out first, for now
// or for good (what was read is kept for the next call).
int next_record(RecordReader* reader, unsigned char* frame);

// Reads the next record that passes the checksum into `frame`. Returns 0, or
// -1 when the input has ended (end of input, a short tail, a bad record with
// no sync pattern after it, or a read error).
int read_record(RecordReader* reader, unsigned char* frame);

// Right after next_record returned 0 or 1 (or read_record 0): where the
// record it checked starts, in bytes from the start of the input.
int64_t record_offset(const RecordReader& reader);

// Adds `bytes` to the skipped count, held at the 32-bit limit.
void count_skipped(RecordReader* reader, int64_t bytes);
