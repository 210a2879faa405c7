#include "accumulator.h"

#include <climits>

#include "controls.h"
#include "runtime.h"

// The spectrum's place on the panel: kept apart from the arithmetic so that
// the batch decoder links the store without any panel operation.

namespace {

// The spectrum graph's curve: points joined by lines, in blue.
constexpr int PLOT_STYLE = 6;
constexpr int POINT_STYLE = 0;
constexpr int LINE_STYLE = 0;
constexpr int POINT_FREQUENCY = 1;
constexpr int COLOUR = 0xFF;

void plot_spectrum(int panel, const SpectrumStore* store) {
    static float plot[CHANNEL_COUNT]; // process-wide: no allocation per frame
    normalise(store, plot);
    DeleteGraphPlot(panel, PANEL_SPECTRUM, -1, 1);
    PlotXY(panel, PANEL_SPECTRUM, store->bin_pos, plot, CHANNEL_COUNT, TYPE_INT16, TYPE_FLOAT,
           PLOT_STYLE, POINT_STYLE, LINE_STYLE, POINT_FREQUENCY, COLOUR);
}

} // namespace

void refresh_spectrum(int panel, const SpectrumStore* store, int* setting, int* budget) {
    if (*setting == 0) return;
    if (*budget != 0) {
        plot_spectrum(panel, store);
        if (*budget != INT_MIN) --*budget; // a negative budget runs on, never wraps to 0
        SetCtrlVal(panel, PANEL_NFRAMES, *budget);
        return;
    }
    SetCtrlAttribute(panel, PANEL_NFRAMES, ATTR_RUN_STATE, RUN_ENDED);
    *setting = 0;
    SetCtrlVal(panel, PANEL_ACCUMULATE, 0);
}

void reset_spectrum(int panel, SpectrumStore* store) {
    clear_spectrum(store);
    DeleteGraphPlot(panel, PANEL_SPECTRUM, -1, 1);
}
