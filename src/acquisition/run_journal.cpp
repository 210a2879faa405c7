#include "run_journal.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>

#include "frame_publisher.h"
#include "journal_format.h"
#include "kxview_storage.h"
#include "runtime.h"

namespace {

// One message on standard error for each spell of failures, which the
// status line shows while it lasts.
void write_line(const char* line) {
    if (kx.journal == nullptr) return;
    bool written = std::fputs(line, kx.journal) >= 0 && std::fflush(kx.journal) == 0;
    if (!written && !kx.journal_failing)
        std::fprintf(stderr, "kxview: journal: %s\n", std::strerror(errno));
    kx.journal_failing = !written;
}

void write_line(int64_t time, int64_t offset, std::string_view kind, std::string_view text) {
    if (kx.journal == nullptr) return;
    char line[JOURNAL_LINE_BYTES];
    format_journal_line(line, time, offset, kind, text);
    write_line(line);
}

} // namespace

void set_journal(std::FILE* journal) {
    kx.journal = journal;
    kx.journal_failing = false;
    if (journal != nullptr) write_line(JOURNAL_HEADER);
}

void journal_record(long long time, int64_t offset, bool good) {
    write_line(time, offset, good ? KIND_FRAME : KIND_BAD, "");
}

void journal_event(std::string_view kind, std::string_view text) {
    journal_event_at(kx.logged, kind, text);
}

// Events and notes go to the broker too, when publishing, whether or not the
// journal file takes them.
void journal_event_at(int64_t offset, std::string_view kind, std::string_view text) {
    char line[JOURNAL_LINE_BYTES];
    size_t length = format_journal_line(line, UtcMicroseconds(), offset, kind, text);
    if (kx.journal != nullptr) write_line(line);
    publish_journal_line(line, length);
}

void sync_journal() {
    if (kx.journal != nullptr) fdatasync(fileno(kx.journal));
}
