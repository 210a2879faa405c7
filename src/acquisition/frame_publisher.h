// A live run published through a broker (--publish): every record the line
// gave and every journal line go into the link's bounded ring, which is
// emptied towards libmosquitto as each record comes and after each frame's
// turn. Nothing here waits for the broker, and the raw log and the journal
// never depend on it.
#pragma once

#include <cstddef>

// The record a live get_frm just took, which passed the checksum or not,
// handed over at once.
void publish_record(bool good);

// One line just written to the journal, `length` bytes.
void publish_journal_line(const char* line, size_t length);

// After a live frame attempt: `status` as it stands, or what the status line
// must say about publishing instead (the broker gone, messages dropped).
const char* publishing_status(const char* status);
