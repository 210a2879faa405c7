#include "alarm_display.h"

#include <charconv>
#include <cstdio>
#include <string_view>

#include "controls.h"
#include "journal_format.h"
#include "kxview_storage.h"
#include "limit_state.h"
#include "limit_values.h"
#include "run_journal.h"
#include "runtime.h"

namespace {

// The list and the title are written at most this often while values stay
// out of range: their times and worst values change with every frame.
constexpr double LIST_INTERVAL = 0.25;

// The field of each value that has one, in the watched values' numbering.
constexpr int FIELDS[LIMIT_FIELDS] = {
    PANEL_WORD_10,     PANEL_WORD_12,     PANEL_WORD_14,    PANEL_WORD_244,  PANEL_WORD_252,
    PANEL_SCALED_246,  PANEL_SCALED_248,  PANEL_SCALED_250, PANEL_TENTH_246, PANEL_TENTH_248,
    PANEL_COUNT_MODE0, PANEL_COUNT_MODE2, PANEL_COUNT_MODE3};

static_assert(SHOW_IN_RANGE == static_cast<int>(LimitState::IN_RANGE) &&
                  SHOW_YELLOW == static_cast<int>(LimitState::YELLOW) &&
                  SHOW_RED == static_cast<int>(LimitState::RED),
              "a field shows a limit's state by its number");
static_assert(NO_TIME == UNKNOWN_TIME, "a frame's unknown arrival is a limit's unknown time");

AlarmStorage& a() { return kx.alarms; }

// The trace a value is drawn on (see PlotStripChart's calls in
// frame_process.cpp): a rate on its own, a group's part on the part's trace,
// which every group shares. -1 for a value with a field.
int trace_of(int value) {
    if (value < WATCHED_RATES) return -1;
    if (value < WATCHED_GROUPS) return value - WATCHED_RATES;
    return RATE_COUNT + (value - WATCHED_GROUPS) % GROUP_PARTS;
}

void show_field(int panel, int value, LimitState state) {
    auto shown = static_cast<uint8_t>(state);
    if (value >= LIMIT_FIELDS || a().field_shown[value] == shown) return;
    a().field_shown[value] = shown;
    SetCtrlAttribute(panel, FIELDS[value], ATTR_LIMIT_STATE, shown);
}

// The shortest text that reads back as the value; the scaled words and
// tenths as the floats they were decoded to, as the panel shows them.
void value_text(int value, double v, char (&text)[32]) {
    bool single = value >= WATCHED_SCALED && value < WATCHED_COUNTER;
    char* end = single ? std::to_chars(text, text + sizeof text - 1, static_cast<float>(v)).ptr
                       : std::to_chars(text, text + sizeof text - 1, v).ptr;
    *end = '\0';
}

const char* value_name(int limit, char (&name)[VALUE_NAME_SIZE]) {
    watched_value_name(a().limits.rules[static_cast<size_t>(limit)].value, name);
    return name;
}

// "words.252 in range -> yellow 550": the value's name first and the value
// last, for awk.
void journal_change(const LimitChange& change) {
    char name[VALUE_NAME_SIZE], value[32], text[128];
    value_text(a().limits.rules[static_cast<size_t>(change.limit)].value, change.value, value);
    std::snprintf(text, sizeof text, "%s %s -> %s %s", value_name(change.limit, name),
                  limit_state_text(change.from), limit_state_text(change.to), value);
    journal_event(KIND_LIMIT, text);
}

// On the list: a value out of range, or back in range but not yet
// acknowledged, so that an alarm is never missed for having passed.
bool listed(const LimitStatus& s) {
    return s.state != LimitState::IN_RANGE || (s.excursions > 0 && !s.acknowledged);
}

void show_title(int panel, int count) {
    if (count == a().title_count) return;
    a().title_count = count;
    char title[320];
    if (count == 0)
        std::snprintf(title, sizeof title, "%s - kxview", a().window_name.c_str());
    else
        std::snprintf(title, sizeof title, "%s - %d alarm%s - kxview", a().window_name.c_str(),
                      count, count == 1 ? "" : "s");
    SetPanelAttribute(panel, ATTR_TITLE, title);
}

// "2026-12-07 14:32:05", or empty when the frame's arrival is not known.
void time_cell(int64_t time, char* cell) {
    constexpr int SECONDS_LENGTH = 19;
    char text[UTC_TEXT_BYTES] = "";
    if (time != UNKNOWN_TIME) format_utc(time, text);
    if (text[0] != '\0') text[10] = ' ';
    std::snprintf(cell, ALARM_CELL_BYTES, "%.*s", SECONDS_LENGTH, text);
}

void write_row(int panel, int row, int limit) {
    auto i = static_cast<size_t>(limit);
    const LimitStatus& s = a().limits.status[i];
    const LimitLabel& label = a().limits.labels[i];
    char(*cell)[ALARM_CELL_BYTES] = a().cells;
    char name[VALUE_NAME_SIZE], worst[32];
    std::snprintf(cell[0], ALARM_CELL_BYTES, "%s",
                  label.label.empty() ? value_name(limit, name) : label.label.c_str());
    std::snprintf(cell[1], ALARM_CELL_BYTES, "%s%s",
                  s.state == LimitState::IN_RANGE ? "back in range" : limit_state_text(s.state),
                  s.acknowledged ? ", acknowledged" : "");
    value_text(a().limits.rules[i].value, s.worst, worst);
    std::snprintf(cell[2], ALARM_CELL_BYTES, "%s%s%s", s.has_worst ? worst : "",
                  label.unit.empty() || !s.has_worst ? "" : " ",
                  s.has_worst ? label.unit.c_str() : "");
    time_cell(s.first_time, cell[3]);
    time_cell(s.last_time, cell[4]);
    std::snprintf(cell[5], ALARM_CELL_BYTES, "%lld", static_cast<long long>(s.excursions));
    const char* cells[ALARM_CELLS] = {cell[0], cell[1], cell[2], cell[3], cell[4], cell[5]};
    SetTableRow(panel, PANEL_ALARMS, row, cells, ALARM_CELLS, static_cast<int>(s.state));
}

// The list, in the file's order (a row stays where it is while the operator
// reads it), and the title. Allocates nothing: the rows have room for every
// limit.
void write_alarms(int panel) {
    a().list_stale = false;
    a().list_written_at = Timer();
    int rows_before = static_cast<int>(a().rows.size());
    a().rows.clear();
    int unacknowledged = 0;
    for (size_t i = 0; i < a().limits.status.size(); ++i) {
        const LimitStatus& s = a().limits.status[i];
        if (!listed(s)) continue;
        a().rows.push_back(static_cast<int>(i));
        unacknowledged += !s.acknowledged;
    }
    int rows = static_cast<int>(a().rows.size());
    if (rows != rows_before) SetTableRowCount(panel, PANEL_ALARMS, rows);
    for (int row = 0; row < rows; ++row)
        write_row(panel, row, a().rows[static_cast<size_t>(row)]);
    show_title(panel, unacknowledged);
}

void acknowledge(int limit) {
    LimitStatus& s = a().limits.status[static_cast<size_t>(limit)];
    if (s.acknowledged) return;
    s.acknowledged = true;
    char name[VALUE_NAME_SIZE];
    journal_event(KIND_ACKNOWLEDGE, value_name(limit, name));
}

// Every field as its value's limit stands, or in range without one.
void show_fields(int panel) {
    LimitState state[LIMIT_FIELDS] = {};
    for (size_t i = 0; i < a().limits.rules.size(); ++i)
        if (int value = a().limits.rules[i].value; value < LIMIT_FIELDS)
            state[value] = a().limits.status[i].state;
    for (int value = 0; value < LIMIT_FIELDS; ++value)
        show_field(panel, value, state[value]);
}

bool same_lines(const LimitRule& a, const LimitRule& b) {
    return a.red_low == b.red_low && a.yellow_low == b.yellow_low &&
           a.yellow_high == b.yellow_high && a.red_high == b.red_high;
}

// A trace that several limits share (a group's part, one per group) shows
// the first of them in the file.
void draw_lines(int panel) {
    LimitRule lines[LIMIT_TRACES];
    bool taken[LIMIT_TRACES] = {};
    for (const LimitRule& rule : a().limits.rules)
        if (int trace = trace_of(rule.value); trace >= 0 && !taken[trace]) {
            lines[trace] = rule;
            taken[trace] = true;
        }
    for (int trace = 0; trace < LIMIT_TRACES; ++trace) {
        const LimitRule& l = lines[trace];
        if (same_lines(l, a().trace_lines[trace])) continue;
        a().trace_lines[trace] = l;
        bool rates = trace < RATE_COUNT;
        SetStripChartLimits(panel, rates ? PANEL_RATES : PANEL_GROUP_CHART,
                            rates ? trace : trace - RATE_COUNT, l.red_low, l.yellow_low,
                            l.yellow_high, l.red_high);
    }
}

int count_out_of_range() {
    int out = 0;
    for (const LimitStatus& s : a().limits.status)
        out += s.state != LimitState::IN_RANGE;
    return out;
}

} // namespace

void name_window(int panel, const char* name) {
    a().window_name = name;
    a().title_count = -1; // whatever it was, written now
    show_title(panel, 0);
}

void check_limits(int panel, const FrameValues& values, long long time, bool history) {
    Limits& limits = a().limits;
    if (limits.rules.empty()) return;
    int count = evaluate_frame(&limits, values, time, a().changes.data(),
                               static_cast<int>(a().changes.size()));
    bool new_red = false;
    for (int i = 0; i < count; ++i) {
        const LimitChange& change = a().changes[static_cast<size_t>(i)];
        a().out_of_range +=
            (change.to != LimitState::IN_RANGE) - (change.from != LimitState::IN_RANGE);
        show_field(panel, limits.rules[static_cast<size_t>(change.limit)].value, change.to);
        journal_change(change);
        new_red |= change.to == LimitState::RED;
    }
    a().list_stale |= count > 0 || a().out_of_range > 0;
    if (new_red && a().bell && !history) Beep();
}

void show_alarms(int panel) {
    if (a().list_stale && Timer() - a().list_written_at >= LIST_INTERVAL) write_alarms(panel);
}

void acknowledge_alarms(int panel, int event_panel) {
    int row = -1;
    int rows = static_cast<int>(a().rows.size());
    if (GetCtrlVal(event_panel, PANEL_ALARMS, &row) < 0 || row >= rows) row = -1;
    for (int r = row < 0 ? 0 : row; r < (row < 0 ? rows : row + 1); ++r)
        acknowledge(a().rows[static_cast<size_t>(r)]);
    write_alarms(panel); // at once: the operator waits for it
}

void show_limits_in_force(int panel) {
    a().changes.resize(a().limits.rules.size());
    a().rows.reserve(a().limits.rules.size());
    a().out_of_range = count_out_of_range();
    show_fields(panel);
    draw_lines(panel);
    write_alarms(panel);
}

void restart_alarms(int panel) {
    reset_limits(&a().limits);
    a().out_of_range = 0;
    show_fields(panel);
    a().list_stale = true;
}
