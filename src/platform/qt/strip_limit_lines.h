// A strip chart's limit lines: dashed horizontal lines at a trace's finite
// limits, yellow and red. They are items on the plot, not data: the traces'
// autoscale, zoom, pan and CSV copy know nothing of them, and a line beyond
// the values shown is simply out of sight.
#pragma once

#include <QObject>
#include <array>
#include <map>

class QCPGraph;
class QCPItemStraightLine;
class QCustomPlot;

namespace kxqt {

class StripLimitLines : public QObject {
  public:
    // red low, yellow low, yellow high, red high
    using Limits = std::array<double, 4>;

    explicit StripLimitLines(QCustomPlot* plot);
    // Lines at the finite ones of `limits` for the trace drawn by `graph`;
    // four infinities leave it none. False when the trace had those lines
    // already: the program may well say the same limits at every frame.
    bool set(int trace, QCPGraph* graph, const Limits& limits);
    // Every trace's lines go: the traces are made anew.
    void clear();

  private:
    struct TraceLines {
        QCPGraph* graph;
        Limits limits;
        std::array<QCPItemStraightLine*, 4> lines;
    };

    void remove(TraceLines& trace);
    // A line shows while its trace does.
    void match_traces();

    QCustomPlot* plot_;
    std::map<int, TraceLines> traces_;
};

} // namespace kxqt
