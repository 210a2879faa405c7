#include "replay_transport.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "accumulator_plot.h"
#include "alarm_display.h"
#include "controls.h"
#include "frame_format.h"
#include "frame_process.h"
#include "frame_source.h"
#include "journal_format.h"
#include "kxview_storage.h"
#include "note_marks.h"
#include "replay_positions.h"
#include "runtime.h"

namespace {

constexpr double STANDARD_PAUSE = 1.0 / SPEED_STANDARD;
// Operator input waits no longer than this for a slow pace.
constexpr double LONGEST_WAIT = 0.2;
// Paced by the journal's times, a replay waits no longer than this for a
// frame: hours of silence in a run are not played back as such.
constexpr double LONGEST_GAP = 10.0;
// Waits closer than this to their end are over.
constexpr double WAIT_EPSILON = 1e-6;
// Paused, the panel is asked for input this often.
constexpr double PAUSED_POLL = 0.05;
// The position scan's share of a turn: while the replay waits, this much;
// while it plays flat out, a little per frame.
constexpr size_t SCAN_SLICE_WAITING = size_t{4} << 20;
constexpr size_t SCAN_SLICE_BUSY = size_t{16} << 10;
// A jump fills the strip charts with up to this many frames before the
// new position, as they would look had the replay played there.
constexpr int64_t REFILL_FRAMES = 2000;

constexpr const char* PIPE_TIP = "A recording read through a pipe plays forward only";

constexpr int SEEKING_CONTROLS[] = {PANEL_STEP_BACK, PANEL_TO_START, PANEL_TO_END, PANEL_POSITION};
constexpr int TRANSPORT_CONTROLS[] = {PANEL_PLAY,          PANEL_STEP_BACK, PANEL_STEP_FORWARD,
                                      PANEL_TO_START,      PANEL_TO_END,    PANEL_POSITION,
                                      PANEL_POSITION_TEXT, PANEL_SPEED};

ReplayTransport& t() { return kx.transport; }

int64_t known_frames() { return static_cast<int64_t>(kx.positions.offsets.size()); }

// The time the frame after the one in hand waits, by the speed.
double frame_period() {
    if (t().at_end) return STANDARD_PAUSE; // a finished replay is not polled flat out
    if (t().speed > 0) return 1.0 / t().speed;
    if (t().speed == SPEED_FASTEST) return 0.0;
    const std::vector<int64_t>& times = kx.positions.times;
    size_t next = static_cast<size_t>(t().frame + 1);
    if (t().frame < 0 || next >= times.size()) return STANDARD_PAUSE;
    double gap = static_cast<double>(times[next] - times[next - 1]) / 1e6 / -t().speed;
    return std::clamp(gap, 0.0, LONGEST_GAP);
}

void show_play_label(int panel) {
    SetCtrlAttribute(panel, PANEL_PLAY, ATTR_LABEL_TEXT, t().playing ? "Pause" : "Play");
}

// From here on the status line says where the spectrum begins.
void spectrum_from(int64_t number) {
    if (number == 0)
        std::snprintf(t().status, sizeof t().status, " ");
    else
        std::snprintf(t().status, sizeof t().status, "spectrum from frame %" PRId64, number);
}

// Goes to frame `number`: the strip charts show the frames before it, and
// the limits stand as those frames left them; the spectrum starts afresh
// with it, and it is read at once, paused or not.
void jump_to(int panel, int64_t number, SpectrumStore* store) {
    if (known_frames() == 0) return;
    number = std::clamp<int64_t>(number, 0, known_frames() - 1);
    if (!move_reader_to(number, t().recording)) return;
    int64_t first = std::max<int64_t>(number - REFILL_FRAMES, 0);
    ClearStripChart(panel, PANEL_RATES, first);
    ClearStripChart(panel, PANEL_GROUP_CHART, first);
    start_note_marks(first > 0 ? kx.positions.offsets[static_cast<size_t>(first)] : -1);
    restart_alarms(panel);
    FrameValues values{};
    unsigned char frame[FRAME_SIZE];
    for (int64_t i = first; i < number && read_frame_at(i, frame); ++i) {
        int64_t offset = kx.positions.offsets[static_cast<size_t>(i)];
        decode_frame(frame, &values);
        plot_strip_charts(panel, values, arrival_at(offset));
        check_limits(panel, values, arrival_at(offset), true);
        mark_replayed_notes(panel, offset + FRAME_SIZE);
    }
    reset_spectrum(panel, store);
    spectrum_from(number);
    t().frame = number - 1;
    t().at_end = false;
    t().step = true;
}

void answer_play(int panel) {
    t().playing = !t().playing;
    t().last_attempt = Timer();
    show_play_label(panel);
}

} // namespace

void start_replay(std::FILE* recording) {
    t().recording = recording;
    start_reading(&kx.reader, recording);
    start_positions(recording, &kx.replay_journal);
}

int replay_frame(unsigned char* frame) {
    bool scanning = kx.positions.scanning;
    if (!t().playing && !t().step) {
        if (!scanning || !scan_positions(SCAN_SLICE_WAITING)) Delay(PAUSED_POLL);
        return FRAME_LATER;
    }
    double wait = t().step ? 0.0 : frame_period() - (Timer() - t().last_attempt);
    if (wait > WAIT_EPSILON) {
        // The wait goes to the scan while it lasts.
        if (scanning && scan_positions(SCAN_SLICE_WAITING)) return FRAME_LATER;
        double slice = std::min(wait, LONGEST_WAIT);
        Delay(slice);
        if (wait - slice > WAIT_EPSILON) return FRAME_LATER;
    } else if (scanning) {
        scan_positions(SCAN_SLICE_BUSY);
    }
    t().step = false;
    int result = read_record(&kx.reader, frame);
    t().last_attempt = Timer();
    t().at_end = result < 0;
    if (result == 0) ++t().frame;
    return result;
}

void offer_transport(int panel, int source) {
    bool offered = false;
    for (int control : TRANSPORT_CONTROLS)
        offered |= SetCtrlAttribute(panel, control, ATTR_VISIBLE, source == SOURCE_REPLAY) >= 0;
    // In replay the transport takes the place of the note, which a recording
    // never takes; a panel file without a transport keeps its greyed note.
    if (source != SOURCE_REPLAY || !offered) return;
    SetCtrlAttribute(panel, PANEL_NOTE, ATTR_VISIBLE, 0);
    SetCtrlAttribute(panel, PANEL_ADD_NOTE, ATTR_VISIBLE, 0);
    // The transport's keys (Space, arrows, Home, End) would edit an input
    // that had the focus; the slider leaves them to the transport, and takes
    // Page Up and Page Down itself.
    SetActiveCtrl(panel, PANEL_POSITION);
}

void set_up_transport(int panel, SpectrumStore* store) {
    for (int control : SEEKING_CONTROLS) {
        SetCtrlAttribute(panel, control, ATTR_DIMMED, !positions_seekable());
        if (!positions_seekable()) SetCtrlAttribute(panel, control, ATTR_TOOLTIP, PIPE_TIP);
    }
    SetCtrlVal(panel, PANEL_SPEED, t().speed);
    show_play_label(panel);
    spectrum_from(t().frame + 1);
    if (t().start_at >= 0) jump_to(panel, t().start_at, store);
    t().start_at = -1;
    show_position(panel);
}

void show_position(int panel) {
    char text[160];
    int64_t shown = std::max<int64_t>(t().frame, 0);
    int length = kx.positions.scanning
                     ? std::snprintf(text, sizeof text,
                                     "frame %" PRId64 " of %" PRId64 "+ (finding frames: %d %%)",
                                     shown, known_frames(), static_cast<int>(scan_share() * 100))
                 : positions_seekable()
                     ? std::snprintf(text, sizeof text, "frame %" PRId64 " of %" PRId64, shown,
                                     known_frames())
                     : std::snprintf(text, sizeof text, "frame %" PRId64, shown);
    if (kx.arrival != NO_TIME) {
        // "YYYY-MM-DD hh:mm:ss": the arrival field beside has the milliseconds.
        constexpr int SECONDS_LENGTH = 19;
        char time[UTC_TEXT_BYTES];
        format_utc(kx.arrival, time);
        time[10] = ' ';
        std::snprintf(text + length, sizeof text - static_cast<size_t>(length), ", %.*s",
                      SECONDS_LENGTH, time);
    }
    SetCtrlVal(panel, PANEL_POSITION_TEXT, text);
    if (t().slider_end != known_frames()) {
        t().slider_end = known_frames();
        SetCtrlAttribute(panel, PANEL_POSITION, ATTR_MAX_VALUE,
                         static_cast<int>(std::max<int64_t>(known_frames() - 1, 0)));
    }
    SetCtrlVal(panel, PANEL_POSITION, static_cast<int>(shown));
}

const char* frame_status() { return t().status; }

bool answer_transport(int panel, int control, SpectrumStore* store) {
    int value = 0;
    switch (control) {
    case PANEL_PLAY: answer_play(panel); break;
    case PANEL_STEP_FORWARD: t().step = true; break;
    case PANEL_STEP_BACK: jump_to(panel, t().frame - 1, store); break;
    case PANEL_TO_START: jump_to(panel, 0, store); break;
    case PANEL_TO_END: jump_to(panel, known_frames() - 1, store); break;
    case PANEL_POSITION:
        GetCtrlVal(panel, control, &value);
        jump_to(panel, value, store);
        break;
    case PANEL_SPEED:
        GetCtrlVal(panel, control, &t().speed);
        t().last_attempt = Timer();
        break;
    default: return false;
    }
    return true;
}
