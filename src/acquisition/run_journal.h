// What a live run writes to the raw log's journal: each record the line gave,
// with its arrival time, and the run's events and the operator's notes (the
// format: journal_format.h). A line is written and flushed right after the
// bytes it describes are in the raw log, so the journal never names a record
// that the raw log lacks. A journal that cannot be written costs only its
// own lines: the raw log goes on.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

// The journal of this run, opened empty with its header (null: none, as in
// replay).
void set_journal(std::FILE* journal);

// The record that starts at `offset` in the raw log came at `time`
// (UtcMicroseconds()).
void journal_record(long long time, int64_t offset, bool good);

// `kind` happened now, after the bytes the raw log holds (or, given, after
// `offset` bytes of it).
void journal_event(std::string_view kind, std::string_view text);
void journal_event_at(int64_t offset, std::string_view kind, std::string_view text);

// Hands what the journal holds to the disk (after the raw log was).
void sync_journal();
