// The spectrum graph and the strip charts as the program drives them.
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <map>
#include <numeric>
#include <qcustomplot.h>
#include <random>
#include <set>

#include "files.h"
#include "graph.h"
#include "panel_fixture.h"
#include "strip_chart.h"

namespace {

QCustomPlot* plot_in(int panel, int control) {
    return kxqt::control_widget(panel, control)->findChild<QCustomPlot*>();
}

// Counts, per plot, the replots into its buffers and the paints onto the
// window.
struct DrawCounter : QObject {
    explicit DrawCounter(QWidget* window) {
        for (QCustomPlot* plot : window->findChildren<QCustomPlot*>()) {
            plot->installEventFilter(this);
            connect(plot, &QCustomPlot::afterReplot, this, [this, plot] { ++replots[plot]; });
        }
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        paints[watched] += event->type() == QEvent::Paint;
        return false;
    }
    std::map<QObject*, int> replots, paints;
};

// What the screen shows of `plot` once its window has had the paint due.
QImage shown_after_paint(QCustomPlot* plot) {
    QWidget* window = plot->window();
    EXPECT_TRUE(paint_due(window));
    QImage screen = window->screen()->grabWindow(window->winId()).toImage();
    return screen.copy(QRect(plot->mapTo(window, QPoint()), plot->size()));
}

// What `plot` shows after a whole replot.
QImage replotted_whole(QCustomPlot* plot) {
    plot->replot(QCustomPlot::rpImmediateRefresh);
    return plot->grab().toImage();
}

} // namespace

// Failures show the texts.
static void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

class GraphTest : public PanelTest {
  protected:
    kxqt::Graph* graph() { return widget<kxqt::Graph>(PANEL_SPECTRUM); }
    int plot(int count) {
        return PlotXY(panel, PANEL_SPECTRUM, x, y, count, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF);
    }
    const int16_t x[3] = {-3, 1, 4086};
    const float y[3] = {0.5f, 0.1f, -1e-5f};
};

// The CSV copy holds what the graph shows: columns named by the axes, floats
// as kxdump prints them, and no handle that changes at every redraw.
TEST_F(GraphTest, CurvesHoldTheExactPointsGivenAndGoOneByOneOrAllAtOnce) {
    const QString header = QStringLiteral("bin position,counts / bin width / frame\n");
    const QString points = QStringLiteral("-3,0.5\n1,0.1\n4086,-1e-05\n");
    int first = plot(3);
    EXPECT_EQ(graph()->csv(), header + points);
    int second = plot(1);
    EXPECT_NE(second, first);
    EXPECT_EQ(graph()->csv(), "curve," + header + "1,-3,0.5\n1,1,0.1\n1,4086,-1e-05\n2,-3,0.5\n");
    EXPECT_EQ(DeleteGraphPlot(panel, PANEL_SPECTRUM, first, 1), 0);
    EXPECT_EQ(graph()->csv(), header + "-3,0.5\n");
    EXPECT_LT(DeleteGraphPlot(panel, PANEL_SPECTRUM, first, 1), 0);
    plot(1);
    EXPECT_EQ(DeleteGraphPlot(panel, PANEL_SPECTRUM, -1, 1), 0);
    EXPECT_EQ(graph()->curve_count(), 0);
    plot(3); // drawn again, as at every frame
    EXPECT_EQ(graph()->csv(), header + points);
}

TEST_F(GraphTest, SaveAsImageGivesANameWithoutExtensionThatOfTheChosenType) {
    ScratchDirectory directory;
    WorkingDirectory here(directory.root()); // where the dialog opens
    plot(3);
    QAction* save = plot_in(panel, PANEL_SPECTRUM)->actions().value(0);
    ASSERT_NE(save, nullptr);
    struct Case {
        bool pdf; // the type chosen in the dialog
        const char* typed;
        const char* written;
        const char* start; // of the file's bytes
    };
    for (Case c :
         {Case{false, "graph", "graph.png", "\x89PNG"}, Case{true, "report", "report.pdf", "%PDF"},
          Case{false, "typed.pdf", "typed.pdf", "%PDF"}}) {
        SCOPED_TRACE(c.typed);
        // The dialog is modal: the operator's keys come while it runs.
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            if (c.pdf)
                QTest::keyClick(dialog->findChild<QComboBox*>("fileTypeCombo"), Qt::Key_Down);
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            QTest::keyClicks(name, QLatin1String(c.typed));
            QTest::keyClick(name, Qt::Key_Return);
            if (dialog->isVisible()) {
                ADD_FAILURE() << "the dialog took no name";
                dialog->reject();
            }
        });
        save->trigger();
        EXPECT_EQ(read_file(directory / c.written).substr(0, 4), c.start);
    }
}

TEST_F(GraphTest, AxesDrawTheLimitsSetOrWhatALogMappingCanOfThem) {
    // AXIS_KEEP leaves the panel file's initial limits.
    EXPECT_EQ(SetAxisRange(panel, PANEL_SPECTRUM, AXIS_MANUAL, 0, 20, AXIS_KEEP, 99, 100), 0);
    EXPECT_EQ(graph()->drawn_y_range().min, 0.001);
    EXPECT_EQ(graph()->drawn_y_range().max, 10.0);
    EXPECT_EQ(SetAxisRange(panel, PANEL_SPECTRUM, AXIS_KEEP, 5, 6, AXIS_MANUAL, -1, 0), 0);
    for (int log : {1, 0}) {
        SCOPED_TRACE(log ? "logarithmic" : "linear again");
        EXPECT_EQ(SetCtrlAttribute(panel, PANEL_SPECTRUM, ATTR_XMAP_MODE, log), 0);
        EXPECT_EQ(SetCtrlAttribute(panel, PANEL_SPECTRUM, ATTR_YMAP_MODE, log), 0);
        // A logarithmic axis shows four decades below a drawable upper limit.
        EXPECT_EQ(graph()->drawn_x_range().min, log ? 20.0 / 1e4 : 0.0);
        EXPECT_EQ(graph()->drawn_x_range().max, 20.0);
        EXPECT_EQ(graph()->drawn_y_range().min, log ? 1.0 / 1e4 : -1.0);
        EXPECT_EQ(graph()->drawn_y_range().max, log ? 1.0 : 0.0);
        EXPECT_EQ(graph()->y_range().min, -1.0); // kept as set
    }
}

TEST_F(GraphTest, StripChartsSpreadEachCallOverTheirTracesAndKeepTheirHistory) {
    auto* groups = widget<kxqt::StripChart>(PANEL_GROUP_CHART);
    EXPECT_EQ(groups->history_length(), 27000); // the panel file's: an hour of frames
    groups->set_history_length(100);
    uint16_t values[80] = {1, 2, 3, 4, 5, 6, 7, 8};
    PlotStripChart(panel, PANEL_GROUP_CHART, values, 8, 0, 0, TYPE_UINT16);
    // Each row carries the frame it came with, as kxdump numbers frames.
    EXPECT_EQ(groups->csv(), QStringLiteral("frame,word 0–1,word 2–3,byte 4,byte 5\n"
                                            "0,1,2,3,4\n0,5,6,7,8\n"));
    // 20 samples a trace per call: the 2000 kept are those of the last 100 frames.
    for (int call = 0; call <= 100; ++call) {
        for (int i = 0; i < 80; ++i)
            values[i] = static_cast<uint16_t>(65535 - i - call);
        EXPECT_EQ(PlotStripChart(panel, PANEL_GROUP_CHART, values, 80, 0, 0, TYPE_UINT16), 0);
    }
    EXPECT_EQ(groups->frames_held(), 100);
    for (int trace = 0; trace < 4; ++trace) {
        EXPECT_EQ(groups->samples_held(trace), 2000);
        EXPECT_EQ(groups->latest(trace), 65535 - 76 - trace - 100);
    }
    QStringList rows = groups->csv().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 2001);
    EXPECT_EQ(rows[1], QStringLiteral("2,65534,65533,65532,65531")); // 0 and 1 scrolled out
    EXPECT_EQ(rows[2000], QStringLiteral("101,65359,65358,65357,65356"));
    // Traces the panel file leaves unnamed are numbered.
    int32_t rates[20];
    std::iota(rates, rates + 20, -19);
    EXPECT_EQ(PlotStripChart(panel, PANEL_RATES, rates, 20, 0, 0, TYPE_INT32), 0);
    float tenths[20];
    std::fill(tenths, tenths + 20, 0.1f);
    EXPECT_EQ(PlotStripChart(panel, PANEL_RATES, tenths, 20, 0, 0, TYPE_FLOAT), 0);
    QString header = QStringLiteral("frame"), row = QStringLiteral("0");
    for (int trace = 0; trace < 20; ++trace) {
        header += QStringLiteral(",trace %1").arg(trace + 1);
        row += QStringLiteral(",%1").arg(trace - 19);
    }
    EXPECT_EQ(widget<kxqt::StripChart>(PANEL_RATES)->csv(),
              header + '\n' + row + "\n1" + QStringLiteral(",0.1").repeated(20) + '\n');
    // Every row held names its own frame, frames of any length scrolling
    // out; a rebuilt chart counts from 0 again, and quotes a name that
    // holds a comma or a quote.
    kxqt::StripChart chart;
    chart.set_history_length(2);
    for (const std::vector<double>& frame : {std::vector<double>{1, 2}, {3}, {4}, {5, 6}})
        chart.append(frame);
    EXPECT_EQ(chart.csv(), QStringLiteral("frame,trace 1\n2,4\n3,5\n3,6\n"));
    chart.set_traces(2);
    chart.set_trace_names({"say \"hi\"", "a,b"});
    for (const std::vector<double>& frame : {std::vector<double>{1, 2}, {3, 4}, {5, 6, 7, 8}})
        chart.append(frame);
    EXPECT_EQ(chart.csv(), QStringLiteral("frame,\"say \"\"hi\"\"\",\"a,b\"\n"
                                          "1,3,4\n2,5,6\n2,7,8\n"));
}

TEST_F(GraphTest, BurstOfFramesReplotsEachChangedPlotOnceAndNeverHalfDone) {
    DrawCounter counter(window());
    QCustomPlot* spectrum = plot_in(panel, PANEL_SPECTRUM);
    QCustomPlot* rates = plot_in(panel, PANEL_RATES);
    int32_t rate_values[20] = {};
    for (int frame = 0; frame < 100; ++frame) {
        // The spectrum is emptied and plotted again in every frame: nothing
        // may be drawn in between, or the graph would blink.
        DeleteGraphPlot(panel, PANEL_SPECTRUM, -1, 1);
        ASSERT_EQ(counter.paints[spectrum] + counter.replots[spectrum], 0);
        plot(3);
        rate_values[0] = frame;
        PlotStripChart(panel, PANEL_RATES, rate_values, 20, 0, 0, TYPE_INT32);
    }
    EXPECT_EQ(counter.replots[rates], 0);
    // Delay keeps the window served: the paced paint comes while it waits.
    for (double start = Timer(); counter.paints[spectrum] == 0 && Timer() - start < 60;)
        Delay(0.01);
    double start = Timer();
    Delay(0.1);
    EXPECT_GE(Timer() - start, 0.099);
    EXPECT_EQ(counter.replots[spectrum], 1);
    EXPECT_EQ(counter.replots[rates], 1);
    EXPECT_EQ(counter.replots[plot_in(panel, PANEL_GROUP_CHART)], 0); // unchanged
    // The strip chart shows its latest samples.
    EXPECT_EQ(rates->xAxis->range(), QCPRange(0, 300));
}

// A frame that brings only new data redraws only the spectrum's curve: what
// shows must be what a whole replot draws, also when the axes changed in
// the same frame.
TEST_F(GraphTest, SpectrumShowsWhatAWholeReplotDrawsAfterNewDataAndNewAxes) {
    QCustomPlot* spectrum = plot_in(panel, PANEL_SPECTRUM);
    DrawCounter counter(window());
    auto shown = [&] {
        int before = counter.paints[spectrum];
        EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints[spectrum] > before; }, 60000));
        return spectrum->grab().toImage();
    };
    auto replotted = [&] {
        spectrum->replot(QCustomPlot::rpImmediateRefresh);
        return spectrum->grab().toImage();
    };
    // An image saved draws every layer on one picture, each curve blended
    // over what lies beneath (its tick labels are drawn for it, not cached).
    auto same_paper_as_saved = [&](const QImage& image) {
        QRect paper = spectrum->axisRect()->rect();
        return spectrum->toPixmap().toImage().copy(paper) == image.copy(paper);
    };
    const int16_t bins[4] = {1, 3, 5, 7};
    auto frame = [&](std::array<float, 4> counts) {
        DeleteGraphPlot(panel, PANEL_SPECTRUM, -1, 1);
        PlotXY(panel, PANEL_SPECTRUM, bins, counts.data(), 4, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1,
               0xFF);
    };
    SetAxisRange(panel, PANEL_SPECTRUM, AXIS_MANUAL, 0, 8, AXIS_MANUAL, 0, 1);
    frame({0.2f, 0.9f, 0.4f, 0.1f});
    QImage first = shown();
    frame({0.7f, 0.1f, 0.3f, 0.8f});
    QImage next = shown();
    EXPECT_FALSE(next == first); // the curve moved
    EXPECT_TRUE(next == replotted());
    EXPECT_TRUE(same_paper_as_saved(next));
    // A second curve's fill over the first's shows both.
    PlotXY(panel, PANEL_SPECTRUM, bins, std::array<float, 4>{0.9f, 0.9f, 0.9f, 0.9f}.data(), 4,
           TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF0000);
    QImage both = shown();
    EXPECT_TRUE(same_paper_as_saved(both));
    SetAxisRange(panel, PANEL_SPECTRUM, AXIS_MANUAL, 0, 8, AXIS_MANUAL, 0, 2);
    frame({0.7f, 0.1f, 0.3f, 0.8f});
    QImage rescaled = shown();
    EXPECT_FALSE(rescaled == next); // the y axis' labels and the curve's height
    EXPECT_TRUE(rescaled == replotted());
    // Saved without a background, the grid still shows through the fill of
    // the first bin.
    spectrum->setBackground(Qt::NoBrush);
    QImage clear = spectrum->toPixmap().toImage();
    std::set<QRgb> through_fills;
    auto row_of = [&](double value) {
        return static_cast<int>(spectrum->yAxis->coordToPixel(value));
    };
    for (int row = row_of(0.65); row < row_of(0.05); ++row)
        through_fills.insert(
            clear.pixel(static_cast<int>(spectrum->xAxis->coordToPixel(1.5)), row));
    EXPECT_GT(through_fills.size(), 1u);
}

// A frame that moves the spectrum's curves has its picture drawn again and
// the window painted only around what moved: what the screen shows must be,
// frame after frame, what a whole replot draws, however far the curves
// moved.
TEST_F(GraphTest, SpectrumOnTheScreenIsWhatItPaintsWholeAfterEachFrame) {
    QCustomPlot* spectrum = plot_in(panel, PANEL_SPECTRUM);
    const int16_t bins[4] = {1, 3, 5, 7};
    auto frame = [&](std::array<float, 4> counts, bool second, int colour) {
        DeleteGraphPlot(panel, PANEL_SPECTRUM, -1, 1);
        PlotXY(panel, PANEL_SPECTRUM, bins, counts.data(), 4, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1,
               colour);
        if (second)
            PlotXY(panel, PANEL_SPECTRUM, bins, std::array<float, 4>{0.3f, 0.3f, 0.6f, 0.3f}.data(),
                   4, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF0000);
    };
    auto on_screen = [&] { return shown_after_paint(spectrum); };
    auto replotted = [&] { return replotted_whole(spectrum); };
    const float gap = std::numeric_limits<float>::quiet_NaN();
    struct Frame {
        const char* what;
        std::array<float, 4> counts;
        bool second = false;
        int colour = 0xFF;
    };
    const Frame frames[] = {
        {"first", {0.2f, 0.9f, 0.4f, 0.1f}},
        {"every bin moved", {0.7f, 0.1f, 0.3f, 0.8f}},
        {"a bin moved less than a pixel", {0.7001f, 0.1f, 0.3f, 0.8f}},
        {"the same", {0.7001f, 0.1f, 0.3f, 0.8f}},
        {"beyond the top", {0.7f, 5.0f, 0.3f, 1e30f}},
        {"further beyond", {0.7f, 6.0f, 0.3f, 3e38f}},
        {"back and below the bottom", {0.7f, 0.5f, -1.0f, 0.8f}},
        {"a gap", {0.7f, gap, 0.3f, 0.8f}},
        {"no gap", {0.7f, 0.2f, 0.3f, 0.8f}},
        {"a second curve", {0.7f, 0.2f, 0.3f, 0.8f}, true},
        {"beneath the second", {0.1f, 0.2f, 0.9f, 0.8f}, true},
        {"alone again", {0.1f, 0.2f, 0.9f, 0.8f}},
        {"another colour", {0.1f, 0.2f, 0.9f, 0.8f}, false, 0x00A000},
    };
    SetAxisRange(panel, PANEL_SPECTRUM, AXIS_MANUAL, 0, 8, AXIS_MANUAL, 0, 1);
    for (const Frame& f : frames) {
        SCOPED_TRACE(f.what);
        frame(f.counts, f.second, f.colour);
        QImage shown = on_screen();
        ASSERT_FALSE(shown.isNull());
        EXPECT_TRUE(shown == replotted());
    }
    // Where each line lands within its pixels: a hundred frames of random
    // counts, with a second curve every third.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> count(0.0f, 1.0f);
    for (int n = 0; n < 100; ++n) {
        SCOPED_TRACE(n);
        frame({count(random), count(random), count(random), count(random)}, n % 3 == 0, 0xFF);
        QImage shown = on_screen(); // painted first, then replotted
        ASSERT_TRUE(shown == replotted());
    }
}

// A plot copies its lowest buffer onto the window when its background is
// one opaque colour, and paints the background beneath its buffers when it
// is not: either way it shows on its paper what an image saved shows.
TEST_F(GraphTest, PlotsShowTheirBackgroundAsAnImageSavedDoes) {
    int16_t bins[4] = {1, 3, 5, 7};
    float counts[4] = {0.2f, 0.9f, 0.4f, 0.1f};
    SetAxisRange(panel, PANEL_SPECTRUM, AXIS_MANUAL, 0, 8, AXIS_MANUAL, 0, 1);
    PlotXY(panel, PANEL_SPECTRUM, bins, counts, 4, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF);
    int32_t rates[20];
    std::iota(rates, rates + 20, 100);
    PlotStripChart(panel, PANEL_RATES, rates, 20, 0, 0, TYPE_INT32);
    QImage stripes(64, 64, QImage::Format_RGB32);
    for (int row = 0; row < stripes.height(); ++row)
        for (int column = 0; column < stripes.width(); ++column)
            stripes.setPixel(column, row, (column / 8 + row / 8) % 2 ? 0xFFC0E0FF : 0xFF806040);
    struct Case {
        const char* what;
        QBrush brush;
        QPixmap pixmap;
    };
    const Case cases[] = {
        {"white", Qt::white, {}},
        {"a colour", QColor(200, 230, 160), {}},
        {"a picture", Qt::white, QPixmap::fromImage(stripes)},
        {"white again", Qt::white, {}},
    };
    for (int control : {PANEL_SPECTRUM, PANEL_RATES}) {
        QCustomPlot* plot = plot_in(panel, control);
        for (const Case& c : cases) {
            plot->setBackground(c.brush);
            plot->setBackground(c.pixmap);
            plot->replot(QCustomPlot::rpImmediateRefresh);
            QRect paper = plot->axisRect()->rect();
            QImage shown = plot->grab().toImage().copy(paper);
            EXPECT_TRUE(shown == plot->toPixmap().toImage().copy(paper))
                << c.what << " behind control " << control;
            // The background shows: the plain colour, or the picture's light
            // squares, over more than a tenth of the paper.
            QRgb ground = c.pixmap.isNull() ? c.brush.color().rgb() : 0xFFC0E0FF;
            int grounded = 0;
            for (int row = 0; row < shown.height(); ++row)
                for (int column = 0; column < shown.width(); ++column)
                    grounded += shown.pixel(column, row) == ground;
            EXPECT_GT(grounded, shown.width() * shown.height() / 10) << c.what;
        }
    }
}

// Following its latest frames, a strip chart moves the traces already drawn
// and draws only the new samples: what it shows must be what a chart given
// the same frames at once draws. Both charts' paper is made 600 pixels
// wide, 2 for each of the 300 frames followed, so that the traces move by
// whole pixels.
TEST_F(GraphTest, StripTracesDrawnFrameByFrameShowWhatAChartDrawnWholeShows) {
    auto chart_of = [](kxqt::StripChart& chart) {
        chart.set_traces(4);
        chart.resize(700, 240);
        chart.show();
        return chart.findChild<QCustomPlot*>();
    };
    // The axes' labels take their room at a replot.
    auto paper_600 = [](kxqt::StripChart& chart, QCustomPlot* plot) {
        for (int tries = 0; tries < 3 && plot->axisRect()->width() != 600; ++tries) {
            chart.resize(chart.width() + 600 - plot->axisRect()->width(), chart.height());
            plot->replot(QCustomPlot::rpImmediateRefresh);
        }
    };
    auto frame = [](int f) {
        std::vector<double> values;
        for (int row = 0; row < 3; ++row) // noisy traces, a step at frame 500
            for (int trace = 0; trace < 4; ++trace)
                values.push_back(100 * trace + (f * 37 + row * 11 + trace * 7) % 50 +
                                 (f >= 500 ? 30 : 0));
        return values;
    };
    kxqt::StripChart drawn_by_frame, drawn_whole;
    QCustomPlot* by_frame = chart_of(drawn_by_frame);
    QCustomPlot* whole = chart_of(drawn_whole);
    for (int f = 0; f < 700; ++f) {
        drawn_by_frame.append(frame(f));
        drawn_whole.append(frame(f));
        by_frame->replot(QCustomPlot::rpImmediateRefresh);
        if (f == 299) {
            paper_600(drawn_by_frame, by_frame);
            paper_600(drawn_whole, whole);
        }
        if (f == 340 || f == 699) {
            whole->replot(QCustomPlot::rpImmediateRefresh);
            ASSERT_EQ(by_frame->axisRect()->width(), 600);
            ASSERT_EQ(by_frame->xAxis->range(), whole->xAxis->range());
            QImage a = by_frame->grab().toImage(), b = whole->grab().toImage();
            int differ = 0;
            for (int row = 0; row < a.height(); ++row)
                for (int column = 0; column < a.width(); ++column)
                    differ += a.pixel(column, row) != b.pixel(column, row);
            EXPECT_EQ(differ, 0) << "after frame " << f;
            // An image saved has the same lines, drawn for it.
            QRect paper = by_frame->axisRect()->rect();
            EXPECT_TRUE(by_frame->toPixmap().toImage().copy(paper) == a.copy(paper));
        }
    }
}

TEST_F(GraphTest, MinimisedWindowReplotsNothingUntilShownAgain) {
    QCustomPlot* rates = plot_in(panel, PANEL_RATES);
    int32_t values[20] = {};
    DrawCounter counter(window());
    window()->showMinimized();
    PlotStripChart(panel, PANEL_RATES, values, 20, 0, 0, TYPE_INT32);
    // The paint that came due while minimised has passed.
    auto* due = window()->findChild<QTimer*>(QStringLiteral("kx paint pacer timer"));
    ASSERT_NE(due, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !due->isActive(); }, 60000));
    EXPECT_EQ(counter.replots[rates], 0);
    window()->showNormal();
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.replots[rates] > 0; }, 60000));
}

// 2026-03-04T05:06:07Z, in microseconds.
constexpr long long T0 = 1772600767LL * 1000000;

// A frame's samples spread from its arrival towards the next frame's, a
// frame period at most; a frame without a time comes a period after the one
// before. Without times the axis counts frames again.
TEST_F(GraphTest, StripChartTimesPlaceTheSamplesAndTheAxisShowsTimesOfDay) {
    auto* groups = widget<kxqt::StripChart>(PANEL_GROUP_CHART);
    const uint16_t values[8] = {1, 2, 3, 4, 5, 6, 7, 8}; // two samples a trace
    const double t0 = T0 / 1e6, period = 256 * 10 / 19200.0;
    struct Case {
        long long time;
        double first, second; // the x of the frame's two samples
    } cases[] = {{T0, t0, t0 + 0.05},
                 {T0 + 100000, t0 + 0.1, t0 + 0.1 + period / 2},
                 {T0 + 500000, t0 + 0.5, t0 + 0.5 + period / 2},
                 {STRIP_NO_TIME, t0 + 0.5 + period, t0 + 0.5 + period * 1.5}};
    for (const Case& c : cases) {
        EXPECT_EQ(SetStripChartTime(panel, PANEL_GROUP_CHART, c.time), 0);
        PlotStripChart(panel, PANEL_GROUP_CHART, values, 8, 0, 0, TYPE_UINT16);
    }
    for (int frame = 0; frame < 4; ++frame) {
        EXPECT_DOUBLE_EQ(groups->sample_key(frame, 0), cases[frame].first) << frame;
        EXPECT_DOUBLE_EQ(groups->sample_key(frame, 1), cases[frame].second) << frame;
    }
    QStringList rows = groups->csv().split('\n');
    EXPECT_EQ(rows[0], QStringLiteral("frame,arrival,word 0–1,word 2–3,byte 4,byte 5"));
    EXPECT_EQ(rows[3], QStringLiteral("1,2026-03-04T05:06:07.100000Z,1,2,3,4"));
    EXPECT_EQ(rows[7], QStringLiteral("3,,1,2,3,4"));
    groups->refresh();
    QCPAxis* axis = plot_in(panel, PANEL_GROUP_CHART)->xAxis;
    // The axis's name, under it.
    auto* x_name = axis->parentPlot()->findChild<QCPTextElement*>();
    ASSERT_NE(x_name, nullptr);
    EXPECT_EQ(x_name->text(), QStringLiteral("time (UTC)"));
    EXPECT_EQ(axis->tickVectorLabels(), QList<QString>{"05:06:30"});
    // Zoomed in to under 4 s, the labels show milliseconds, also at a tick
    // labelled before.
    axis->setRange(t0 + 22.5, t0 + 23.5);
    axis->parentPlot()->replot(QCustomPlot::rpImmediateRefresh);
    EXPECT_TRUE(axis->tickVectorLabels().contains("05:06:30.0"))

        << axis->tickVectorLabels().join(' ').toStdString();
    EXPECT_FALSE(axis->tickVectorLabels().contains("05:06:30"));
    // Times no longer given: once the timed frames are gone, frames again.
    EXPECT_EQ(ClearStripChart(panel, PANEL_GROUP_CHART, 0), 0);
    PlotStripChart(panel, PANEL_GROUP_CHART, values, 8, 0, 0, TYPE_UINT16);
    EXPECT_EQ(groups->sample_key(0, 1), 0.5);
    groups->refresh();
    EXPECT_EQ(x_name->text(), QStringLiteral("frame"));
    for (int control : {int{PANEL_SPECTRUM}, 9999}) {
        EXPECT_LT(SetStripChartTime(panel, control, T0), 0);
        EXPECT_LT(ClearStripChart(panel, control, 0), 0);
    }
}

TEST_F(GraphTest, ClearedStripChartHoldsNoSampleNorMarkAndNumbersFramesFromWhereItIsTold) {
    auto* rates = widget<kxqt::StripChart>(PANEL_RATES);
    int32_t values[20] = {7};
    for (int frame = 0; frame < 2; ++frame)
        PlotStripChart(panel, PANEL_RATES, values, 20, 0, 0, TYPE_INT32);
    PlotStripChartMark(panel, PANEL_RATES, "heater on");
    EXPECT_EQ(rates->marks(), QStringList{"heater on"});
    EXPECT_EQ(ClearStripChart(panel, PANEL_RATES, 41), 0);
    EXPECT_EQ(rates->frames_held(), 0);
    EXPECT_EQ(rates->marks(), QStringList());
    PlotStripChart(panel, PANEL_RATES, values, 20, 0, 0, TYPE_INT32);
    EXPECT_EQ(rates->csv().section('\n', 1), "41,7" + QStringLiteral(",0").repeated(19) + '\n');
}

// A note's mark is a dashed line across the traces, upright at the frame it
// was made at: what it adds to the chart below its label lies within a
// pixel of that frame and covers most of the height.
TEST_F(GraphTest, NoteMarkIsAnUprightLineAtItsFrame) {
    auto* rates = widget<kxqt::StripChart>(PANEL_RATES);
    QCustomPlot* plot = plot_in(panel, PANEL_RATES);
    int32_t values[20] = {7};
    for (int frame = 0; frame < 20; ++frame)
        PlotStripChart(panel, PANEL_RATES, values, 20, 0, 0, TYPE_INT32);
    rates->refresh();
    QImage before = plot->toPixmap().toImage();
    PlotStripChartMark(panel, PANEL_RATES, "heater on");
    rates->refresh();
    QImage after = plot->toPixmap().toImage();
    ASSERT_EQ(before.size(), after.size());
    int column = qRound(plot->xAxis->coordToPixel(19));
    QRect below_label = plot->axisRect()->rect().adjusted(0, 20, 0, 0);
    int rows_marked = 0, pixels_elsewhere = 0;
    for (int row = below_label.top(); row <= below_label.bottom(); ++row) {
        bool marked = false;
        for (int col = below_label.left(); col <= below_label.right(); ++col) {
            if (before.pixel(col, row) == after.pixel(col, row)) continue;
            bool near = std::abs(col - column) <= 1;
            marked = marked || near;
            pixels_elsewhere += !near;
        }
        rows_marked += marked;
    }
    EXPECT_GT(rows_marked, below_label.height() / 2);
    EXPECT_EQ(pixels_elsewhere, 0);
}

// The wheel zooms around the pointer and holds the chart there while frames
// come; "Follow latest" scrolls with them again, as many frames wide.
TEST_F(GraphTest, WheelZoomStopsFollowingUntilFollowLatest) {
    auto* rates = widget<kxqt::StripChart>(PANEL_RATES);
    QCustomPlot* plot = plot_in(panel, PANEL_RATES);
    auto* follow = rates->findChild<QToolButton*>();
    ASSERT_NE(follow, nullptr);
    int32_t values[20] = {};
    for (int frame = 0; frame < 400; ++frame)
        PlotStripChart(panel, PANEL_RATES, values, 20, 0, 0, TYPE_INT32);
    rates->refresh();
    EXPECT_EQ(plot->xAxis->range(), QCPRange(100, 400));
    EXPECT_FALSE(follow->isVisible());
    QPointF middle(plot->xAxis->coordToPixel(250), plot->axisRect()->center().y());
    QWheelEvent wheel(middle, plot->mapToGlobal(middle), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &wheel);
    QCPRange zoomed = plot->xAxis->range();
    EXPECT_NEAR(zoomed.size(), 300 * 0.85, 1e-9);
    EXPECT_NEAR(zoomed.center(), 250, 1e-9);
    EXPECT_TRUE(follow->isVisible());
    PlotStripChart(panel, PANEL_RATES, values, 20, 0, 0, TYPE_INT32);
    rates->refresh();
    EXPECT_EQ(plot->xAxis->range(), zoomed);
    QTest::mouseClick(follow, Qt::LeftButton);
    EXPECT_FALSE(follow->isVisible());
    rates->refresh();
    EXPECT_EQ(plot->xAxis->range(), QCPRange(401 - 255, 401));
}

// However far the wheel turns, the chart keeps a readable width around the
// pointer: a hundredth of a frame at the narrowest, at the widest twice the
// history the panel file keeps (27,000 frames).
TEST_F(GraphTest, WheelZoomStopsAtTheNarrowestAndWidestAroundThePointer) {
    QCustomPlot* plot = plot_in(panel, PANEL_RATES);
    int32_t values[20] = {};
    for (int frame = 0; frame < 400; ++frame)
        PlotStripChart(panel, PANEL_RATES, values, 20, 0, 0, TYPE_INT32);
    widget<kxqt::StripChart>(PANEL_RATES)->refresh();
    const struct {
        int notch; // one wheel step, in or out
        double lower, upper;
    } cases[] = {{-120, 250 - 27000, 250 + 27000}, {120, 249.995, 250.005}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.notch);
        for (int step = 0; step < 150; ++step) {
            QPointF at(plot->xAxis->coordToPixel(250), plot->axisRect()->center().y());
            QWheelEvent wheel(at, plot->mapToGlobal(at), {}, {0, c.notch}, Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(plot, &wheel);
        }
        EXPECT_NEAR(plot->xAxis->range().lower, c.lower, 1e-6);
        EXPECT_NEAR(plot->xAxis->range().upper, c.upper, 1e-6);
    }
}

// The pointer shows the nearest sample of the trace nearest to it.
TEST_F(GraphTest, ReadoutNamesTheSampleUnderThePointer) {
    auto* rates = widget<kxqt::StripChart>(PANEL_RATES);
    QCustomPlot* plot = plot_in(panel, PANEL_RATES);
    for (long long time : {STRIP_NO_TIME, T0}) {
        ClearStripChart(panel, PANEL_RATES, 0);
        for (int frame = 0; frame < 3; ++frame) {
            int32_t values[20];
            for (int trace = 0; trace < 20; ++trace)
                values[trace] = trace * 10 + frame;
            if (time != STRIP_NO_TIME) SetStripChartTime(panel, PANEL_RATES, time + frame * 100000);
            PlotStripChart(panel, PANEL_RATES, values, 20, 0, 0, TYPE_INT32);
        }
        rates->refresh();
        double key = rates->sample_key(1, 0), step = key - rates->sample_key(0, 0);
        plot->xAxis->setRange(key - 1.5 * step, key + 1.5 * step); // 40 pixels a frame or more
        plot->replot();
        QPointF at(plot->xAxis->coordToPixel(key) + 1, plot->yAxis->coordToPixel(31) - 1);
        QMouseEvent move(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(plot, &move);
        EXPECT_EQ(rates->readout(),
                  (time == T0 ? "05:06:07.100\n" : "") + QString("frame 1\ntrace 4: 31"));
    }
    // Off the paper, over the axes, and out of the chart: none.
    QPointF off(1, 1);
    QMouseEvent away(QEvent::MouseMove, off, plot->mapToGlobal(off), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(plot, &away);
    EXPECT_EQ(rates->readout(), QString());
    for (int item = 0; item < plot->itemCount(); ++item) // nor its dot
        EXPECT_FALSE(qobject_cast<QCPItemTracer*>(plot->item(item)) && plot->item(item)->visible());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(plot, &leave);
    EXPECT_EQ(rates->readout(), QString());
}

// A frame that only moves a following strip chart draws its moving parts
// alone (the x axis, its grid, the traces and the lines on them): what the
// screen shows must be, frame after frame, what a whole replot draws, also
// when the values' range, the limits, a mark, the readout or the times
// change with the frame.
TEST_F(GraphTest, StripChartOnTheScreenIsWhatItPaintsWholeAfterEachFrame) {
    auto* rates = widget<kxqt::StripChart>(PANEL_RATES);
    QCustomPlot* plot = plot_in(panel, PANEL_RATES);
    DrawCounter counter(window());
    auto on_screen = [&] { return shown_after_paint(plot); };
    auto replotted = [&] { return replotted_whole(plot); };
    auto point_at = [&](double key, double value) {
        QPointF at(plot->xAxis->coordToPixel(key), plot->yAxis->coordToPixel(value));
        QMouseEvent move(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(plot, &move);
    };
    const double inf = std::numeric_limits<double>::infinity();
    int frames = 0;
    auto frame = [&](int32_t base) {
        int32_t values[20];
        for (int trace = 0; trace < 20; ++trace) // each noise in any 7 frames in a row
            values[trace] = base + 10 * trace + (frames * 3 + trace) % 7 - 3;
        PlotStripChart(panel, PANEL_RATES, values, 20, 0, 0, TYPE_INT32);
        ++frames;
    };
    struct Step {
        const char* what;
        int32_t base;      // the traces lie at base + 10 * trace, give or take 3
        bool moving_alone; // whether the frame draws the moving parts alone
        std::function<void()> with = [] {};
    };
    const Step steps[] = {
        {"following", 100, true},
        {"following on", 100, true},
        {"a hundred frames on, past a tick", 100, true,
         [&] {
             for (int n = 0; n < 100; ++n)
                 frame(100);
         }},
        {"higher values", 400, false},
        {"a limit", 400, false,
         [&] { SetStripChartLimits(panel, PANEL_RATES, 2, -inf, -inf, 430, inf); }},
        {"a mark", 400, false, [&] { PlotStripChartMark(panel, PANEL_RATES, "valve"); }},
        {"on past the mark", 400, true},
        {"the readout", 400, false,
         [&] { point_at(rates->sample_key(rates->frames_held() - 2, 0), 430); }},
        {"on under the readout", 400, false},
        {"the readout gone", 400, true, [&] { point_at(-1e9, 0); }},
        {"times", 400, false, [&] { SetStripChartTime(panel, PANEL_RATES, T0); }},
        {"on with times", 400, true, [&] { SetStripChartTime(panel, PANEL_RATES, T0 + 133000); }},
    };
    // The moving parts' own buffer comes with the first frame drawn alone.
    for (int n = 0; n < 320; ++n) { // past the width followed: the chart scrolls
        frame(100);
        if (n > 317) {
            EXPECT_TRUE(paint_due(window()));
        }
    }
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.with();
        int replots = counter.replots[plot];
        frame(step.base);
        QImage shown = on_screen();
        ASSERT_FALSE(shown.isNull());
        EXPECT_EQ(counter.replots[plot] == replots, step.moving_alone);
        EXPECT_TRUE(shown == replotted());
    }
}
