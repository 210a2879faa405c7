// The recording backend of the run-time operations, for unit tests. Every
// call is recorded in order with its arguments; serial bytes, operator
// commits and control values are scripted; Delay and time-outs advance a
// virtual clock instead of sleeping.
#pragma once

#include <string>
#include <vector>

namespace fake {

// One recorded call. `text` is the call with its scalar arguments, doubles
// in their shortest exact form, texts quoted, controls and attributes by
// their names in controls.h (an unknown one by its number), e.g.
//   SetCtrlVal(1, PANEL_TIME, "12:34:56.8")
//   SetCtrlAttribute(1, PANEL_NFRAMES, ATTR_RUN_STATE, 2)
//   SetAxisRange(1, PANEL_SPECTRUM, 0, 0, 4095, -1, 0.0010000000474974513, 10)
// Plot calls also keep their arrays' values (PlotStripChart in `y`).
struct Call {
    std::string text;
    std::vector<double> x, y;
};

// Forgets all calls and scripts; the clock goes back to 0.
void reset();

const std::vector<Call>& calls();
// The texts of the calls, in order, that start with one of `prefixes` (all
// calls for none), e.g. texts({"ComRd(", "SetCtrlVal(1, PANEL_STATUS, "}).
std::vector<std::string> texts(const std::vector<std::string>& prefixes = {});
// The calls whose operation is `op`.
std::vector<Call> calls_of(const std::string& op);
void clear_calls();

// Operator commits answered by GetUserEvent in order; 0 means "no event at
// this poll". Once the script is exhausted every poll answers PANEL_QUIT, so
// a test cannot loop forever.
void push_events(const std::vector<int>& controls);
// What GetCtrlVal reads for `control` (truncated toward zero for an int).
void set_control(int control, double value);
// What GetCtrlVal reads for a text control.
void set_text(int control, const std::string& text);

// One ComRd result: these bytes (fewer than asked is a short read after the
// time-out). A negative `error` makes the read fail with that result.
void push_read(const std::vector<unsigned char>& bytes);
void push_read_error(int error);
// Bytes arriving on the line, taken by ComRd once the scripted reads are used
// up: as many as each read asks for, fewer (after the time-out) at the end.
void push_line(const std::vector<unsigned char>& bytes);
// Bytes that ComRdByte hands out, one per call, each taking one character
// time at 19200 baud on the clock.
void push_line_bytes(int count, unsigned char value = 0x55);
// With the read queue empty, ComRd times out with 0 bytes and ComRdByte with
// -1, each after the time-out set by SetComTime.

// OpenComConfig's result, the errno it leaves and ComOpenError's text on
// failure ("COM1: " and the system's message when none is given).
void set_open_result(int result, int error_number = 0, const std::string& reason = "");
// OpenDisplay's result.
void set_display_result(int result);
// FindDataFile looks in the working directory only.

// LoadPanel's result and the reason it gives on failure.
void set_load_result(int handle, const std::string& reason = "");

// The virtual clock, in seconds.
double now();

// UtcMicroseconds() at clock 0: 2026-03-04T05:06:07Z; it runs with the clock.
constexpr long long UTC_ORIGIN = 1772600767LL * 1000000;

} // namespace fake
