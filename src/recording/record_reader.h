// Reads a recording (a plain sequence of 256-byte frames) as records that
// pass the frame checksum, resynchronising on 0xEB 0x90 after a bad one.
// Used without pacing by the batch decoder and, paced, by the replay source.
// The stream is only ever read forward, so pipes and terminals do as well as
// files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "frame_format.h"

// Largest read-ahead that start_reading takes; more is cut to this.
constexpr size_t READ_AHEAD_MAX = size_t{1} << 17;

// Where reading one stream stands. Its window makes it large, so a program
// keeps its one reader in static storage, like its other working storage.
struct RecordReader {
    std::FILE* stream = nullptr;
    size_t read_ahead = 0;
    int error = 0;             // errno of the first failed read (EIO when the system gave none)
    int32_t skipped = 0;       // bytes passed over; saturates rather than wrapping
    size_t begin = 0;          // first unused byte of the window
    size_t end = 0;            // one past the last byte read into it
    int64_t window_offset = 0; // stream offset of window[0]
    // What was read and not yet used up. After a bad record the scan for the
    // next pattern starts at its second byte, so its bytes stay here until
    // they are scanned: this look-back is what spares the reader a seek.
    unsigned char window[FRAME_SIZE + READ_AHEAD_MAX];
};

// Starts reading `stream` (or nothing, when null) from its current byte,
// with nothing skipped and no error yet. Each read asks the stream for at
// least `read_ahead` bytes: 0 asks for no more than the record in hand needs,
// so a record from a slow pipe is delivered as soon as it is in.
void start_reading(RecordReader* reader, std::FILE* stream, size_t read_ahead = 0);

// Reads the next record that passes the checksum into `frame`. Returns 0, or
// -1 when the input has ended (end of input, a short tail, a bad record with
// no sync pattern after it, or a read error).
int read_record(RecordReader* reader, unsigned char* frame);

// Right after read_record returned a record: where it starts, in bytes from
// the start of the stream.
int64_t record_offset(const RecordReader& reader);

// Adds `bytes` to the skipped count, held at the 32-bit limit.
void count_skipped(RecordReader* reader, int64_t bytes);
