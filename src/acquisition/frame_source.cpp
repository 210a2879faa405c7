#include "frame_source.h"

#include <cstring>

#include "frame_format.h"
#include "record_reader.h"
#include "runtime.h"
#include "serial_line.h"

namespace {

constexpr double REPLAY_PAUSE = 0.2; // holds replay to five frames a second

// The replay reader. Its skipped count is the one the panel shows, and live
// realignment adds to it too.
RecordReader reader;

// The live bytes of the current call in arrival order: a block of 256, then
// what completes a frame that begins inside it.
unsigned char line[2 * FRAME_SIZE];
int line_count = 0;
// The first byte of `line` not yet handed to the raw log: 1 when the block
// begins with a byte carried over from the call that read it.
int unlogged = 0;
// The last call read one byte past its block that did not complete a
// pattern there: that byte begins the next block.
bool carry = false;

// Reads `count` more bytes onto the line. A short or failed read keeps
// none of its bytes: they are lost, as a short read's bytes always were.
bool read_on(int count) {
    if (ComRd(LINE_PORT, line + line_count, count) != count) return false;
    line_count += count;
    return true;
}

bool is_sync(const unsigned char* at) { return at[0] == SYNC_FIRST && at[1] == SYNC_SECOND; }

// Where the frame in a block begins: 0 when the block starts with the
// pattern or holds none; else at its first pattern, a last byte 0xEB
// counting as a pattern that may go on past the block's end.
int frame_start(const unsigned char* block) {
    if (is_sync(block)) return 0;
    for (int i = 1; i < FRAME_SIZE - 1; ++i)
        if (is_sync(block + i)) return i;
    return block[FRAME_SIZE - 1] == SYNC_FIRST ? FRAME_SIZE - 1 : 0;
}

// A block's last byte 0xEB is the start of a frame when the next byte is
// 0x90. Returns where the frame begins: there, or 0 for the block itself
// (the next byte then begins the next block; none came: the line is quiet).
int split_pattern_start() {
    if (!read_on(1)) return 0;
    carry = line[FRAME_SIZE] != SYNC_SECOND;
    return carry ? 0 : FRAME_SIZE - 1;
}

// One block as it came, or the frame that begins at a sync pattern inside
// it: an instrument that never pauses would otherwise stay out of step for
// good after one byte lost or added. Bytes before the pattern are skipped.
// When the rest of that frame does not come within the time-out, the call
// fails like a short read.
int read_live(unsigned char* frame) {
    if (carry) line[0] = line[FRAME_SIZE];
    line_count = unlogged = carry ? 1 : 0;
    carry = false;
    if (!read_on(FRAME_SIZE - line_count)) return -1;
    int start = frame_start(line);
    if (start == FRAME_SIZE - 1) start = split_pattern_start();
    if (start > 0) {
        count_skipped(&reader, start);
        if (!read_on(start + FRAME_SIZE - line_count)) return -1;
    }
    std::memcpy(frame, line + start, FRAME_SIZE);
    return 0;
}

} // namespace

int get_frm(unsigned char* frame, int source) {
    switch (source) {
    case SOURCE_LIVE: return read_live(frame);
    case SOURCE_REPLAY: Delay(REPLAY_PAUSE); return read_record(&reader, frame);
    default: return -1;
    }
}

int live_arrivals(const unsigned char** bytes) {
    *bytes = line + unlogged;
    return line_count - unlogged;
}

void set_replay_stream(std::FILE* stream) { start_reading(&reader, stream); }
int replay_read_error() { return reader.error; }
int32_t skipped_bytes() { return reader.skipped; }
