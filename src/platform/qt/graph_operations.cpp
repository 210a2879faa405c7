// SetAxisRange, DeleteGraphPlot, PlotXY and the strip chart operations.
#include <QList>
#include <cmath>

#include "graph.h"
#include "panel_registry.h"
#include "plot_data.h"
#include "runtime.h"
#include "strip_chart.h"

namespace {

constexpr int FAILED = -1;

template <class Widget> Widget* find(int panel, int control) {
    return qobject_cast<Widget*>(kxqt::control_widget(panel, control));
}

bool finite(double a, double b) { return std::isfinite(a) && std::isfinite(b); }

QList<double> as_list(const std::vector<double>& values) {
    return QList<double>(values.begin(), values.end());
}

} // namespace

int SetAxisRange(int panel, int graph, int x_mode, double x_min, double x_max, int y_mode,
                 double y_min, double y_max) {
    auto* target = find<kxqt::Graph>(panel, graph);
    if (!target) return FAILED;
    bool set_x = x_mode == AXIS_MANUAL;
    bool set_y = y_mode == AXIS_MANUAL;
    if ((set_x && !finite(x_min, x_max)) || (set_y && !finite(y_min, y_max))) return FAILED;
    if (set_x) target->set_x_range({x_min, x_max});
    if (set_y) target->set_y_range({y_min, y_max});
    return 0;
}

int DeleteGraphPlot(int panel, int graph, int plot, int refresh) {
    // Painting is paced: every change shows at the window's next paint, so a
    // curve removed and plotted again in one frame never shows as a gap.
    (void)refresh;
    auto* target = find<kxqt::Graph>(panel, graph);
    if (!target) return FAILED;
    if (plot == -1)
        target->remove_curves();
    else if (!target->remove_curve(plot))
        return FAILED;
    return 0;
}

int PlotXY(int panel, int graph, const void* x, const void* y, int count, int x_type, int y_type,
           int plot_style, int point_style, int line_style, int point_frequency, int colour) {
    // One look serves every style the program asks for (see Graph).
    (void)plot_style, (void)point_style, (void)line_style, (void)point_frequency;
    auto* target = find<kxqt::Graph>(panel, graph);
    auto xs = kxqt::plot_values(x, count, x_type);
    auto ys = kxqt::plot_values(y, count, y_type);
    if (!target || !xs || !ys) return FAILED;
    return target->add_curve(as_list(*xs), as_list(*ys), colour,
                             {x_type == TYPE_FLOAT, y_type == TYPE_FLOAT});
}

int PlotStripChart(int panel, int chart, const void* data, int count, int start, int skip,
                   int type) {
    auto* target = find<kxqt::StripChart>(panel, chart);
    auto values = kxqt::plot_values(data, count, type, start, skip);
    if (!target || !values) return FAILED;
    target->append(*values, type == TYPE_FLOAT);
    return 0;
}

int PlotStripChartMark(int panel, int chart, const char* label) {
    auto* target = find<kxqt::StripChart>(panel, chart);
    if (!target || !label) return FAILED;
    target->mark(QString::fromUtf8(label));
    return 0;
}

static_assert(STRIP_NO_TIME == kxqt::StripHistory::NO_TIME);

int SetStripChartTime(int panel, int chart, long long utc_microseconds) {
    auto* target = find<kxqt::StripChart>(panel, chart);
    if (!target) return FAILED;
    target->set_time(utc_microseconds);
    return 0;
}

int ClearStripChart(int panel, int chart, long long first_frame) {
    auto* target = find<kxqt::StripChart>(panel, chart);
    if (!target) return FAILED;
    target->clear(first_frame);
    return 0;
}
