#include "fake_runtime.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <poll.h>

#include "controls.h"
#include "runtime.h"
#include "serial_line.h"

namespace {

struct Read {
    std::vector<unsigned char> bytes;
    int error; // 0, or the negative result of a failed read
};

struct State {
    std::vector<fake::Call> calls;
    std::deque<int> events;
    std::map<int, double> controls;
    std::map<int, std::string> texts;
    std::deque<Read> reads;
    std::deque<unsigned char> line;
    int line_bytes = 0;
    unsigned char line_value = 0;
    int open_result = 0;
    int open_errno = 0;
    std::string open_reason;
    int display_result = 0;
    int load_handle = PANEL;
    std::string load_reason;
    double clock = 0.0;
    double timeout = 10.0;
};

State state;

std::string number(double value) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// A control or attribute, written by its name in controls.h.
struct Control {
    int id;
};
struct Attribute {
    int code;
};

#define NAMED(identifier) std::pair<const int, const char*>(identifier, #identifier)
#define KX_CONTROL_NAME(id, number, class_name, need) NAMED(id),
const std::map<int, const char*> CONTROL_NAMES = {KX_CONTROLS(KX_CONTROL_NAME)};
#undef KX_CONTROL_NAME
const std::map<int, const char*> ATTRIBUTE_NAMES = {
    NAMED(ATTR_RUN_STATE), NAMED(ATTR_XMAP_MODE),  NAMED(ATTR_YMAP_MODE), NAMED(ATTR_DIMMED),
    NAMED(ATTR_VISIBLE),   NAMED(ATTR_MAX_VALUE),  NAMED(ATTR_TOOLTIP),   NAMED(ATTR_LABEL_TEXT),
    NAMED(ATTR_TITLE),     NAMED(ATTR_LIMIT_STATE)};
#undef NAMED

// The name of `value` in `names`; a value without one stays a number.
std::string name_of(const std::map<int, const char*>& names, int value) {
    auto found = names.find(value);
    return found == names.end() ? std::to_string(value) : found->second;
}

// Formats the arguments as the call's text: numbers as numbers, texts quoted,
// controls and attributes by name.
struct Arg {
    std::string text;
    Arg(int value) : text(std::to_string(value)) {}
    Arg(long value) : text(std::to_string(value)) {}
    Arg(long long value) : text(std::to_string(value)) {}
    Arg(double value) : text(number(value)) {}
    Arg(const char* value) : text(std::string("\"") + value + "\"") {}
    Arg(Control control) : text(name_of(CONTROL_NAMES, control.id)) {}
    Arg(Attribute attribute) : text(name_of(ATTRIBUTE_NAMES, attribute.code)) {}
};

fake::Call& record(const char* op, std::initializer_list<Arg> args) {
    std::string text = std::string(op) + "(";
    const char* separator = "";
    for (const Arg& arg : args) {
        text += separator + arg.text;
        separator = ", ";
    }
    state.calls.push_back({text + ")", {}, {}});
    return state.calls.back();
}

// The values of `count` elements of `data` of a plot data type.
std::vector<double> values(const void* data, int count, int type, int start = 0, int skip = 0) {
    std::vector<double> out;
    for (int i = start; i < count * (skip + 1) + start; i += skip + 1) {
        switch (type) {
        case TYPE_INT32: out.push_back(static_cast<const int32_t*>(data)[i]); break;
        case TYPE_INT16: out.push_back(static_cast<const int16_t*>(data)[i]); break;
        case TYPE_FLOAT: out.push_back(static_cast<const float*>(data)[i]); break;
        case TYPE_UINT16: out.push_back(static_cast<const uint16_t*>(data)[i]); break;
        default: return out;
        }
    }
    return out;
}

// Takes up to `count` bytes off the line, as ComRd would.
int line_read(unsigned char* buffer, int count) {
    int n = 0;
    for (; n < count && !state.line.empty(); ++n) {
        buffer[n] = state.line.front();
        state.line.pop_front();
    }
    state.clock += n < count ? state.timeout : n * CHARACTER_TIME;
    return n;
}

} // namespace

namespace fake {

void reset() { state = State{}; }
const std::vector<Call>& calls() { return state.calls; }
void clear_calls() { state.calls.clear(); }

std::vector<Call> calls_of(const std::string& op) {
    std::vector<Call> out;
    for (const Call& call : state.calls)
        if (call.text.compare(0, op.size() + 1, op + "(") == 0) out.push_back(call);
    return out;
}

std::vector<std::string> texts(const std::vector<std::string>& prefixes) {
    std::vector<std::string> out;
    for (const Call& call : state.calls)
        if (prefixes.empty() ||
            std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& prefix) {
                return call.text.compare(0, prefix.size(), prefix) == 0;
            }))
            out.push_back(call.text);
    return out;
}

void push_events(const std::vector<int>& controls) {
    state.events.insert(state.events.end(), controls.begin(), controls.end());
}
void set_control(int control, double value) { state.controls[control] = value; }
void set_text(int control, const std::string& text) { state.texts[control] = text; }
void push_read(const std::vector<unsigned char>& bytes) { state.reads.push_back({bytes, 0}); }
void push_read_error(int error) { state.reads.push_back({{}, error}); }
void push_line(const std::vector<unsigned char>& bytes) {
    state.line.insert(state.line.end(), bytes.begin(), bytes.end());
}
void push_line_bytes(int count, unsigned char value) {
    state.line_bytes += count;
    state.line_value = value;
}
void set_open_result(int result, int error_number, const std::string& reason) {
    state.open_result = result;
    state.open_errno = error_number;
    state.open_reason = reason;
}
void set_display_result(int result) { state.display_result = result; }
void set_load_result(int handle, const std::string& reason) {
    state.load_handle = handle;
    state.load_reason = reason;
}
double now() { return state.clock; }

} // namespace fake

int OpenComConfig(int port, const char* name, long baud, int parity, int data_bits, int stop_bits,
                  int in_queue, int out_queue) {
    record("OpenComConfig", {port, name, baud, parity, data_bits, stop_bits, in_queue, out_queue});
    if (state.open_result < 0 && state.open_reason.empty())
        state.open_reason = std::string(name) + ": " + std::strerror(state.open_errno);
    if (state.open_result < 0) errno = state.open_errno;
    return state.open_result;
}

const char* ComOpenError() { return state.open_reason.c_str(); }

int SetComTime(int port, double seconds) {
    record("SetComTime", {port, seconds});
    state.timeout = seconds;
    return 0;
}

int ComRdByte(int port) {
    record("ComRdByte", {port});
    if (state.line_bytes > 0) {
        --state.line_bytes;
        state.clock += CHARACTER_TIME;
        return state.line_value;
    }
    state.clock += state.timeout;
    return -1;
}

int ComRd(int port, unsigned char* buffer, int count) {
    record("ComRd", {port, count});
    if (state.reads.empty()) return line_read(buffer, count);
    Read read = state.reads.front();
    state.reads.pop_front();
    if (read.error < 0) {
        state.clock += state.timeout;
        return read.error;
    }
    int n =
        static_cast<int>(read.bytes.size()) < count ? static_cast<int>(read.bytes.size()) : count;
    for (int i = 0; i < n; ++i)
        buffer[i] = read.bytes[i];
    state.clock += n < count ? state.timeout : n * CHARACTER_TIME;
    return n;
}

int CloseCom(int port) {
    record("CloseCom", {port});
    return 0;
}

void Delay(double seconds) {
    record("Delay", {seconds});
    state.clock += seconds;
}

// A descriptor that is ready ends the wait with no time gone.
void DelayUntilReadable(int descriptor, double seconds) {
    record("DelayUntilReadable", {seconds});
    pollfd ready{descriptor, POLLIN, 0};
    if (descriptor < 0 || poll(&ready, 1, 0) != 1) state.clock += seconds;
}

double Timer() { return state.clock; }

long long UtcMicroseconds() { return fake::UTC_ORIGIN + std::llround(state.clock * 1e6); }

int OpenDisplay() {
    record("OpenDisplay", {});
    return state.display_result;
}

int LoadPanel(int parent, const char* file, int resource) {
    record("LoadPanel", {parent, file, resource});
    return state.load_handle;
}

const char* PanelLoadError() { return state.load_reason.c_str(); }

// Only the working directory is looked in: a test puts its data files there.
int FindDataFile(const char* name, char* path, int size) {
    record("FindDataFile", {name});
    std::error_code ignored;
    std::filesystem::path found = std::filesystem::current_path(ignored) / name;
    std::string text = found.string();
    if (!std::filesystem::is_regular_file(found, ignored) ||
        text.size() >= static_cast<size_t>(size))
        return -1;
    std::copy(text.begin(), text.end(), path);
    path[text.size()] = '\0';
    return static_cast<int>(text.size());
}

int DisplayPanel(int panel) {
    record("DisplayPanel", {panel});
    return 0;
}

int DiscardPanel(int panel) {
    record("DiscardPanel", {panel});
    return 0;
}

int GetUserEvent(int wait, int* panel, int* control) {
    record("GetUserEvent", {wait});
    int next = PANEL_QUIT;
    if (!state.events.empty()) {
        next = state.events.front();
        state.events.pop_front();
    }
    if (next == 0) return 0;
    *panel = state.load_handle;
    *control = next;
    return 1;
}

int GetCtrlVal(int panel, int control, int* value) {
    record("GetCtrlVal", {panel, Control{control}});
    *value = static_cast<int>(state.controls[control]);
    return 0;
}

int GetCtrlVal(int panel, int control, float* value) {
    record("GetCtrlVal", {panel, Control{control}});
    *value = static_cast<float>(state.controls[control]);
    return 0;
}

int GetCtrlVal(int panel, int control, char* value, int size) {
    record("GetCtrlVal", {panel, Control{control}});
    std::string text = state.texts[control].substr(0, static_cast<size_t>(size - 1));
    std::copy(text.begin(), text.end(), value);
    value[text.size()] = '\0';
    return 0;
}

int SetCtrlVal(int panel, int control, int value) {
    record("SetCtrlVal", {panel, Control{control}, value});
    return 0;
}

int SetCtrlVal(int panel, int control, double value) {
    record("SetCtrlVal", {panel, Control{control}, value});
    return 0;
}

int SetCtrlVal(int panel, int control, const char* value) {
    record("SetCtrlVal", {panel, Control{control}, value});
    return 0;
}

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
    record("SetCtrlAttribute", {panel, Control{control}, Attribute{attribute}, value});
    return 0;
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* value) {
    record("SetCtrlAttribute", {panel, Control{control}, Attribute{attribute}, value});
    return 0;
}

int SetActiveCtrl(int panel, int control) {
    record("SetActiveCtrl", {panel, Control{control}});
    return 0;
}

int SetPanelAttribute(int panel, int attribute, const char* value) {
    record("SetPanelAttribute", {panel, Attribute{attribute}, value});
    return 0;
}

int SetAxisRange(int panel, int graph, int x_mode, double x_min, double x_max, int y_mode,
                 double y_min, double y_max) {
    record("SetAxisRange", {panel, Control{graph}, x_mode, x_min, x_max, y_mode, y_min, y_max});
    return 0;
}

int DeleteGraphPlot(int panel, int graph, int plot, int refresh) {
    record("DeleteGraphPlot", {panel, Control{graph}, plot, refresh});
    return 0;
}

int PlotXY(int panel, int graph, const void* x, const void* y, int count, int x_type, int y_type,
           int plot_style, int point_style, int line_style, int point_frequency, int colour) {
    fake::Call& call = record("PlotXY", {panel, Control{graph}, count, x_type, y_type, plot_style,
                                         point_style, line_style, point_frequency, colour});
    call.x = values(x, count, x_type);
    call.y = values(y, count, y_type);
    return 1;
}

int PlotStripChart(int panel, int chart, const void* data, int count, int start, int skip,
                   int type) {
    fake::Call& call = record("PlotStripChart", {panel, Control{chart}, count, start, skip, type});
    call.y = values(data, count, type, start, skip);
    return 0;
}

int PlotStripChartMark(int panel, int chart, const char* label) {
    record("PlotStripChartMark", {panel, Control{chart}, label});
    return 0;
}

int SetStripChartTime(int panel, int chart, long long utc_microseconds) {
    record("SetStripChartTime", {panel, Control{chart}, utc_microseconds});
    return 0;
}

int ClearStripChart(int panel, int chart, long long first_frame) {
    record("ClearStripChart", {panel, Control{chart}, first_frame});
    return 0;
}

int SetTableRowCount(int panel, int table, int rows) {
    record("SetTableRowCount", {panel, Control{table}, rows});
    return 0;
}

// The cells are recorded as one text, separated by " | ".
int SetTableRow(int panel, int table, int row, const char* const* cells, int count, int row_state) {
    std::string joined;
    for (int i = 0; i < count; ++i)
        joined += (i ? " | " : "") + std::string(cells[i]);
    record("SetTableRow", {panel, Control{table}, row, joined.c_str(), row_state});
    return 0;
}

int SetStripChartLimits(int panel, int chart, int trace, double red_low, double yellow_low,
                        double yellow_high, double red_high) {
    record("SetStripChartLimits",
           {panel, Control{chart}, trace, red_low, yellow_low, yellow_high, red_high});
    return 0;
}

void Beep() { record("Beep", {}); }
