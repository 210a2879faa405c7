// The strip charts over an hour of frames, as kxview's panel has them (20
// traces of one sample a frame, 4 traces of 20): what a frame's append to
// both costs beside a copy of its values (the baseline of the same run),
// what a replot costs following the latest frames and showing the whole
// history, and the resident memory the full charts take ("rss_mb") and
// gain over a second hour ("growth_mb", which must stay near 0).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <cstdint>
#include <qcustomplot.h>
#include <vector>

#include "paint_pace.h"
#include "strip_chart.h"

namespace {

constexpr int HISTORY = 27000; // an hour at 7.5 frames a second
constexpr int RATES = 20, GROUP_VALUES = 80;

double resident_mb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ')[0].toDouble() / 1024;
    return -1;
}

// Busy traces, the costliest to draw: noise over the whole range of the
// values, 12-bit rates and 16-bit group values.
struct Frames {
    uint32_t state = 1;
    std::vector<double> rates = std::vector<double>(RATES);
    std::vector<double> groups = std::vector<double>(GROUP_VALUES);
    int64_t time_us = 1772600767LL * 1000000;
    uint32_t next() { return state = state * 1664525u + 1013904223u; }
    void step() {
        for (double& v : rates)
            v = next() >> 20;
        for (double& v : groups)
            v = next() >> 16;
        time_us += 133333;
    }
};

// The two charts in a paced window, as on the panel.
struct Panel {
    QWidget window;
    kxqt::StripChart rates, groups;
    Frames frames;
    Panel() {
        auto* layout = new QHBoxLayout(&window);
        layout->addWidget(&rates);
        layout->addWidget(&groups);
        rates.set_traces(RATES);
        groups.set_traces(GROUP_VALUES / 20);
        rates.set_history_length(HISTORY);
        groups.set_history_length(HISTORY);
        window.resize(1000, 200);
        kxqt::pace_painting(&window);
        window.show();
    }
    void append() {
        frames.step();
        rates.set_time(frames.time_us);
        rates.append(frames.rates);
        groups.set_time(frames.time_us);
        groups.append(frames.groups);
    }
    void fill(int count) {
        for (int i = 0; i < count; ++i)
            append();
    }
    static QCustomPlot* plot(kxqt::StripChart& chart) { return chart.findChild<QCustomPlot*>(); }
    // As the operator's widest zoom, then "Follow latest".
    void show_everything() {
        for (kxqt::StripChart* chart : {&rates, &groups}) {
            QCPAxis* x = plot(*chart)->xAxis;
            x->setRange(x->range().upper - HISTORY * 0.1334, x->range().upper);
            chart->follow_latest();
        }
    }
};

void BM_CopyBaseline(benchmark::State& state) {
    Frames frames;
    std::vector<double> copy(RATES + GROUP_VALUES);
    for (auto _ : state) {
        frames.step();
        std::copy(frames.rates.begin(), frames.rates.end(), copy.begin());
        std::copy(frames.groups.begin(), frames.groups.end(), copy.begin() + RATES);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_AppendToFullCharts(benchmark::State& state) {
    Panel panel;
    panel.fill(HISTORY);
    for (auto _ : state)
        panel.append();
    state.SetItemsProcessed(state.iterations());
}

// A paint's replot of both charts after a new frame.
void replot(benchmark::State& state, bool everything) {
    Panel panel;
    panel.fill(HISTORY);
    if (everything) panel.show_everything();
    for (auto _ : state) {
        panel.append();
        panel.rates.refresh();
        panel.groups.refresh();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ReplotFollowing(benchmark::State& state) { replot(state, false); }
void BM_ReplotWholeHistory(benchmark::State& state) { replot(state, true); }

void BM_ResidentMemory(benchmark::State& state) {
    for (auto _ : state) {
        Panel panel;
        panel.fill(1);
        panel.rates.refresh();
        panel.groups.refresh();
        double before = resident_mb();
        panel.fill(HISTORY);
        panel.show_everything();
        panel.rates.refresh();
        panel.groups.refresh();
        double full = resident_mb();
        panel.fill(HISTORY);
        panel.rates.refresh();
        panel.groups.refresh();
        state.counters["rss_mb"] = full - before;
        state.counters["growth_mb"] = resident_mb() - full;
    }
}

} // namespace

// First, before other benchmarks leave freed memory behind to be reused.
BENCHMARK(BM_ResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyBaseline);
BENCHMARK(BM_AppendToFullCharts);
BENCHMARK(BM_ReplotFollowing)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReplotWholeHistory)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
