#include "sim_journal.h"

#include <algorithm>
#include <cmath>

#include "journal_format.h"

SimJournal::SimJournal(std::FILE* file, int64_t start_us, std::string_view start_text,
                       std::vector<SimNote> notes)
    : file_(file), start_us_(start_us), notes_(std::move(notes)) {
    std::stable_sort(notes_.begin(), notes_.end(),
                     [](const SimNote& a, const SimNote& b) { return a.frame < b.frame; });
    std::fputs(JOURNAL_HEADER, file_);
    line(start_us_, 0, "start", start_text);
}

// Every record sent takes a frame's time on the line, a dropped one too: the
// instrument sent it whole, and its clocks in the frames advance the same.
// Each time is reckoned from the start, so rounding never accumulates.
int64_t SimJournal::arrival(int64_t sent) const {
    return start_us_ + std::llround(static_cast<double>(sent + 1) * LINE_FRAME_PERIOD_S * 1e6);
}

void SimJournal::line(int64_t time, int64_t offset, std::string_view kind, std::string_view text) {
    char text_line[JOURNAL_LINE_BYTES];
    format_journal_line(text_line, time, offset, kind, text);
    std::fputs(text_line, file_);
}

// The faults never hide a record's pattern from the reader's scan (see
// FaultInjector), so a whole record is checked where it starts, unless a
// corrupted one lost its pattern while the reader scanned for one.
void SimJournal::record(const SentRecord& sent, const std::vector<unsigned char>& bytes) {
    int64_t start = written_ + sent.junk;
    int64_t time = arrival(sent_);
    const unsigned char* record = bytes.data() + sent.junk;
    bool checked =
        sent.fate != RecordFate::DROPPED &&
        ((at_record_ && sent.junk == 0) || (record[0] == SYNC_FIRST && record[1] == SYNC_SECOND));
    written_ += static_cast<int64_t>(bytes.size());
    ++sent_;
    at_record_ = sent.fate == RecordFate::GOOD;
    if (!checked) return;
    line(time, start, sent.fate == RecordFate::GOOD ? KIND_FRAME : KIND_BAD, "");
    if (sent.fate != RecordFate::GOOD) return;
    for (; next_note_ < notes_.size() && notes_[next_note_].frame == frames_; ++next_note_)
        line(time, start + FRAME_SIZE, KIND_NOTE, notes_[next_note_].text);
    ++frames_;
}

std::vector<SimNote> SimJournal::unwritten() const {
    return {notes_.begin() + static_cast<std::ptrdiff_t>(next_note_), notes_.end()};
}
