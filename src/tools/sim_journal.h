// The journal kxsim writes beside a recording (the format: journal_format.h),
// as a live kxview would have written it had the line delivered the records
// at its pace from a given start: a start event, a line per record sent
// whole, good or corrupted, at the offset where the record reader checks it,
// and the notes asked for after given frames. The reader also checks, and
// fails, junk and what is left of a record that lost its tail; kxview
// journals those as bad records too, kxsim does not: the instrument sent no
// record there. The same start, seed and options give the same journal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "sim_records.h"

// A note that follows the good frame kxdump numbers `frame` (from 0).
struct SimNote {
    int64_t frame;
    std::string text;
};

class SimJournal {
  public:
    // Writes the header and the start event, with `start_text`, at
    // `start_us` (microseconds since 1970 UTC) to `file`, which stays the
    // caller's to close.
    SimJournal(std::FILE* file, int64_t start_us, std::string_view start_text,
               std::vector<SimNote> notes);

    // The record just written to the recording, its junk first.
    void record(const SentRecord& sent, const std::vector<unsigned char>& bytes);

    // The notes whose frame never came, in frame order.
    std::vector<SimNote> unwritten() const;

  private:
    // When the last byte of the record sent `sent` records ago came in.
    int64_t arrival(int64_t sent) const;
    void line(int64_t time, int64_t offset, std::string_view kind, std::string_view text);

    std::FILE* file_;
    int64_t start_us_;
    std::vector<SimNote> notes_; // in frame order
    size_t next_note_ = 0;
    int64_t written_ = 0; // bytes in the recording so far
    int64_t sent_ = 0;    // records, dropped ones too
    int64_t frames_ = 0;  // good frames
    // The reader takes the next bytes as a record without looking for 0xEB
    // 0x90 (at the start, and after a good record); else it scans for them.
    bool at_record_ = true;
};
