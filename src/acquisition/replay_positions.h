// Where a recording's good records lie, so that a replay can go to any of
// them. They come from the recording's journal when it is sound, and from a
// scan with the reader's own rules (checksum, resynchronisation) for what it
// does not cover. The scan goes in slices between frames, so that the replay
// plays while it runs, and reads by offset, so that it never moves the
// replay's own stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "journal_reader.h"
#include "record_reader.h"

struct ReplayPositions {
    int descriptor = -1;          // the recording's, when it is a regular file; -1: forward only
    std::vector<int64_t> offsets; // the good records' offsets, in order, as far as known
    std::vector<int64_t> times;   // the arrival times of the first times.size() of them
    bool scanning = false;        // the scan has yet to reach the recording's end
    int64_t scan_next = 0;        // the offset of the next byte the scan reads
    int64_t size = 0;             // the recording's length, for the scan's progress
    RecordReader scan;            // the scan's own reader
};

// Takes the positions of `recording`, a replay's stream at its start: the
// journal's good records and times when `journal` has no problems (they are
// moved out of it), then a scan from where they end; a stream that is not a
// regular file has none, and only the journal's times.
void start_positions(std::FILE* recording, JournalReading* journal);

// Whether any frame can be reached: the recording is a regular file.
bool positions_seekable();

// Scans on for about `bytes` bytes of the recording. Returns false once the
// scan is done.
bool scan_positions(size_t bytes);

// How far the scan has come, 0 to 1 (1 when it is done).
double scan_share();

// The arrival time the journal gives the record at `offset`, or NO_TIME.
long long arrival_at(int64_t offset);

// The number of the first frame that came at `time` or later; -1 when no
// time is known or none came so late.
int64_t frame_at_time(long long time);

// Puts the replay's reader at frame `number`, with the skipped count that
// a replay from the start would show there. False when that frame is not
// known or the stream cannot go there.
bool move_reader_to(int64_t number, std::FILE* stream);

// Reads frame `number` into `frame` without moving the replay's stream.
bool read_frame_at(int64_t number, unsigned char* frame);

// Reads the start given on the command line, "#N" (frame N, from 0, as
// kxdump numbers them) or a time: "YYYY-MM-DDThh:mm:ss[.uuuuuu]Z", or
// "hh:mm:ss[.uuu]" on the day of the first frame. Scans as far as it needs.
// Returns the frame number, or -1 with the reason in `why`.
int64_t find_start(const std::string& start, std::string* why);
