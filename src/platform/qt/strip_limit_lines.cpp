#include "strip_limit_lines.h"

#include <cmath>
#include <limits>
#include <qcustomplot.h>

#include "controls.h"
#include "limit_look.h"
#include "strip_chart.h"

namespace kxqt {
namespace {

// Red's dashes are the longer ones, so that the two tell apart in grey too.
QPen limit_pen(int state) {
    QPen pen(limit_line(state), 2);
    if (state == SHOW_RED)
        pen.setStyle(Qt::DashLine);
    else
        pen.setDashPattern({2, 2});
    pen.setCosmetic(true);
    return pen;
}

// Limits without a line are all alike.
bool same_lines(const StripLimitLines::Limits& a, const StripLimitLines::Limits& b) {
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::isfinite(a[i]) != std::isfinite(b[i]) || (std::isfinite(a[i]) && a[i] != b[i]))
            return false;
    return true;
}

} // namespace

StripLimitLines::StripLimitLines(QCustomPlot* plot) : QObject(plot), plot_(plot) {
    connect(plot, &QCustomPlot::beforeReplot, this, &StripLimitLines::match_traces);
}

bool StripLimitLines::set(int trace, QCPGraph* graph, const Limits& limits) {
    constexpr double NONE = std::numeric_limits<double>::infinity();
    auto held = traces_.find(trace);
    if (same_lines(held != traces_.end() ? held->second.limits : Limits{NONE, NONE, NONE, NONE},
                   limits))
        return false;
    if (held != traces_.end()) {
        remove(held->second);
        traces_.erase(held);
    }
    TraceLines made{graph, limits, {}};
    bool any = false;
    for (std::size_t i = 0; i < limits.size(); ++i) {
        if (!std::isfinite(limits[i])) continue;
        auto* line = new QCPItemStraightLine(plot_);
        line->setPen(limit_pen(i == 0 || i == 3 ? SHOW_RED : SHOW_YELLOW));
        line->setSelectable(false);
        // Level lines: crisp without smoothing, and a pixel row each.
        line->setAntialiased(false);
        line->point1->setCoords(0, limits[i]);
        line->point2->setCoords(1, limits[i]);
        line->setVisible(graph->visible());
        made.lines[i] = line;
        any = true;
    }
    if (any) traces_.emplace(trace, made);
    return true;
}

void StripLimitLines::clear() {
    for (auto& [trace, lines] : traces_)
        remove(lines);
    traces_.clear();
}

void StripLimitLines::remove(TraceLines& trace) {
    for (QCPItemStraightLine*& line : trace.lines) {
        if (line) plot_->removeItem(line);
        line = nullptr;
    }
}

void StripLimitLines::match_traces() {
    for (auto& [trace, held] : traces_)
        for (QCPItemStraightLine* line : held.lines)
            if (line) line->setVisible(held.graph->visible());
}

bool StripChart::set_limits(int trace, const StripLimitLines::Limits& limits) {
    if (trace < 0 || trace >= traces()) return false;
    if (limit_lines_->set(trace, plot()->graph(trace), limits)) changed();
    return true;
}

} // namespace kxqt
