// Reads a recording's journal (see journal_format.h) back: the records'
// arrival times for batch decoding and replay, the events and notes for
// listing and marking. A journal that does not match its recording (a torn
// last line after a crash, offsets past the recording's end, times going
// backwards after a clock step) is reported line by line, and what is
// usable is used.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// A record's line: where the record starts in the recording and when it came.
struct JournalRecord {
    int64_t time;   // microseconds since 1970 UTC
    int64_t offset; // bytes from the recording's start
    bool good;      // passed the checksum
};

// Any other line: an event of the run or a note.
struct JournalEvent {
    int line; // in the file, the header being line 1
    int64_t time;
    int64_t offset;
    std::string kind;
    std::string text;
};

struct JournalReading {
    std::vector<JournalRecord> records; // in the file's order, offsets rising
    std::vector<JournalEvent> events;   // in the file's order
    std::vector<std::string> problems;  // "line N: what is wrong", in the file's order
};

// Reads all of `journal`. `recording_size` is the recording's length in
// bytes, or -1 when it cannot be told (a pipe). A line that cannot be read,
// or whose offset lies past the recording or before the record before it,
// is left out; a time earlier than the line before is kept. Either way the
// line gets a problem.
void read_journal(std::FILE* journal, int64_t recording_size, JournalReading* reading);
