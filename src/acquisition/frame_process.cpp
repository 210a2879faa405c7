#include "frame_process.h"

#include "controls.h"
#include "frame_values.h"
#include "kxview_storage.h"
#include "runtime.h"

namespace {

// Fields written on every frame.
void show_words(int panel, const FrameValues& v) {
    SetCtrlVal(panel, PANEL_WORD_244, v.word_244);
    SetCtrlVal(panel, PANEL_WORD_10, v.word_10);
    SetCtrlVal(panel, PANEL_WORD_12, v.word_12);
    SetCtrlVal(panel, PANEL_WORD_14, v.word_14);
}

// Modes 0 and 2 carry three fine-scaled words, modes 1 and 3 two tenths;
// the controls of the other scaling keep their last values.
void show_scaled(int panel, const FrameValues& v) {
    static constexpr int FINE[] = {PANEL_SCALED_246, PANEL_SCALED_248, PANEL_SCALED_250};
    static constexpr int TENTH[] = {PANEL_TENTH_246, PANEL_TENTH_248};
    const int* controls = v.scaled_count == 3 ? FINE : TENTH;
    for (int i = 0; i < v.scaled_count; ++i)
        SetCtrlVal(panel, controls[i], v.scaled[i]);
}

// Only the control of the frame's mode changes.
void show_counter(int panel, const FrameValues& v) {
    switch (v.mode) {
    case 0: SetCtrlVal(panel, PANEL_COUNT_MODE0, v.counter_value); break;
    case 1: SetCtrlVal(panel, PANEL_TIME, v.time_text); break;
    case 2: SetCtrlVal(panel, PANEL_COUNT_MODE2, v.counter_value); break;
    default: SetCtrlVal(panel, PANEL_COUNT_MODE3, v.counter_value); break;
    }
}

} // namespace

void frm_process(const unsigned char* frame, SpectrumStore* store, int panel, int accumulate) {
    FrameValues& v = kx.values;
    decode_frame(frame, &v);
    show_words(panel, v);
    show_scaled(panel, v);
    SetCtrlVal(panel, PANEL_WORD_252, v.word_252);
    accumulate_counts(store, v, accumulate);
    plot_strip_charts(panel, v, kx.arrival);
    show_counter(panel, v);
}

void plot_strip_charts(int panel, const FrameValues& v, long long arrival) {
    SetStripChartTime(panel, PANEL_RATES, arrival);
    PlotStripChart(panel, PANEL_RATES, v.rates, RATE_COUNT, 0, 0, TYPE_INT32);
    SetStripChartTime(panel, PANEL_GROUP_CHART, arrival);
    PlotStripChart(panel, PANEL_GROUP_CHART, v.groups, GROUP_VALUE_COUNT, 0, 0, TYPE_UINT16);
}
