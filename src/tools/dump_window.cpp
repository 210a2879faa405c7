#include "dump_window.h"

#include <charconv>

#include "journal_format.h"

bool parse_window_end(std::string_view text, WindowEnd* end) {
    if (text.starts_with('#')) {
        text.remove_prefix(1);
        auto [last, error] = std::from_chars(text.data(), text.data() + text.size(), end->value);
        end->kind = WindowEnd::FRAME;
        return error == std::errc() && last == text.data() + text.size() && end->value >= 0 &&
               !text.starts_with('-');
    }
    end->kind = WindowEnd::TIME;
    return parse_utc(text, &end->value);
}

namespace {

// `value` is at or after `end` taken as a lower bound (`lower`), or at or
// before it as an upper one; an end of the other kind does not bound it.
bool within(const WindowEnd& end, WindowEnd::Kind kind, int64_t value, bool lower) {
    if (end.kind != kind) return true;
    return lower ? value >= end.value : value <= end.value;
}

} // namespace

bool FrameWindow::holds(int64_t index, bool timed, int64_t time) const {
    if (by_time() && !timed) return false;
    return within(from, WindowEnd::FRAME, index, true) &&
           within(to, WindowEnd::FRAME, index, false) &&
           within(from, WindowEnd::TIME, time, true) && within(to, WindowEnd::TIME, time, false);
}

void bound_window(const std::vector<JournalRecord>& records, FrameWindow* window) {
    if (window->to.kind != WindowEnd::TIME) return;
    window->last_offset = -1;
    for (const JournalRecord& record : records)
        if (record.time <= window->to.value) window->last_offset = record.offset;
}

bool ArrivalCursor::arrival(int64_t offset, int64_t* time) {
    const std::vector<JournalRecord>& records = *records_;
    while (next_ < records.size() && records[next_].offset < offset)
        ++next_;
    if (next_ == records.size() || records[next_].offset != offset) return false;
    *time = records[next_].time;
    return true;
}
