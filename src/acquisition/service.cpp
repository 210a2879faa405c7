#include "service.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <unistd.h>

#include "accumulator_plot.h"
#include "alarm_display.h"
#include "controls.h"
#include "frame_format.h"
#include "frame_process.h"
#include "frame_publisher.h"
#include "frame_source.h"
#include "frame_subscription.h"
#include "journal_format.h"
#include "kxview_storage.h"
#include "limits_watch.h"
#include "note_marks.h"
#include "replay_positions.h"
#include "replay_transport.h"
#include "run_journal.h"
#include "runtime.h"
#include "serial_line.h"

namespace {

constexpr double FLUSH_TIMEOUT = 0.1;  // a flush ends after this long without a byte
constexpr double FLUSH_LIMIT = 2.0;    // ... or after this long of continuous bytes
constexpr double FRAME_TIMEOUT = 1.05; // a frame takes FRAME_SIZE * CHARACTER_TIME, 0.133 s
constexpr int LIVE_BUDGET = 1000;
constexpr int REPLAY_BUDGET = 10000;
constexpr double Y_LOG_FLOOR = 0.0001;
// The raw log goes to the disk at least this long after its last sync. At
// the line's pace (a frame every 0.133 s) every frame is synced before the
// next is read; a flood from a faster line costs a sync per interval only.
constexpr double SYNC_INTERVAL = 0.05;

// Discards what the line holds, so the first read starts with fresh bytes.
// Bounded: a line that never goes quiet cannot hold up the first frame.
void flush_port() {
    SetComTime(LINE_PORT, FLUSH_TIMEOUT);
    double start = Timer();
    while (ComRdByte(LINE_PORT) >= 0 && Timer() - start < FLUSH_LIMIT) {
    }
    SetComTime(LINE_PORT, FRAME_TIMEOUT);
}

// The settings in force, for the journal: "x 0 4095 y 0.001 10 add 1000".
void journal_settings(std::string_view kind) {
    const Settings& s = kx.settings;
    const char* accumulation = s.accumulate > 0 ? "add" : s.accumulate < 0 ? "subtract" : "off";
    char text[128];
    std::snprintf(text, sizeof text, "x %d %d y %g %g %s %d", s.x_min, s.x_max,
                  static_cast<double>(s.y_min), static_cast<double>(s.y_max), accumulation,
                  s.budget);
    journal_event(kind, text);
}

// A new pass shows the settings it starts with, so that the panel and the
// settings in effect agree, and a new run is not marked as ended.
void show_settings(int panel) {
    SetCtrlVal(panel, PANEL_XMIN, kx.settings.x_min);
    SetCtrlVal(panel, PANEL_XMAX, kx.settings.x_max);
    SetCtrlVal(panel, PANEL_YMIN, static_cast<double>(kx.settings.y_min));
    SetCtrlVal(panel, PANEL_YMAX, static_cast<double>(kx.settings.y_max));
    SetCtrlVal(panel, PANEL_ACCUMULATE, kx.settings.accumulate);
    SetCtrlVal(panel, PANEL_NFRAMES, kx.settings.budget);
    SetCtrlAttribute(panel, PANEL_NFRAMES, ATTR_RUN_STATE, RUN_ON);
    SetAxisRange(panel, PANEL_SPECTRUM, AXIS_MANUAL, kx.settings.x_min, kx.settings.x_max,
                 AXIS_MANUAL, kx.settings.y_min, kx.settings.y_max);
}

// The operator's note goes into the journal with the bytes logged so far,
// and onto the strip charts at their latest samples; the field empties for
// the next one.
void add_note(int panel) {
    char note[NOTE_BYTES] = "";
    if (GetCtrlVal(panel, PANEL_NOTE, note, sizeof note) < 0) return;
    std::string_view text(note);
    if (text.find_first_not_of(" \t") == std::string_view::npos) return;
    journal_event(KIND_NOTE, text);
    mark_note(panel, text);
    SetCtrlVal(panel, PANEL_NOTE, "");
}

// The time of day to the millisecond, "hh:mm:ss.mmm": the panel's field is
// narrow, and the journal keeps the date and the microseconds.
void show_arrival(int panel) {
    constexpr int DATE_LENGTH = 11;  // "YYYY-MM-DDT"
    constexpr int CLOCK_LENGTH = 12; // "hh:mm:ss.mmm"
    char text[UTC_TEXT_BYTES] = "";
    if (kx.arrival != NO_TIME) {
        format_utc(kx.arrival, text);
        text[DATE_LENGTH + CLOCK_LENGTH] = '\0';
    }
    SetCtrlVal(panel, PANEL_ARRIVAL, kx.arrival != NO_TIME ? text + DATE_LENGTH : "");
}

} // namespace

void set_up_pass(int panel, int source, SpectrumStore* store) {
    // Notes go to a live run's journal; a recording is only read.
    SetCtrlAttribute(panel, PANEL_NOTE, ATTR_DIMMED, source != SOURCE_LIVE);
    SetCtrlAttribute(panel, PANEL_ADD_NOTE, ATTR_DIMMED, source != SOURCE_LIVE);
    if (source == SOURCE_LIVE) {
        SetCtrlVal(panel, PANEL_STATUS, "setting up serial port");
        flush_port();
        kx.settings.budget = LIVE_BUDGET;
        SetCtrlVal(panel, PANEL_STATUS, "serial port ready");
    } else if (source == SOURCE_BROKER) {
        kx.settings.budget = LIVE_BUDGET;
    } else {
        kx.settings.budget = REPLAY_BUDGET;
    }
    kx.settings.x_min = 0;
    kx.settings.x_max = 4095;
    kx.settings.y_min = 0.001f;
    kx.settings.y_max = 10.0f;
    kx.settings.accumulate = 1;
    reset_spectrum(panel, store);
    show_settings(panel);
    journal_settings("pass");
    SetCtrlVal(panel, PANEL_SKIPPED, static_cast<int>(skipped_bytes()));
    if (source == SOURCE_REPLAY) set_up_transport(panel, store);
}

namespace {

void apply_x_range(int panel) {
    SetAxisRange(panel, PANEL_SPECTRUM, AXIS_MANUAL, kx.settings.x_min, kx.settings.x_max,
                 AXIS_KEEP, kx.settings.y_min, kx.settings.y_max);
}

void apply_y_range(int panel) {
    SetAxisRange(panel, PANEL_SPECTRUM, AXIS_KEEP, kx.settings.x_min, kx.settings.x_max,
                 AXIS_MANUAL, kx.settings.y_min, kx.settings.y_max);
}

// A log y axis needs a positive minimum. The float minimum is compared with
// the double floor, so once floored it is still below it and the range is
// applied again at every switch-on.
void switch_y_log(int panel, int control) {
    int on = 0;
    GetCtrlVal(panel, control, &on);
    if (on == 1 && kx.settings.y_min < Y_LOG_FLOOR) {
        kx.settings.y_min = static_cast<float>(Y_LOG_FLOOR);
        SetCtrlVal(panel, PANEL_YMIN, static_cast<double>(kx.settings.y_min));
        apply_y_range(panel);
    }
    SetCtrlAttribute(panel, PANEL_SPECTRUM, ATTR_YMAP_MODE, on != 0);
}

// The operator switched accumulation: off ends the run; Add or Subtract with
// plots left starts a new one.
void mark_run(int panel) {
    if (kx.settings.accumulate == 0)
        SetCtrlAttribute(panel, PANEL_NFRAMES, ATTR_RUN_STATE, RUN_ENDED);
    else if (kx.settings.budget != 0)
        SetCtrlAttribute(panel, PANEL_NFRAMES, ATTR_RUN_STATE, RUN_ON);
}

// After each good frame, while a run is on: plots the spectrum and counts the
// budget down; the first frame that finds the budget at 0 ends the run
// instead. A negative budget never runs out: it is not counted, so the field
// keeps the value the operator gave.
void refresh_spectrum(int panel, const SpectrumStore* store) {
    if (kx.settings.accumulate == 0) return;
    if (kx.settings.budget == 0) {
        kx.settings.accumulate = 0;
        mark_run(panel);
        SetCtrlVal(panel, PANEL_ACCUMULATE, 0);
        journal_settings("accumulate");
        return;
    }
    plot_spectrum(panel, store);
    if (kx.settings.budget > 0) --kx.settings.budget;
    SetCtrlVal(panel, PANEL_NFRAMES, kx.settings.budget);
}

// Answers a commit on an operator input. Inputs are read and applied on the
// panel the commit came from; the spectrum reset belongs to the pass's panel.
// Returns false for a control that is not one (which ends the pass).
bool answer_event(int panel, int event_panel, int control, SpectrumStore* store) {
    int on = 0;
    switch (control) {
    case PANEL_XMIN:
        GetCtrlVal(event_panel, control, &kx.settings.x_min);
        apply_x_range(event_panel);
        break;
    case PANEL_XMAX:
        GetCtrlVal(event_panel, control, &kx.settings.x_max);
        apply_x_range(event_panel);
        break;
    case PANEL_YMIN:
        GetCtrlVal(event_panel, control, &kx.settings.y_min);
        apply_y_range(event_panel);
        break;
    case PANEL_YMAX:
        GetCtrlVal(event_panel, control, &kx.settings.y_max);
        apply_y_range(event_panel);
        break;
    case PANEL_NFRAMES: GetCtrlVal(event_panel, control, &kx.settings.budget); break;
    case PANEL_RESET:
        reset_spectrum(panel, store);
        journal_event("reset", "");
        break;
    case PANEL_ACCUMULATE:
        GetCtrlVal(event_panel, control, &kx.settings.accumulate);
        mark_run(event_panel);
        journal_settings("accumulate");
        break;
    case PANEL_XLOG:
        GetCtrlVal(event_panel, control, &on);
        SetCtrlAttribute(event_panel, PANEL_SPECTRUM, ATTR_XMAP_MODE, on != 0);
        break;
    case PANEL_YLOG: switch_y_log(event_panel, control); break;
    case PANEL_ADD_NOTE: add_note(event_panel); break;
    case PANEL_ACKNOWLEDGE: acknowledge_alarms(panel, event_panel); break;
    default: return answer_transport(panel, control, store);
    }
    return true;
}

void build_dump() {
    static constexpr char HEX[] = "0123456789ABCDEF";
    char* out = kx.dump;
    for (int i = 0; i < FRAME_SIZE; ++i) {
        if (i % DUMP_LINE_BYTES == 0) *out++ = '\n';
        *out++ = HEX[kx.frame[i] >> 4];
        *out++ = HEX[kx.frame[i] & 0x0F];
    }
    *out = '\0';
}

// Hands what the log holds to the disk, unless it did so less than
// SYNC_INTERVAL ago: then the next turn does, and a line that falls quiet
// brings one within its read time-out. A stream without a descriptor, or one
// on something that cannot be synced, has nothing to sync.
bool sync_raw_log() {
    if (!kx.raw_log_unsynced || Timer() - kx.raw_log_synced_at < SYNC_INTERVAL) return true;
    kx.raw_log_unsynced = false;
    kx.raw_log_synced_at = Timer();
    int descriptor = fileno(kx.raw_log);
    bool synced = descriptor < 0 || fdatasync(descriptor) == 0 || errno == EINVAL;
    sync_journal();
    return synced;
}

// Every byte the line gave, in order: frames, bytes passed over to realign
// on one, and the bytes of a read cut short by the time-out. Flushed to the
// system after every frame attempt and synced to the disk (see SYNC_INTERVAL),
// so neither a crash nor a power cut loses a frame that was read. Returns
// false when the bytes may not be in.
bool log_arrivals() {
    const unsigned char* bytes = nullptr;
    size_t count = static_cast<size_t>(live_arrivals(&bytes));
    if (count == 0) return sync_raw_log();
    size_t written = std::fwrite(bytes, 1, count, kx.raw_log);
    kx.logged += static_cast<int64_t>(written);
    kx.raw_log_unsynced = true;
    return written == count && std::fflush(kx.raw_log) == 0 && sync_raw_log();
}

// The journal's lines for a live attempt: the line falling quiet and coming
// back, the record it checked, a raw log that began or stopped failing. A
// record the raw log may lack is not named.
void journal_attempt(int result, bool logged) {
    const unsigned char* bytes = nullptr;
    int came = live_arrivals(&bytes);
    if (kx.line_quiet && came > 0) {
        kx.line_quiet = false;
        journal_event_at(kx.logged - came, "back", "");
    }
    if ((result == 0 || result == 1) && logged)
        journal_record(kx.arrival, frame_offset(), result == 0);
    if (result < 0 && !kx.line_quiet) {
        kx.line_quiet = true;
        journal_event("silent", "");
    }
    if (!logged && !kx.log_failing) journal_event("log-error", "raw log write error");
    kx.log_failing = !logged;
}

} // namespace

// A bad record or noise passed over (get_frm's 1) changes nothing but the
// skipped count, which the panel shows after every attempt.
void frame_turn(int panel, int source, SpectrumStore* store) {
    int result = get_frm(kx.frame, source);
    if (result == FRAME_LATER) {
        if (kx.positions.scanning) show_position(panel);
        if (source == SOURCE_BROKER) {
            kx.status = viewing_status(kx.status);
            SetCtrlVal(panel, PANEL_STATUS, kx.status);
        }
        return;
    }
    kx.arrival = source == SOURCE_LIVE     ? UtcMicroseconds()
                 : source == SOURCE_BROKER ? broker_frame_arrival()
                                           : arrival_at(frame_offset());
    // Published before the log's sync and the panel's work, so that a
    // viewer lags the line by the network only.
    if (source == SOURCE_LIVE && (result == 0 || result == 1)) publish_record(result == 0);
    // A viewer logs what it received only when asked to (--log).
    bool logged = source == SOURCE_REPLAY || kx.raw_log == nullptr || log_arrivals();
    if (source != SOURCE_REPLAY) journal_attempt(result, logged);
    if (result < 0) {
        kx.status = source == SOURCE_LIVE      ? "COM1 err: too few bytes read"
                    : replay_read_error() != 0 ? "read error on input file"
                                               : "EOF on input file";
    } else if (result == 0) {
        kx.status = source == SOURCE_REPLAY ? frame_status() : " ";
        frm_process(kx.frame, store, panel, kx.settings.accumulate);
        check_limits(panel, kx.values, kx.arrival, false);
        refresh_spectrum(panel, store);
        build_dump();
        SetCtrlVal(panel, PANEL_HEXDUMP, kx.dump);
        show_arrival(panel);
        if (source == SOURCE_REPLAY) {
            mark_replayed_notes(panel, frame_offset() + FRAME_SIZE);
            show_position(panel);
        }
    }
    SetCtrlVal(panel, PANEL_SKIPPED, static_cast<int>(skipped_bytes()));
    // Bytes lost from the log matter more than their journal, and both more
    // than a frame that did not come; then what the broker link says, and a
    // limits file not used, only while frames come.
    if (!logged) {
        kx.status = "raw log write error";
    } else if (kx.journal_failing) {
        kx.status = "journal write error";
    } else {
        if (result == 0 && limits_problem() != nullptr) kx.status = limits_problem();
        if (source == SOURCE_LIVE)
            kx.status = publishing_status(kx.status);
        else if (source == SOURCE_BROKER)
            kx.status = viewing_status(kx.status);
    }
    SetCtrlVal(panel, PANEL_STATUS, kx.status);
    if (kx.broker.role == ROLE_PUBLISHER) send_waiting(&kx.broker);
}

void set_raw_log(std::FILE* log) { kx.raw_log = log; }

int service(int panel, int source, SpectrumStore* store) {
    set_up_pass(panel, source, store);
    for (;;) {
        int event_panel = 0;
        int control = 0;
        watch_limits_file(panel);
        show_alarms(panel);
        if (GetUserEvent(0, &event_panel, &control) == 0) {
            // A viewer takes all it has received by now in one turn, every
            // record processed and logged, the panel painted for the latest,
            // as for a flood off the line.
            int turns = source == SOURCE_BROKER ? frames_received() : 0;
            do {
                frame_turn(panel, source, store);
            } while (--turns > 0 && frames_received() > 0);
        } else if (control == PANEL_QUIT) {
            journal_event("quit", "");
            return 1;
        } else if (!answer_event(panel, event_panel, control, store)) {
            return 0;
        }
    }
}
