#include "dump_limits.h"

#include "journal_format.h"
#include "limit_values.h"

namespace {

void quoted(TextBuffer& out, const char* text) {
    out.character('"');
    out.text(text);
    out.character('"');
}

// A text, or null for one that is not known.
void text_or_null(TextBuffer& out, const char* text) {
    if (text == nullptr || *text == '\0')
        out.text("null");
    else
        quoted(out, text);
}

void time_or_null(TextBuffer& out, int64_t time) {
    char text[UTC_TEXT_BYTES] = "";
    if (time != UNKNOWN_TIME) format_utc(time, text);
    text_or_null(out, text);
}

void limit_name(TextBuffer& out, const Limits& limits, int limit) {
    char name[VALUE_NAME_SIZE];
    watched_value_name(limits.rules[limit].value, name);
    quoted(out, name);
}

void append_change(TextBuffer& out, const Limits& limits, const LimitChange& change,
                   const FramePlace& place) {
    out.text("{\"limit\": ");
    limit_name(out, limits, change.limit);
    out.text(", \"frame\": ");
    out.number(place.index);
    out.text(", \"offset\": ");
    out.number(place.offset);
    out.text(", \"arrival\": ");
    text_or_null(out, place.arrival);
    out.text(", \"from\": ");
    quoted(out, limit_state_text(change.from));
    out.text(", \"to\": ");
    quoted(out, limit_state_text(change.to));
    out.text(", \"value\": ");
    out.number(change.value);
    out.text("}\n");
}

} // namespace

void start_limit_check(LimitCheck* check, Limits limits) {
    check->limits = std::move(limits);
    reset_limits(&check->limits);
    check->changes.resize(check->limits.rules.size());
}

void check_frame_limits(LimitCheck* check, const FramePlace& place, int64_t time,
                        const FrameValues& values, TextBuffer& out) {
    int count = evaluate_frame(&check->limits, values, time, check->changes.data(),
                               static_cast<int>(check->changes.size()));
    for (int i = 0; i < count; ++i)
        append_change(out, check->limits, check->changes[i], place);
}

void append_limit_summaries(TextBuffer& out, const Limits& limits) {
    for (size_t i = 0; i < limits.rules.size(); ++i) {
        const LimitStatus& s = limits.status[i];
        out.text("{\"limit_summary\": ");
        limit_name(out, limits, static_cast<int>(i));
        out.text(", \"frames_yellow\": ");
        out.number(s.frames_yellow);
        out.text(", \"frames_red\": ");
        out.number(s.frames_red);
        out.text(", \"worst\": ");
        if (s.has_worst)
            out.number(s.worst);
        else
            out.text("null");
        out.text(", \"excursions\": ");
        out.number(s.excursions);
        out.text(", \"first\": ");
        time_or_null(out, s.first_time);
        out.text(", \"last\": ");
        time_or_null(out, s.last_time);
        out.text("}\n");
    }
}
