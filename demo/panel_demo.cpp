// Shows the operator panel filled with typical values, over the Qt backend
// alone, for screenshots: runs until the operator quits or `seconds` (the
// one optional argument, default 30) have passed.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "controls.h"
#include "runtime.h"

namespace {

void show_values(int panel) {
    SetCtrlVal(panel, PANEL_WORD_10, 3021);
    SetCtrlVal(panel, PANEL_WORD_12, 65535);
    SetCtrlVal(panel, PANEL_WORD_14, 412);
    SetCtrlVal(panel, PANEL_WORD_244, 29815);
    SetCtrlVal(panel, PANEL_WORD_252, 7);
    SetCtrlVal(panel, PANEL_SCALED_246, static_cast<double>(static_cast<float>(1234 / 10000.0)));
    SetCtrlVal(panel, PANEL_SCALED_248, static_cast<double>(static_cast<float>(-1 / 10000.0)));
    SetCtrlVal(panel, PANEL_SCALED_250, static_cast<double>(static_cast<float>(32767 / 10000.0)));
    SetCtrlVal(panel, PANEL_TENTH_246, static_cast<double>(static_cast<float>(1234 / 10.0)));
    SetCtrlVal(panel, PANEL_TENTH_248, static_cast<double>(static_cast<float>(-32768 / 10.0)));
    SetCtrlVal(panel, PANEL_COUNT_MODE0, 1234567 * 0.001);
    SetCtrlVal(panel, PANEL_TIME, "12:34:56.8");
    SetCtrlVal(panel, PANEL_COUNT_MODE2, 1073741824 * 8.3819e-08);
    SetCtrlVal(panel, PANEL_COUNT_MODE3, -2147483648.0 * 8.3819e-08);
    SetCtrlVal(panel, PANEL_SKIPPED, 17);
    SetCtrlVal(panel, PANEL_STATUS, "COM1 err: too few bytes read");
    SetCtrlVal(panel, PANEL_NFRAMES, 0);
    SetCtrlVal(panel, PANEL_ACCUMULATE, 0);
    SetCtrlAttribute(panel, PANEL_NFRAMES, ATTR_RUN_STATE, RUN_ENDED);
}

void show_dump(int panel) {
    static const char digits[] = "0123456789ABCDEF";
    char dump[8 * 65 + 1];
    char* out = dump;
    for (int i = 0; i < 256; ++i) {
        if (i % 32 == 0) *out++ = '\n';
        unsigned value = i < 2 ? (i == 0 ? 0xEBu : 0x90u) : static_cast<unsigned>(i * 37 % 256);
        *out++ = digits[value >> 4];
        *out++ = digits[value & 15];
    }
    *out = '\0';
    SetCtrlVal(panel, PANEL_HEXDUMP, dump);
}

// A falling continuum with two lines, over bins that widen with energy, and
// nothing yet in the last quarter.
void show_spectrum(int panel) {
    int16_t x[208];
    float y[208];
    int position = 0;
    for (int n = 0; n < 208; ++n) {
        int width = n < 30 ? 2 : n < 77 ? 4 : n < 107 ? 8 : n < 136 ? 16 : n < 183 ? 32 : 64;
        position += n == 0 ? 0 : width;
        x[n] = static_cast<int16_t>(position + width / 2);
        double e = x[n];
        y[n] = static_cast<float>(8.0 * std::exp(-e / 600.0) +
                                  3.0 * std::exp(-std::pow((e - 511) / 20, 2)) +
                                  1.2 * std::exp(-std::pow((e - 1460) / 40, 2)) + 0.002);
        if (n >= 156) y[n] = 0.0f;
    }
    // As after the operator's switch to a logarithmic y axis.
    SetCtrlVal(panel, PANEL_YLOG, 1);
    SetCtrlAttribute(panel, PANEL_SPECTRUM, ATTR_YMAP_MODE, 1);
    DeleteGraphPlot(panel, PANEL_SPECTRUM, -1, 1);
    PlotXY(panel, PANEL_SPECTRUM, x, y, 208, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF);
}

void feed_strip_charts(int panel, int frame) {
    int32_t rates[20];
    uint16_t groups[80];
    for (int s = 0; s < 20; ++s) {
        rates[s] = 300 + 35 * s + static_cast<int>(40 * std::sin(frame * 0.3 + s));
        groups[4 * s] = static_cast<uint16_t>(1500 + 60 * s + (frame * 7 + s * 13) % 90);
        groups[4 * s + 1] = static_cast<uint16_t>(980 + (frame + s) % 15);
        groups[4 * s + 2] = static_cast<uint16_t>(120 + s);
        groups[4 * s + 3] = static_cast<uint16_t>(100 + (frame / 10) % 5);
    }
    PlotStripChart(panel, PANEL_RATES, rates, 20, 0, 0, TYPE_INT32);
    PlotStripChart(panel, PANEL_GROUP_CHART, groups, 80, 0, 0, TYPE_UINT16);
}

// A value beyond its red limit, one beyond its yellow one, the alarm list
// that follows them, and the limits of one trace of each chart. A panel file
// without the alarm list shows the rest.
void show_limits(int panel) {
    SetCtrlAttribute(panel, PANEL_WORD_12, ATTR_LIMIT_STATE, SHOW_RED);
    SetCtrlAttribute(panel, PANEL_TENTH_248, ATTR_LIMIT_STATE, SHOW_YELLOW);
    const char* rows[][6] = {
        {"bus voltage (words.12)", "red", "red", "12:31:02", "12:34:56", "3"},
        {"detector temperature (tenths.248)", "yellow", "red", "12:20:40", "12:34:55", "12"},
        {"bus current (words.252)", "in range", "yellow", "12:02:13", "12:02:19", "1"},
    };
    const int states[] = {SHOW_RED, SHOW_YELLOW, SHOW_IN_RANGE};
    SetTableRowCount(panel, PANEL_ALARMS, 3);
    for (int row = 0; row < 3; ++row)
        SetTableRow(panel, PANEL_ALARMS, row, rows[row], 6, states[row]);
    const double none = INFINITY;
    SetStripChartLimits(panel, PANEL_RATES, 19, -none, 200, 960, 1000);
    SetStripChartLimits(panel, PANEL_GROUP_CHART, 1, 900, 950, 1050, none);
}

} // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    int panel = LoadPanel(0, "kx.uir", PANEL);
    if (panel < 0) {
        std::printf("%s\n", PanelLoadError());
        return 1;
    }
    DisplayPanel(panel);
    show_values(panel);
    show_dump(panel);
    show_spectrum(panel);
    show_limits(panel);
    // Four minutes of replay: sample numbers of four and five digits.
    for (int frame = 0; frame < 1200; ++frame)
        feed_strip_charts(panel, frame);
    double end = Timer() + seconds;
    int event_panel = 0;
    int control = 0;
    while (Timer() < end) {
        if (GetUserEvent(0, &event_panel, &control) && control == PANEL_QUIT) break;
        Delay(0.05);
    }
    DiscardPanel(panel);
    return 0;
}
