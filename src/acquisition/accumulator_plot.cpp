#include "accumulator_plot.h"

#include "controls.h"
#include "kxview_storage.h"
#include "runtime.h"

namespace {

// The spectrum graph's curve: points joined by lines, in blue.
constexpr int PLOT_STYLE = 6;
constexpr int POINT_STYLE = 0;
constexpr int LINE_STYLE = 0;
constexpr int POINT_FREQUENCY = 1;
constexpr int COLOUR = 0xFF;

} // namespace

void plot_spectrum(int panel, const SpectrumStore* store) {
    normalise(store, kx.plot);
    DeleteGraphPlot(panel, PANEL_SPECTRUM, -1, 1);
    PlotXY(panel, PANEL_SPECTRUM, store->bin_pos, kx.plot, CHANNEL_COUNT, TYPE_INT16, TYPE_FLOAT,
           PLOT_STYLE, POINT_STYLE, LINE_STYLE, POINT_FREQUENCY, COLOUR);
}

void reset_spectrum(int panel, SpectrumStore* store) {
    clear_spectrum(store);
    DeleteGraphPlot(panel, PANEL_SPECTRUM, -1, 1);
}
