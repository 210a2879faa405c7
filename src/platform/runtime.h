// The run-time operations the program calls for its panel, serial port and
// timing. Exactly one backend defines them, chosen at link time: platform/qt
// for the program, platform/fake for the unit tests.
//
// Results are ints: negative means failure unless stated otherwise. The core
// examines only the results it needs (see the callers).
#pragma once

#include <cstdint>

// Data type codes of the arrays given to PlotXY and PlotStripChart.
enum DataType {
    TYPE_INT32 = 1,
    TYPE_INT16 = 2,
    TYPE_FLOAT = 3,
    TYPE_UINT16 = 6,
};

// SetAxisRange modes: apply the given range, or leave that axis as it is.
enum AxisMode {
    AXIS_MANUAL = 0,
    AXIS_KEEP = -1,
};

// Serial port ----------------------------------------------------------------

// Opens `port` (always 1, named "COM1") and holds its line alone: a line
// another process holds is refused, errno EBUSY. Returns 0 or a negative
// error code; on failure errno holds the system's reason.
int OpenComConfig(int port, const char* name, long baud, int parity, int data_bits, int stop_bits,
                  int in_queue, int out_queue);
// Why the last OpenComConfig failed, for the operator: the name, the device
// it resolves to and the reason, e.g. "./COM1 -> /dev/pts/3: in use by
// process 1234 (kxview)".
const char* ComOpenError();
// Sets the deadline, in seconds, of every later read on `port`.
int SetComTime(int port, double seconds);
// The next byte (0-255), or a negative value once nothing arrived within the
// time-out or the device is gone.
int ComRdByte(int port);
// Reads until `count` bytes arrived or the time-out ran out; returns the
// number read, those that came before the device went included, or a
// negative value when it is gone and none came (after waiting out the
// time-out, so a caller that retries does not spin).
int ComRd(int port, unsigned char* buffer, int count);
int CloseCom(int port);

// Timing ---------------------------------------------------------------------

// Returns after `seconds`; the window stays painted meanwhile.
void Delay(double seconds);
// As Delay, but returns as soon as `descriptor` has something to read (at
// once when it has already; a negative one never has).
void DelayUntilReadable(int descriptor, double seconds);
// Monotonic seconds from an arbitrary origin.
double Timer();
// The host's time of day, in microseconds since 1970-01-01 00:00:00 UTC: the
// time a journal gives what happened. Not monotonic (the clock may be set),
// so intervals are measured with Timer().
long long UtcMicroseconds();

// Panel ----------------------------------------------------------------------

// Readies the window system the panels go on. Returns 0, or a negative value
// when it cannot start (no display to connect to): then no panel can be
// loaded, while the serial and timing operations still work.
int OpenDisplay();

// Loads resource `resource` of the panel file `file`, looked up by bare name.
// Returns the panel handle (> 0), or a negative value with the reason in
// PanelLoadError().
int LoadPanel(int parent, const char* file, int resource);
const char* PanelLoadError();
// The path of the data file `name` (a bare name), looked up where LoadPanel
// looks up its panel file, into `path`: its length, or a negative value when
// no place holds it (or `size` bytes cannot hold its path).
int FindDataFile(const char* name, char* path, int size);
int DisplayPanel(int panel);
int DiscardPanel(int panel);

// Never waits (wait mode 0): returns 0 when no operator commit is queued,
// otherwise 1 with the commit's panel and control.
int GetUserEvent(int wait, int* panel, int* control);

int GetCtrlVal(int panel, int control, int* value);
int GetCtrlVal(int panel, int control, float* value);
// A text control's text, cut to `size` - 1 bytes and ended by a NUL.
int GetCtrlVal(int panel, int control, char* value, int size);
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const char* value);
int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, const char* value);
// Gives `control` the keyboard focus: keys go to it first.
int SetActiveCtrl(int panel, int control);
int SetPanelAttribute(int panel, int attribute, const char* value);

// Graph and strip charts -----------------------------------------------------

int SetAxisRange(int panel, int graph, int x_mode, double x_min, double x_max, int y_mode,
                 double y_min, double y_max);
// plot -1 removes every plot. Every change shows at the panel's next paint,
// which comes at screen pace, so `refresh` asks for nothing more.
int DeleteGraphPlot(int panel, int graph, int plot, int refresh);
// Draws one curve of `count` points; `x` and `y` hold values of the given
// data types. Returns a plot handle.
int PlotXY(int panel, int graph, const void* x, const void* y, int count, int x_type, int y_type,
           int plot_style, int point_style, int line_style, int point_frequency, int colour);
// Appends `count` values of `type` from `data` (from `start`, every
// `skip`+1-th) to the chart, spread over its traces in turn.
int PlotStripChart(int panel, int chart, const void* data, int count, int start, int skip,
                   int type);
// Marks the chart's latest samples with a vertical line labelled `label`;
// the mark scrolls with them.
int PlotStripChartMark(int panel, int chart, const char* label);
// "Not known", for SetStripChartTime.
constexpr long long STRIP_NO_TIME = INT64_MIN;
// The arrival time, in microseconds since 1970 UTC as UtcMicroseconds()
// gives it, of the samples that the chart's next PlotStripChart call
// appends, or STRIP_NO_TIME. While the chart holds samples with times, its
// x axis shows the time of day; otherwise it counts frames.
int SetStripChartTime(int panel, int chart, long long utc_microseconds);
// Removes every sample and mark: a replay that jumps elsewhere fills the
// chart again from the frames before its new place, the first of them
// numbered `first_frame` (as kxdump numbers a recording's good frames).
int ClearStripChart(int panel, int chart, long long first_frame);

// Limits and alarms ----------------------------------------------------------

// The alarm list's number of rows; rows past it go. GetCtrlVal on the list
// reads the operator's current row, or -1 when none is.
int SetTableRowCount(int panel, int table, int rows);
// Row `row`'s `count` cells, from the first column, coloured by `state`
// (LimitShow) as a value field is.
int SetTableRow(int panel, int table, int row, const char* const* cells, int count, int state);
// Lines at the limits of trace `trace` (0 first, in the order PlotStripChart
// fills the traces); a limit at an infinity has no line, so four infinities
// remove the trace's lines.
int SetStripChartLimits(int panel, int chart, int trace, double red_low, double yellow_low,
                        double yellow_high, double red_high);
// Rings the system bell.
void Beep();
