// The spectrum graph and the strip charts as the program drives them.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <cstdint>
#include <limits>
#include <map>
#include <qcustomplot.h>

#include "graph.h"
#include "panel_fixture.h"
#include "strip_chart.h"

class GraphTest : public PanelTest {
  protected:
    kxqt::Graph* graph() { return widget<kxqt::Graph>(PANEL_SPECTRUM); }
    // Draws the whole window as the screen would.
    void paint() { EXPECT_FALSE(kxqt::test::panel_window(panel)->grab().isNull()); }
};

TEST_F(GraphTest, PlotXYPlotsTheExactPointsOfInt16AndFloatArrays) {
    const int16_t x[] = {-3, 1, 4086};
    const float y[] = {0.5f, 20.833332f, -1e-5f};
    int handle = PlotXY(panel, PANEL_SPECTRUM, x, y, 3, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF);
    EXPECT_GT(handle, 0);
    ASSERT_EQ(graph()->curve_count(), 1);
    QList<QPointF> expected = {
        {-3.0, 0.5}, {1.0, static_cast<double>(20.833332f)}, {4086.0, static_cast<double>(-1e-5f)}};
    EXPECT_EQ(graph()->curve_points(0), expected);
    paint();
}

TEST_F(GraphTest, UnknownDataTypeOrCountPlotsNothing) {
    const int16_t x[] = {1, 2};
    const float y[] = {1.0f, 2.0f};
    EXPECT_LT(PlotXY(panel, PANEL_SPECTRUM, x, y, 2, TYPE_INT16, 4, 6, 0, 0, 1, 0xFF), 0);
    EXPECT_LT(PlotXY(panel, PANEL_SPECTRUM, x, y, -1, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF), 0);
    EXPECT_LT(PlotXY(panel, PANEL_RATES, x, y, 2, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF), 0);
    EXPECT_EQ(graph()->curve_count(), 0);
}

TEST_F(GraphTest, DeleteGraphPlotRemovesOneOrEveryCurve) {
    const int16_t x[] = {1, 2};
    const float y[] = {1.0f, 2.0f};
    int first = PlotXY(panel, PANEL_SPECTRUM, x, y, 2, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF);
    int second = PlotXY(panel, PANEL_SPECTRUM, x, y, 2, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF);
    EXPECT_NE(first, second);
    EXPECT_EQ(DeleteGraphPlot(panel, PANEL_SPECTRUM, first, 1), 0);
    EXPECT_EQ(graph()->curve_count(), 1);
    EXPECT_LT(DeleteGraphPlot(panel, PANEL_SPECTRUM, first, 1), 0);
    PlotXY(panel, PANEL_SPECTRUM, x, y, 2, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF);
    EXPECT_EQ(DeleteGraphPlot(panel, PANEL_SPECTRUM, -1, 1), 0);
    EXPECT_EQ(graph()->curve_count(), 0);
}

TEST_F(GraphTest, AxisModeMinusOneLeavesThatAxisAlone) {
    EXPECT_EQ(SetAxisRange(panel, PANEL_SPECTRUM, 0, 10, 20, -1, 99, 100), 0);
    EXPECT_EQ(graph()->x_range().min, 10.0);
    EXPECT_EQ(graph()->x_range().max, 20.0);
    EXPECT_EQ(graph()->y_range().min, 0.001); // the panel file's initial limits
    EXPECT_EQ(graph()->y_range().max, 10.0);
    EXPECT_EQ(SetAxisRange(panel, PANEL_SPECTRUM, -1, 0, 1, 0, 0.5, 2), 0);
    EXPECT_EQ(graph()->x_range().min, 10.0);
    EXPECT_EQ(graph()->y_range().max, 2.0);
    EXPECT_EQ(graph()->drawn_y_range().min, 0.5);
}

TEST_F(GraphTest, LogMappingOnNonPositiveLimitsKeepsTheStoredLimits) {
    SetAxisRange(panel, PANEL_SPECTRUM, 0, 0, 4095, 0, -1, 0);
    EXPECT_EQ(SetCtrlAttribute(panel, PANEL_SPECTRUM, ATTR_XMAP_MODE, 1), 0);
    EXPECT_EQ(SetCtrlAttribute(panel, PANEL_SPECTRUM, ATTR_YMAP_MODE, 1), 0);
    const int16_t x[] = {0, 1, 4086};
    const float y[] = {0.0f, -2.0f, 3.0f};
    PlotXY(panel, PANEL_SPECTRUM, x, y, 3, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF);
    paint();
    EXPECT_TRUE(graph()->x_log());
    EXPECT_TRUE(graph()->y_log());
    EXPECT_GT(graph()->drawn_x_range().min, 0.0);
    EXPECT_EQ(graph()->drawn_x_range().max, 4095.0);
    EXPECT_GT(graph()->drawn_y_range().min, 0.0);
    EXPECT_EQ(graph()->x_range().min, 0.0);
    EXPECT_EQ(graph()->y_range().min, -1.0);
    EXPECT_EQ(graph()->y_range().max, 0.0);
    // Back to linear, the limits as set are drawn again.
    SetCtrlAttribute(panel, PANEL_SPECTRUM, ATTR_XMAP_MODE, 0);
    SetCtrlAttribute(panel, PANEL_SPECTRUM, ATTR_YMAP_MODE, 0);
    EXPECT_EQ(graph()->drawn_x_range().min, 0.0);
    EXPECT_EQ(graph()->drawn_y_range().min, -1.0);
    EXPECT_EQ(graph()->drawn_y_range().max, 0.0);
    paint();
}

TEST_F(GraphTest, NonFiniteLimitsOrMappingsAreRefused) {
    EXPECT_LT(SetAxisRange(panel, PANEL_SPECTRUM, 0, 0, std::numeric_limits<double>::infinity(), -1,
                           0, 0),
              0);
    EXPECT_LT(SetCtrlAttribute(panel, PANEL_SPECTRUM, ATTR_YMAP_MODE, 2), 0);
    EXPECT_EQ(graph()->x_range().max, 4095.0);
    EXPECT_FALSE(graph()->y_log());
}

TEST_F(GraphTest, StripChartsSpreadEachCallOverTheirTraces) {
    auto* rates = widget<kxqt::StripChart>(PANEL_RATES);
    auto* groups = widget<kxqt::StripChart>(PANEL_GROUP_CHART);
    ASSERT_TRUE(rates && groups);
    int32_t rate_values[20];
    uint16_t group_values[80];
    for (int i = 0; i < 20; ++i)
        rate_values[i] = -i;
    for (int i = 0; i < 80; ++i)
        group_values[i] = static_cast<uint16_t>(65535 - i);
    EXPECT_EQ(PlotStripChart(panel, PANEL_RATES, rate_values, 20, 0, 0, TYPE_INT32), 0);
    EXPECT_EQ(PlotStripChart(panel, PANEL_GROUP_CHART, group_values, 80, 0, 0, TYPE_UINT16), 0);
    for (int trace = 0; trace < rates->traces(); ++trace) {
        EXPECT_EQ(rates->samples_held(trace), 20 / rates->traces());
        EXPECT_EQ(rates->latest(trace), -(20 - rates->traces() + trace));
    }
    for (int trace = 0; trace < groups->traces(); ++trace) {
        EXPECT_EQ(groups->samples_held(trace), 80 / groups->traces());
        EXPECT_EQ(groups->latest(trace), 65535 - (80 - groups->traces() + trace));
    }
    paint();
}

TEST_F(GraphTest, StripChartHistoryStaysBoundedOverManyCalls) {
    auto* groups = widget<kxqt::StripChart>(PANEL_GROUP_CHART);
    uint16_t values[80] = {};
    int per_call = 80 / groups->traces();
    int calls = groups->history_length() / per_call * 3;
    for (int call = 0; call < calls; ++call) {
        values[0] = static_cast<uint16_t>(call);
        PlotStripChart(panel, PANEL_GROUP_CHART, values, 80, 0, 0, TYPE_UINT16);
    }
    for (int trace = 0; trace < groups->traces(); ++trace)
        EXPECT_EQ(groups->samples_held(trace), groups->history_length());
    paint();
}

TEST_F(GraphTest, GraphCsvListsEveryPoint) {
    const int16_t x[] = {1, 3};
    const float y[] = {0.5f, 0.1f};
    int handle = PlotXY(panel, PANEL_SPECTRUM, x, y, 2, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF);
    QString expected = QStringLiteral("plot,x,y\n%1,1,0.5\n%1,3,0.10000000149011612\n").arg(handle);
    EXPECT_EQ(graph()->csv(), expected);
}

TEST_F(GraphTest, StripChartCsvHasOneRowPerSample) {
    auto* groups = widget<kxqt::StripChart>(PANEL_GROUP_CHART);
    ASSERT_EQ(groups->traces(), 4);
    uint16_t values[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    PlotStripChart(panel, PANEL_GROUP_CHART, values, 8, 0, 0, TYPE_UINT16);
    EXPECT_EQ(groups->csv(), QStringLiteral("sample,word 0–1,word 2–3,byte 4,byte 5\n"
                                            "0,1,2,3,4\n1,5,6,7,8\n"));
}

// How the operator asks a plot for its menu: a right click, or a click on
// it and then the keyboard's menu key.
enum class Ask { RightClick, MenuKey };

// Asks `view`'s plot for its menu and returns the texts of the menu that
// opens, after triggering the item `chosen` (or none).
QStringList plot_menu(QWidget* view, const QString& chosen, Ask ask = Ask::RightClick) {
    // Through the window system, as real input comes: that is where a right
    // button press or the menu key becomes a context menu request.
    QWidget* plot = view->findChild<QCustomPlot*>();
    QWindow* window = plot->window()->windowHandle();
    QPoint centre = plot->mapTo(plot->window(), plot->rect().center());
    if (ask == Ask::MenuKey) {
        plot->window()->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(plot->window()));
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
    PlotXY(panel, PANEL_SPECTRUM, x, y, 1, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF);
    const QStringList menu = {QStringLiteral("Save as image (PNG/PDF)…"),
                              QStringLiteral("Copy data as CSV")};
    for (int control : {PANEL_RATES, PANEL_GROUP_CHART})
        EXPECT_EQ(plot_menu(kxqt::test::control(panel, control), QString()), menu)
            << "control " << control;
    EXPECT_EQ(plot_menu(graph(), QString(), Ask::MenuKey), menu);
    QApplication::clipboard()->clear();
    EXPECT_EQ(plot_menu(graph(), menu[1]), menu);
    EXPECT_EQ(QApplication::clipboard()->text(), graph()->csv());
    EXPECT_EQ(commits(), std::vector<int>{});
}

TEST_F(GraphTest, SavesImagesAsPngAndPdf) {
    QTemporaryDir directory;
    const int16_t x[] = {1, 2, 3};
    const float y[] = {1.0f, 4.0f, 2.0f};
    PlotXY(panel, PANEL_SPECTRUM, x, y, 3, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF);
    QString png = directory.filePath(QStringLiteral("spectrum.png"));
    QString pdf = directory.filePath(QStringLiteral("spectrum.PDF"));
    ASSERT_TRUE(graph()->save_image(png));
    ASSERT_TRUE(graph()->save_image(pdf));
    QFile png_file(png);
    QFile pdf_file(pdf);
    ASSERT_TRUE(png_file.open(QIODevice::ReadOnly) && pdf_file.open(QIODevice::ReadOnly));
    EXPECT_EQ(png_file.read(4), QByteArray("\x89PNG"));
    EXPECT_EQ(pdf_file.read(4), QByteArray("%PDF"));
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

QCustomPlot* plot_in(QWidget* view) { return view->findChild<QCustomPlot*>(); }

TEST_F(GraphTest, BurstOfFramesIsPaintedAtScreenPaceAndNeverHalfDone) {
    DrawCounter counter(kxqt::test::panel_window(panel));
    QCustomPlot* spectrum = plot_in(graph());
    QCustomPlot* rates = plot_in(widget<kxqt::StripChart>(PANEL_RATES));
    QCustomPlot* groups = plot_in(widget<kxqt::StripChart>(PANEL_GROUP_CHART));
    const int16_t x[] = {1, 2, 3};
    const float y[] = {1.0f, 4.0f, 2.0f};
    int32_t rate_values[20] = {};
    QElapsedTimer clock;
    clock.start();
    for (int frame = 0; frame < 100; ++frame) {
        // The spectrum is emptied and plotted again in every frame: nothing
        // may be drawn in between, or the graph would blink.
        DeleteGraphPlot(panel, PANEL_SPECTRUM, -1, 1);
        ASSERT_EQ(counter.paints[spectrum] + counter.replots[spectrum], 0);
        PlotXY(panel, PANEL_SPECTRUM, x, y, 3, TYPE_INT16, TYPE_FLOAT, 6, 0, 0, 1, 0xFF);
        rate_values[0] = frame;
        PlotStripChart(panel, PANEL_RATES, rate_values, 20, 0, 0, TYPE_INT32);
    }
    EXPECT_EQ(counter.replots[rates], 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter.paints[spectrum] > 0; }, 2000));
    QTest::qWait(150);
    // At most one replot per 33 ms pace interval, plus the first.
    int most = static_cast<int>(clock.elapsed() / 33) + 1;
    EXPECT_EQ(counter.replots[spectrum], 1);
    EXPECT_EQ(counter.replots[rates], 1);
    EXPECT_LE(counter.paints[spectrum], most);
    EXPECT_EQ(counter.replots[groups], 0); // unchanged: not replotted
    EXPECT_EQ(graph()->curve_count(), 1);
}

TEST_F(GraphTest, HiddenOrMinimisedWindowReplotsNothingUntilShownAgain) {
    QWidget* window = kxqt::test::panel_window(panel);
    QCustomPlot* rates = plot_in(widget<kxqt::StripChart>(PANEL_RATES));
    int32_t values[20] = {};
    for (bool minimise : {false, true}) {
        SCOPED_TRACE(minimise ? "minimised" : "hidden");
        DrawCounter counter(window);
        minimise ? window->showMinimized() : window->hide();
        PlotStripChart(panel, PANEL_RATES, values, 20, 0, 0, TYPE_INT32);
        QTest::qWait(100);
        EXPECT_EQ(counter.replots[rates], 0);
        window->showNormal();
        EXPECT_TRUE(QTest::qWaitFor([&] { return counter.replots[rates] > 0; }, 2000));
    }
}
