// The spectrum graph and the strip charts as the program drives them.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <cmath>
#include <cstdint>
#include <map>
#include <qcustomplot.h>

#include "graph.h"
#include "panel_fixture.h"
#include "strip_chart.h"

namespace {

QCustomPlot* plot_in(QWidget* view) { return view->findChild<QCustomPlot*>(); }

} // namespace

class GraphTest : public PanelTest {
  protected:
    kxqt::Graph* graph() { return widget<kxqt::Graph>(PANEL_SPECTRUM); }
    kxqt::StripChart* chart(int control) { return widget<kxqt::StripChart>(control); }
    int plot(const int16_t* x, const float* y, int count) {
        return PlotXY(panel, PANEL_SPECTRUM, x, y, count, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF);
    }
};

TEST_F(GraphTest, CurvesHoldTheExactPointsGivenAndGoOneByOneOrAllAtOnce) {
    const int16_t x[] = {-3, 1, 4086};
    const float y[] = {0.5f, 0.1f, -1e-5f};
    int first = plot(x, y, 3);
    QList<QPointF> points = {{-3, 0.5}, {1, double(0.1f)}, {4086, double(-1e-5f)}};
    EXPECT_EQ(graph()->curve_points(0), points);
    EXPECT_EQ(graph()->csv(), QStringLiteral("plot,x,y\n%1,-3,0.5\n%1,1,0.10000000149011612\n"
                                             "%1,4086,-9.999999747378752e-06\n")
                                  .arg(first));
    int second = plot(x, y, 1);
    EXPECT_NE(first, second);
    EXPECT_EQ(DeleteGraphPlot(panel, PANEL_SPECTRUM, first, 1), 0);
    EXPECT_EQ(graph()->curve_count(), 1);
    plot(x, y, 1);
    EXPECT_EQ(DeleteGraphPlot(panel, PANEL_SPECTRUM, -1, 1), 0);
    EXPECT_EQ(graph()->curve_count(), 0);
}

TEST_F(GraphTest, CallsThatCannotApplyFailAndChangeNothing) {
    const int16_t x[] = {1, 2};
    const float y[] = {1.0f, 2.0f};
    const int results[] = {
        PlotXY(panel, PANEL_SPECTRUM, x, y, 2, TYPE_INT16, 4, 6, 0, 0, 1, 0xFF),
        PlotXY(panel, PANEL_SPECTRUM, x, y, -1, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF),
        PlotXY(panel, PANEL_RATES, x, y, 2, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF),
        DeleteGraphPlot(panel, PANEL_SPECTRUM, 1, 1),
        SetAxisRange(panel, PANEL_SPECTRUM, AXIS_MANUAL, 0, INFINITY, AXIS_KEEP, 0, 0),
        SetCtrlAttribute(panel, PANEL_SPECTRUM, ATTR_YMAP_MODE, 2),
        SetCtrlAttribute(panel, PANEL_STATUS, ATTR_XMAP_MODE, 1),
        SetCtrlAttribute(panel, PANEL_SPECTRUM, 4242, 1),
        SetCtrlVal(panel, 99, 1),
        SetCtrlVal(panel + 1, PANEL_STATUS, "x"),
    };
    for (size_t call = 0; call < std::size(results); ++call)
        EXPECT_LT(results[call], 0) << "call " << call;
    EXPECT_EQ(graph()->curve_count(), 0);
    EXPECT_EQ(graph()->x_range().max, 4095.0);
    EXPECT_FALSE(graph()->y_log());
}

TEST_F(GraphTest, AxesDrawTheLimitsSetOrWhatALogMappingCanOfThem) {
    // AXIS_KEEP leaves the panel file's initial limits.
    EXPECT_EQ(SetAxisRange(panel, PANEL_SPECTRUM, AXIS_MANUAL, 0, 20, AXIS_KEEP, 99, 100), 0);
    EXPECT_EQ(graph()->drawn_y_range().min, 0.001);
    EXPECT_EQ(graph()->drawn_y_range().max, 10.0);
    EXPECT_EQ(SetAxisRange(panel, PANEL_SPECTRUM, AXIS_KEEP, 5, 6, AXIS_MANUAL, -1, 0), 0);
    EXPECT_EQ(graph()->drawn_x_range().min, 0.0);
    EXPECT_EQ(graph()->drawn_x_range().max, 20.0);
    for (int log : {1, 0}) {
        SCOPED_TRACE(log ? "logarithmic" : "linear again");
        EXPECT_EQ(SetCtrlAttribute(panel, PANEL_SPECTRUM, ATTR_XMAP_MODE, log), 0);
        EXPECT_EQ(SetCtrlAttribute(panel, PANEL_SPECTRUM, ATTR_YMAP_MODE, log), 0);
        EXPECT_EQ(graph()->drawn_x_range().min, log ? 20.0 / 1e4 : 0.0); // four decades
        EXPECT_EQ(graph()->drawn_y_range().min, log ? 1.0 / 1e4 : -1.0);
        EXPECT_EQ(graph()->drawn_y_range().max, log ? 1.0 : 0.0);
        EXPECT_EQ(graph()->y_range().min, -1.0); // kept as set
        EXPECT_EQ(graph()->x_log(), log == 1);
    }
}

TEST_F(GraphTest, StripChartsSpreadEachCallOverTheirTracesAndKeepTheirHistory) {
    kxqt::StripChart* groups = chart(PANEL_GROUP_CHART);
    uint16_t values[80] = {1, 2, 3, 4, 5, 6, 7, 8};
    PlotStripChart(panel, PANEL_GROUP_CHART, values, 8, 0, 0, TYPE_UINT16);
    EXPECT_EQ(groups->csv(), QStringLiteral("sample,word 0–1,word 2–3,byte 4,byte 5\n"
                                            "0,1,2,3,4\n1,5,6,7,8\n"));
    for (int call = 0; call < 2000 / 20 + 1; ++call) {
        for (int i = 0; i < 80; ++i)
            values[i] = static_cast<uint16_t>(65535 - i - call);
        EXPECT_EQ(PlotStripChart(panel, PANEL_GROUP_CHART, values, 80, 0, 0, TYPE_UINT16), 0);
    }
    int32_t rates[20];
    for (int i = 0; i < 20; ++i)
        rates[i] = -i;
    EXPECT_EQ(PlotStripChart(panel, PANEL_RATES, rates, 20, 0, 0, TYPE_INT32), 0);
    for (int trace = 0; trace < 4; ++trace) {
        EXPECT_EQ(groups->samples_held(trace), 2000);
        EXPECT_EQ(groups->latest(trace), 65535 - 76 - trace - 100);
    }
    for (int trace = 0; trace < 20; ++trace)
        EXPECT_EQ(chart(PANEL_RATES)->latest(trace), -trace);
}

// How the operator asks a plot for its menu: a right click, or a click on
// it and then the keyboard's menu key.
enum class Ask { RightClick, MenuKey };

// Asks `view`'s plot for its menu and returns the texts of the menu that
// opens, after triggering the item `chosen` (or none).
QStringList plot_menu(QWidget* view, const QString& chosen, Ask ask = Ask::RightClick) {
    // Through the window system, as real input comes: that is where a right
    // button press or the menu key becomes a context menu request.
    QWidget* plot = plot_in(view);
    QWindow* window = plot->window()->windowHandle();
    QPoint centre = plot->mapTo(plot->window(), plot->rect().center());
    if (ask == Ask::MenuKey) {
        plot->window()->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(plot->window(), 10000));
        QTest::mouseClick(window, Qt::LeftButton, {}, centre);
        EXPECT_EQ(QApplication::focusWidget(), plot);
    }
    // The menu runs its own event loop: it is read and closed from there.
    QStringList texts;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* action : menu->actions()) {
            texts << action->text();
            if (action->text() == chosen) menu->setActiveAction(action);
        }
        QTest::keyClick(menu, chosen.isEmpty() ? Qt::Key_Escape : Qt::Key_Return);
    });
    if (ask == Ask::RightClick) {
        QTest::mouseClick(window, Qt::RightButton, {}, centre);
    } else {
        // The X11 platform turns the menu key into a keyboard context menu
        // request to the window, which goes to the widget with the focus.
        QContextMenuEvent request(QContextMenuEvent::Keyboard, centre,
                                  plot->window()->mapToGlobal(centre));
        QApplication::sendEvent(window, &request);
    }
    return texts;
}

TEST_F(GraphTest, RightClickOrMenuKeyOnEveryPlotOffersItsMenuAndCopiesCsvWithoutACommit) {
    const int16_t x[] = {7};
    const float y[] = {2.0f};
    plot(x, y, 1);
    const QStringList menu = {QStringLiteral("Save as image (PNG/PDF)…"),
                              QStringLiteral("Copy data as CSV")};
    for (int control : {PANEL_RATES, PANEL_GROUP_CHART})
        EXPECT_EQ(plot_menu(chart(control), QString()), menu) << "control " << control;
    EXPECT_EQ(plot_menu(graph(), QString(), Ask::MenuKey), menu);
    QApplication::clipboard()->clear();
    EXPECT_EQ(plot_menu(graph(), menu[1]), menu);
    EXPECT_EQ(QApplication::clipboard()->text(), graph()->csv());
    EXPECT_EQ(commits(), Commits{});
}

TEST_F(GraphTest, SavesImagesAsPngOrPdfByTheNamesEnding) {
    QTemporaryDir directory;
    for (auto [name, magic] : {std::pair{"spectrum.png", "\x89PNG"}, {"spectrum.PDF", "%PDF"}}) {
        QString path = directory.filePath(QLatin1String(name));
        ASSERT_TRUE(graph()->save_image(path)) << name;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.read(4), QByteArray(magic)) << name;
    }
    EXPECT_FALSE(graph()->save_image(directory.filePath(QStringLiteral("missing/dir.png"))));
}

// Counts, per plot, the replots into its buffers and the paints onto the
// window.
class DrawCounter : public QObject {
  public:
    explicit DrawCounter(QWidget* window) {
        for (QCustomPlot* plot : window->findChildren<QCustomPlot*>()) {
            plot->installEventFilter(this);
            connect(plot, &QCustomPlot::afterReplot, this, [this, plot] { ++replots[plot]; });
        }
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints[watched];
        return false;
    }
    std::map<QObject*, int> replots;
    std::map<QObject*, int> paints;
};

TEST_F(GraphTest, BurstOfFramesReplotsEachChangedPlotOnceAndNeverHalfDone) {
    DrawCounter counter(window());
    QCustomPlot* spectrum = plot_in(graph());
    QCustomPlot* rates = plot_in(chart(PANEL_RATES));
    const int16_t x[] = {1, 2, 3};
    const float y[] = {1.0f, 4.0f, 2.0f};
    int32_t rate_values[20] = {};
    for (int frame = 0; frame < 100; ++frame) {
        // The spectrum is emptied and plotted again in every frame: nothing
        // may be drawn in between, or the graph would blink.
        DeleteGraphPlot(panel, PANEL_SPECTRUM, -1, 1);
        ASSERT_EQ(counter.paints[spectrum] + counter.replots[spectrum], 0);
        plot(x, y, 3);
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
    EXPECT_EQ(counter.replots[plot_in(chart(PANEL_GROUP_CHART))], 0); // unchanged
    // The strip chart scrolled to its latest samples.
    EXPECT_EQ(rates->xAxis->range(), QCPRange(0, 300));
}

TEST_F(GraphTest, HiddenOrMinimisedWindowReplotsNothingUntilShownAgain) {
    QCustomPlot* rates = plot_in(chart(PANEL_RATES));
    int32_t values[20] = {};
    for (bool minimise : {false, true}) {
        SCOPED_TRACE(minimise ? "minimised" : "hidden");
        DrawCounter counter(window());
        minimise ? window()->showMinimized() : window()->hide();
        PlotStripChart(panel, PANEL_RATES, values, 20, 0, 0, TYPE_INT32);
        QTest::qWait(100);
        EXPECT_EQ(counter.replots[rates], 0);
        window()->showNormal();
        EXPECT_TRUE(QTest::qWaitFor([&] { return counter.replots[rates] > 0; }, 60000));
    }
}
