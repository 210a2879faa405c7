#include "service.h"

#include <cstdint>

#include "accumulator_plot.h"
#include "controls.h"
#include "frame_format.h"
#include "frame_process.h"
#include "frame_source.h"
#include "runtime.h"
#include "serial_line.h"

namespace {

constexpr double FLUSH_TIMEOUT = 0.1;  // a flush ends after this long without a byte
constexpr double FLUSH_LIMIT = 2.0;    // ... or after this long of continuous bytes
constexpr double FRAME_TIMEOUT = 1.05; // a frame takes FRAME_SIZE * CHARACTER_TIME, 0.133 s
constexpr int LIVE_BUDGET = 1000;
constexpr int REPLAY_BUDGET = 10000;
constexpr double Y_LOG_FLOOR = 0.0001;

// Operator settings: reset at the start of every pass, changed by events.
struct Settings {
    int32_t x_min, x_max;
    float y_min, y_max;
    int budget;     // spectrum plots left in this accumulation run
    int accumulate; // 0 off, > 0 add, < 0 subtract
};

Settings settings;
unsigned char frame[FRAME_SIZE];
// What the status line shows after this frame attempt.
const char* status = " ";
// Eight lines of 64 hex digits, each preceded by a newline.
constexpr int DUMP_LINE_BYTES = 32;
char dump[FRAME_SIZE / DUMP_LINE_BYTES * (1 + 2 * DUMP_LINE_BYTES) + 1];
std::FILE* raw_log = nullptr;

// Discards what the line holds, so the first read starts with fresh bytes.
// Bounded: a line that never goes quiet cannot hold up the first frame.
void flush_port() {
    SetComTime(LINE_PORT, FLUSH_TIMEOUT);
    double start = Timer();
    while (ComRdByte(LINE_PORT) >= 0 && Timer() - start < FLUSH_LIMIT) {
    }
    SetComTime(LINE_PORT, FRAME_TIMEOUT);
}

// A new pass shows the settings it starts with, so that the panel and the
// settings in effect agree, and a new run is not marked as ended.
void show_settings(int panel) {
    SetCtrlVal(panel, PANEL_XMIN, settings.x_min);
    SetCtrlVal(panel, PANEL_XMAX, settings.x_max);
    SetCtrlVal(panel, PANEL_YMIN, static_cast<double>(settings.y_min));
    SetCtrlVal(panel, PANEL_YMAX, static_cast<double>(settings.y_max));
    SetCtrlVal(panel, PANEL_ACCUMULATE, settings.accumulate);
    SetCtrlVal(panel, PANEL_NFRAMES, settings.budget);
    SetCtrlAttribute(panel, PANEL_NFRAMES, ATTR_RUN_STATE, RUN_ON);
    SetAxisRange(panel, PANEL_SPECTRUM, AXIS_MANUAL, settings.x_min, settings.x_max, AXIS_MANUAL,
                 settings.y_min, settings.y_max);
}

void set_up_pass(int panel, int source, SpectrumStore* store) {
    if (source == SOURCE_LIVE) {
        SetCtrlVal(panel, PANEL_STATUS, "setting up serial port");
        flush_port();
        settings.budget = LIVE_BUDGET;
        SetCtrlVal(panel, PANEL_STATUS, "serial port ready");
    } else {
        settings.budget = REPLAY_BUDGET;
    }
    settings.x_min = 0;
    settings.x_max = 4095;
    settings.y_min = 0.001f;
    settings.y_max = 10.0f;
    settings.accumulate = 1;
    clear_spectrum(store);
    show_settings(panel);
}

void apply_x_range(int panel) {
    SetAxisRange(panel, PANEL_SPECTRUM, AXIS_MANUAL, settings.x_min, settings.x_max, AXIS_KEEP,
                 settings.y_min, settings.y_max);
}

void apply_y_range(int panel) {
    SetAxisRange(panel, PANEL_SPECTRUM, AXIS_KEEP, settings.x_min, settings.x_max, AXIS_MANUAL,
                 settings.y_min, settings.y_max);
}

// A log y axis needs a positive minimum. The float minimum is compared with
// the double floor, so once floored it is still below it and the range is
// applied again at every switch-on.
void switch_y_log(int panel, int control) {
    int on = 0;
    GetCtrlVal(panel, control, &on);
    if (on == 1 && settings.y_min < Y_LOG_FLOOR) {
        settings.y_min = static_cast<float>(Y_LOG_FLOOR);
        SetCtrlVal(panel, PANEL_YMIN, static_cast<double>(settings.y_min));
        apply_y_range(panel);
    }
    SetCtrlAttribute(panel, PANEL_SPECTRUM, ATTR_YMAP_MODE, on != 0);
}

// The operator switched accumulation: off ends the run; Add or Subtract with
// plots left starts a new one.
void mark_run(int panel) {
    if (settings.accumulate == 0)
        SetCtrlAttribute(panel, PANEL_NFRAMES, ATTR_RUN_STATE, RUN_ENDED);
    else if (settings.budget != 0)
        SetCtrlAttribute(panel, PANEL_NFRAMES, ATTR_RUN_STATE, RUN_ON);
}

// After each good frame, while a run is on: plots the spectrum and counts the
// budget down; the first frame that finds the budget at 0 ends the run
// instead. A negative budget never runs out: it is not counted, so the field
// keeps the value the operator gave.
void refresh_spectrum(int panel, const SpectrumStore* store) {
    if (settings.accumulate == 0) return;
    if (settings.budget == 0) {
        settings.accumulate = 0;
        mark_run(panel);
        SetCtrlVal(panel, PANEL_ACCUMULATE, 0);
        return;
    }
    plot_spectrum(panel, store);
    if (settings.budget > 0) --settings.budget;
    SetCtrlVal(panel, PANEL_NFRAMES, settings.budget);
}

// Answers a commit on an operator input. Inputs are read and applied on the
// panel the commit came from; the spectrum reset belongs to the pass's panel.
// Returns false for a control that is not one (which ends the pass).
bool answer_event(int panel, int event_panel, int control, SpectrumStore* store) {
    int on = 0;
    switch (control) {
    case PANEL_XMIN:
        GetCtrlVal(event_panel, control, &settings.x_min);
        apply_x_range(event_panel);
        break;
    case PANEL_XMAX:
        GetCtrlVal(event_panel, control, &settings.x_max);
        apply_x_range(event_panel);
        break;
    case PANEL_YMIN:
        GetCtrlVal(event_panel, control, &settings.y_min);
        apply_y_range(event_panel);
        break;
    case PANEL_YMAX:
        GetCtrlVal(event_panel, control, &settings.y_max);
        apply_y_range(event_panel);
        break;
    case PANEL_NFRAMES: GetCtrlVal(event_panel, control, &settings.budget); break;
    case PANEL_RESET: reset_spectrum(panel, store); break;
    case PANEL_ACCUMULATE:
        GetCtrlVal(event_panel, control, &settings.accumulate);
        mark_run(event_panel);
        break;
    case PANEL_XLOG:
        GetCtrlVal(event_panel, control, &on);
        SetCtrlAttribute(event_panel, PANEL_SPECTRUM, ATTR_XMAP_MODE, on != 0);
        break;
    case PANEL_YLOG: switch_y_log(event_panel, control); break;
    default: return false;
    }
    return true;
}

void build_dump() {
    static constexpr char HEX[] = "0123456789ABCDEF";
    char* out = dump;
    for (int i = 0; i < FRAME_SIZE; ++i) {
        if (i % DUMP_LINE_BYTES == 0) *out++ = '\n';
        *out++ = HEX[frame[i] >> 4];
        *out++ = HEX[frame[i] & 0x0F];
    }
    *out = '\0';
}

// Every byte the line gave, in order: the frame, and also bytes passed over to
// realign on a frame, even when that frame never came. Flushed to the
// operating system after every frame attempt, so a crash or power cut loses
// no frame that was read. Returns false when the bytes may not be in.
bool log_arrivals() {
    const unsigned char* bytes = nullptr;
    size_t count = static_cast<size_t>(live_arrivals(&bytes));
    return count == 0 ||
           (std::fwrite(bytes, 1, count, raw_log) == count && std::fflush(raw_log) == 0);
}

void frame_turn(int panel, int source, SpectrumStore* store) {
    int result = get_frm(frame, source);
    bool logged = source != SOURCE_LIVE || log_arrivals();
    if (result != 0) {
        status = source == SOURCE_LIVE      ? "COM1 err: too few bytes read"
                 : replay_read_error() != 0 ? "read error on input file"
                                            : "EOF on input file";
    } else {
        status = " ";
        frm_process(frame, store, panel, settings.accumulate);
        refresh_spectrum(panel, store);
        build_dump();
        SetCtrlVal(panel, PANEL_HEXDUMP, dump);
        SetCtrlVal(panel, PANEL_SKIPPED, static_cast<int>(skipped_bytes()));
    }
    // Bytes lost from the log matter more than a frame that did not come.
    if (!logged) status = "raw log write error";
    SetCtrlVal(panel, PANEL_STATUS, status);
}

} // namespace

void set_raw_log(std::FILE* log) { raw_log = log; }

int service(int panel, int source, SpectrumStore* store) {
    set_up_pass(panel, source, store);
    for (;;) {
        int event_panel = 0;
        int control = 0;
        if (GetUserEvent(0, &event_panel, &control) == 0) {
            frame_turn(panel, source, store);
        } else if (control == PANEL_QUIT) {
            return 1;
        } else if (!answer_event(panel, event_panel, control, store)) {
            return 0;
        }
    }
}
