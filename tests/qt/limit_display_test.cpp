// Limits on the panel as the operator sees them: a value field's state, the
// alarm list and the strip charts' limit lines.
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QTableWidget>
#include <cmath>
#include <functional>
#include <limits>
#include <qcustomplot.h>
#include <string>
#include <vector>

#include "files.h"
#include "panel_fixture.h"
#include "strip_chart.h"

namespace {

const QColor YELLOW(0xff, 0xd8, 0x4d);
const QColor RED(0xf2, 0x5c, 0x54);
const QColor YELLOW_INK(0x6b, 0x52, 0x00);
const QColor RED_INK(0x6e, 0x00, 0x00);
const QColor YELLOW_LINE(0xe6, 0xa1, 0x00);
const QColor RED_LINE(0xd0, 0x00, 0x00);
constexpr double NONE = std::numeric_limits<double>::infinity();

QImage look_of(QWidget* widget) {
    EXPECT_TRUE(paint_due(widget->window()));
    QApplication::processEvents();
    return widget->grab().toImage();
}

// Equal but for the rounding of an antialiased edge's coverage.
bool looks_like(const QColor& shown, const QColor& expected) {
    return std::abs(shown.red() - expected.red()) <= 2 &&
           std::abs(shown.green() - expected.green()) <= 2 &&
           std::abs(shown.blue() - expected.blue()) <= 2;
}

// The colour at a point of the image, given as fractions of `box`.
QColor at(const QImage& image, const QRect& box, double x, double y) {
    return image.pixelColor(box.left() + static_cast<int>(x * box.width()),
                            box.top() + static_cast<int>(y * box.height()));
}

// The square the badge is drawn in: left in the field, as high as the field
// less a frame's width above and below.
QRect badge_of(const QWidget* field) {
    int side = field->height() - 8;
    return QRect(5, (field->height() - side) / 2, side, side);
}

// The extent of the dark text's pixels inside `room`.
QRect text_ink(const QImage& image, const QRect& room) {
    QRect ink;
    for (int y = room.top(); y <= room.bottom(); ++y)
        for (int x = room.left(); x <= room.right(); ++x)
            if (image.pixelColor(x, y).lightness() < 80) ink |= QRect(x, y, 1, 1);
    return ink;
}

std::string text_of(int panel, int control) {
    char text[64] = "";
    EXPECT_EQ(GetCtrlVal(panel, control, text, sizeof text), 0);
    return text;
}

int current_alarm(int panel) {
    int row = -2;
    EXPECT_EQ(GetCtrlVal(panel, PANEL_ALARMS, &row), 0);
    return row;
}

struct Line {
    double y;
    QColor colour;
    bool operator==(const Line&) const = default;
};

// The horizontal lines a chart shows (the notes' marks are vertical).
std::vector<Line> limit_lines(QCustomPlot* plot) {
    std::vector<Line> lines;
    for (int i = 0; i < plot->itemCount(); ++i) {
        auto* line = qobject_cast<QCPItemStraightLine*>(plot->item(i));
        if (line && line->visible() && line->point1->coords().y() == line->point2->coords().y())
            lines.push_back({line->point1->coords().y(), line->pen().color()});
    }
    std::sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) { return a.y < b.y; });
    return lines;
}

void PrintTo(const Line& line, std::ostream* out) {
    *out << line.y << " " << line.colour.name().toStdString();
}

} // namespace

static void PrintTo(const QColor& colour, std::ostream* out) {
    *out << colour.name().toStdString();
}

// Yellow and red each colour the field and draw a badge of their own shape,
// which later writes leave in place; in range again, the field looks as it
// did before.
TEST_F(PanelTest, LimitStateColoursAFieldAndMarksItWithoutChangingItsText) {
    struct Case {
        int control;
        int state;
        QColor background;
        QColor ink;
        QColor beside_apex; // a triangle's is the background, an octagon's its ink
        bool solid_frame;   // else dashed
    };
    const Case cases[] = {
        {PANEL_WORD_10, SHOW_YELLOW, YELLOW, YELLOW_INK, YELLOW, false},
        {PANEL_SCALED_246, SHOW_RED, RED, RED_INK, RED_INK, true},
        {PANEL_TENTH_248, SHOW_YELLOW, YELLOW, YELLOW_INK, YELLOW, false},
        {PANEL_COUNT_MODE0, SHOW_RED, RED, RED_INK, RED_INK, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        auto* field = widget<QLineEdit>(c.control);
        ASSERT_NE(field, nullptr);
        SetCtrlVal(panel, c.control, "12");
        const QImage in_range = look_of(field);
        const QRect place = field->geometry();
        ASSERT_EQ(SetCtrlAttribute(panel, c.control, ATTR_LIMIT_STATE, c.state), 0);
        QImage marked = look_of(field);
        // The mark comes with the paint that shows the state, and asks for
        // none after it.
        EXPECT_FALSE(paint_asked(window()));
        EXPECT_EQ(field->geometry(), place); // nothing on the panel moves
        QRect badge = badge_of(field);
        EXPECT_EQ(marked.pixelColor(badge.right() + 4, field->height() / 2), c.background);
        int frame = 0; // the frame's top line
        for (int x = 0; x < field->width(); ++x)
            frame += marked.pixelColor(x, 0) == c.ink;
        EXPECT_EQ(frame == field->width(), c.solid_frame) << frame;
        EXPECT_GT(frame, field->width() / 2);
        // The badge stays through the writes of long values, and the value
        // shows beside it, dark on the state's colour.
        int ink_width = 0;
        for (const char* text : {"12", "-179.9999319"}) {
            SetCtrlVal(panel, c.control, text);
            marked = look_of(field);
            EXPECT_PRED2(looks_like, at(marked, badge, 0.3, 0.85), c.ink);
            EXPECT_PRED2(looks_like, at(marked, badge, 0.15, 0.3), c.beside_apex);
            EXPECT_EQ(text_of(panel, c.control), text);
            QRect ink =
                text_ink(marked, QRect(badge.right() + 1, 4, field->width() - badge.right() - 5,
                                       field->height() - 8));
            EXPECT_GT(ink.left(), badge.right()) << text;
            EXPECT_GT(ink.width(), ink_width) << text;
            ink_width = ink.width();
        }
        ASSERT_EQ(SetCtrlAttribute(panel, c.control, ATTR_LIMIT_STATE, SHOW_IN_RANGE), 0);
        SetCtrlVal(panel, c.control, "12");
        EXPECT_EQ(look_of(field), in_range);
        EXPECT_EQ(field->textMargins(), QMargins()); // the badge's room is the text's again
        EXPECT_EQ(text_of(panel, c.control), "12");
    }
    // Neither a state the panel does not know nor a control that is no value
    // field takes one.
    EXPECT_LT(SetCtrlAttribute(panel, PANEL_WORD_12, ATTR_LIMIT_STATE, 3), 0);
    EXPECT_LT(SetCtrlAttribute(panel, PANEL_WORD_12, ATTR_LIMIT_STATE, -1), 0);
    EXPECT_LT(SetCtrlAttribute(panel, PANEL_RATES, ATTR_LIMIT_STATE, SHOW_RED), 0);
    EXPECT_EQ(widget<QLineEdit>(PANEL_WORD_12)->property("limitState").toInt(), SHOW_IN_RANGE);
}

// Rows take their cells and their state's colour and badge; the operator's
// row stays selected while the rows change under it, and goes with its row.
TEST_F(PanelTest, AlarmRowsShowTheirStateAndKeepTheOperatorsRow) {
    auto* table = widget<QTableWidget>(PANEL_ALARMS);
    ASSERT_NE(table, nullptr);
    QStringList headers;
    for (int column = 0; column < table->columnCount(); ++column)
        headers << table->horizontalHeaderItem(column)->text();
    EXPECT_EQ(headers.join('|'), "Value|State|Worst|First|Last|Count");
    struct Row {
        std::vector<const char*> cells;
        int state;
        QColor background; // none: the table's own
    };
    const Row rows[] = {
        {{"bus voltage", "red", "red", "12:00:01", "12:00:09", "9"}, SHOW_RED, RED},
        {{"logic supply", "yellow", "red", "11:59:00", "12:00:09", "70"}, SHOW_YELLOW, YELLOW},
        {{"elevation", "in range", "yellow", "11:58:00"}, SHOW_IN_RANGE, QColor()},
    };
    EXPECT_EQ(SetTableRowCount(panel, PANEL_ALARMS, 3), 0);
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(SetTableRow(panel, PANEL_ALARMS, r, rows[r].cells.data(),
                              static_cast<int>(rows[r].cells.size()), rows[r].state),
                  0);
    EXPECT_EQ(current_alarm(panel), -1);
    // The names show whole beside the badge.
    EXPECT_GT(table->columnWidth(0), table->fontMetrics().horizontalAdvance("logic supply") + 16);
    const QImage shown = look_of(table->viewport());
    for (int r = 0; r < 3; ++r) {
        SCOPED_TRACE(r);
        QStringList texts;
        for (int column = 0; column < table->columnCount(); ++column) {
            QTableWidgetItem* item = table->item(r, column);
            texts << (item ? item->text() : QStringLiteral("-"));
            EXPECT_FALSE(item && item->flags() & Qt::ItemIsEditable);
        }
        QStringList given;
        for (const char* cell : rows[r].cells)
            given << cell;
        while (given.size() < 6)
            given << "";
        EXPECT_EQ(texts, given);
        QRect state_cell = table->visualItemRect(table->item(r, 1));
        QColor cell_colour = shown.pixelColor(state_cell.right() - 3, state_cell.center().y());
        QColor table_colour = table->palette().color(QPalette::Base);
        EXPECT_EQ(cell_colour, rows[r].background.isValid() ? rows[r].background : table_colour);
        EXPECT_EQ(table->item(r, 0)->icon().isNull(), rows[r].state == SHOW_IN_RANGE);
    }
    // The operator picks the yellow row; the rows are written again, the
    // yellow one turning red.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualItemRect(table->item(1, 2)).center());
    EXPECT_EQ(current_alarm(panel), 1);
    const char* now_red[] = {"logic supply", "red", "red", "11:59:00", "12:00:10", "71"};
    EXPECT_EQ(SetTableRowCount(panel, PANEL_ALARMS, 3), 0);
    EXPECT_EQ(SetTableRow(panel, PANEL_ALARMS, 1, now_red, 6, SHOW_RED), 0);
    EXPECT_EQ(current_alarm(panel), 1);
    EXPECT_EQ(table->item(1, 5)->text(), "71");
    EXPECT_EQ(table->item(1, 1)->background().color(), RED);
    // Its row gone, nothing is picked; a row written past the end adds rows.
    EXPECT_EQ(SetTableRowCount(panel, PANEL_ALARMS, 1), 0);
    EXPECT_EQ(table->rowCount(), 1);
    EXPECT_EQ(current_alarm(panel), -1);
    EXPECT_EQ(SetTableRow(panel, PANEL_ALARMS, 2, now_red, 6, SHOW_RED), 0);
    EXPECT_EQ(table->rowCount(), 3);
    EXPECT_EQ(current_alarm(panel), -1);
    EXPECT_EQ(commits(), Commits{}); // picking a row is no commit
    QTest::mouseClick(widget<QAbstractButton>(PANEL_ACKNOWLEDGE), Qt::LeftButton);
    EXPECT_EQ(commits(), Commits{PANEL_ACKNOWLEDGE});
}

// A refused call changes nothing in the list.
TEST_F(PanelTest, AlarmListRefusesWhatItCannotShow) {
    const char* cells[] = {"a", nullptr};
    struct Call {
        const char* what;
        std::function<int()> call;
    };
    const Call calls[] = {
        {"negative count", [&] { return SetTableRowCount(panel, PANEL_ALARMS, -1); }},
        {"huge count", [&] { return SetTableRowCount(panel, PANEL_ALARMS, 2000000000); }},
        {"no table", [&] { return SetTableRowCount(panel, PANEL_RATES, 1); }},
        {"huge row", [&] { return SetTableRow(panel, PANEL_ALARMS, 2000000000, cells, 1, 2); }},
        {"negative row", [&] { return SetTableRow(panel, PANEL_ALARMS, -1, cells, 1, 2); }},
        {"unknown state", [&] { return SetTableRow(panel, PANEL_ALARMS, 0, cells, 1, 3); }},
        {"null cell", [&] { return SetTableRow(panel, PANEL_ALARMS, 0, cells, 2, 2); }},
        {"no cells", [&] { return SetTableRow(panel, PANEL_ALARMS, 0, nullptr, 1, 2); }},
        {"a text field", [&] { return SetTableRow(panel, PANEL_STATUS, 0, cells, 1, 2); }},
    };
    for (const Call& c : calls) {
        SCOPED_TRACE(c.what);
        EXPECT_LT(c.call(), 0);
        EXPECT_EQ(widget<QTableWidget>(PANEL_ALARMS)->rowCount(), 0);
    }
}

// Lines at a trace's finite limits, red and yellow, over the values and out
// of the way of everything the chart did before: its y range follows the
// values alone and its CSV copy holds them alone.
TEST_F(PanelTest, StripChartLimitLinesStandAtTheLimitsUntilFourInfinitiesTakeThemAway) {
    auto* chart = widget<kxqt::StripChart>(PANEL_RATES);
    ASSERT_NE(chart, nullptr);
    QCustomPlot* plot = chart->findChild<QCustomPlot*>();
    int32_t values[20];
    for (int frame = 0; frame < 10; ++frame) {
        for (int s = 0; s < 20; ++s)
            values[s] = 300 + 30 * s + frame;
        PlotStripChart(panel, PANEL_RATES, values, 20, 0, 0, TYPE_INT32);
    }
    chart->refresh();
    const QCPRange y_range = plot->yAxis->range();
    const QString csv = chart->csv();
    struct Step {
        int trace;
        double limits[4];
        std::vector<Line> shown;
    };
    const Step steps[] = {
        {2, {100, 200, NONE, 900}, {{100, RED_LINE}, {200, YELLOW_LINE}, {900, RED_LINE}}},
        {5,
         {-NONE, 400, 600, NONE},
         {{100, RED_LINE},
          {200, YELLOW_LINE},
          {400, YELLOW_LINE},
          {600, YELLOW_LINE},
          {900, RED_LINE}}},
        {2, {NAN, NONE, 850, NONE}, {{400, YELLOW_LINE}, {600, YELLOW_LINE}, {850, YELLOW_LINE}}},
        {2, {-NONE, -NONE, NONE, NONE}, {{400, YELLOW_LINE}, {600, YELLOW_LINE}}},
        {5, {-NONE, -NONE, NONE, NONE}, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.shown.size());
        const double* l = step.limits;
        ASSERT_EQ(SetStripChartLimits(panel, PANEL_RATES, step.trace, l[0], l[1], l[2], l[3]), 0);
        chart->refresh();
        EXPECT_EQ(limit_lines(plot), step.shown);
        EXPECT_EQ(plot->yAxis->range(), y_range);
        EXPECT_EQ(chart->csv(), csv);
        EXPECT_TRUE(chart->following());
    }
    // Drawn where the axis puts the value, as long as the trace shows.
    ASSERT_EQ(SetStripChartLimits(panel, PANEL_RATES, 3, -NONE, -NONE, 700, NONE), 0);
    chart->refresh();
    QImage image = plot->toPixmap().toImage();
    auto inked = [&](double value) {
        int y = static_cast<int>(std::lround(plot->yAxis->coordToPixel(value)));
        int count = 0;
        for (int x = plot->axisRect()->left(); x < plot->axisRect()->right(); ++x)
            count += image.pixelColor(x, y) == YELLOW_LINE;
        return count;
    };
    EXPECT_GT(inked(700), plot->axisRect()->width() / 4);
    EXPECT_EQ(inked(690), 0);
    // The same limits again, as the program may say them every frame, cost
    // no replot.
    int replots = 0;
    QObject::connect(plot, &QCustomPlot::afterReplot, plot, [&] { ++replots; });
    ASSERT_EQ(SetStripChartLimits(panel, PANEL_RATES, 3, -NONE, NAN, 700, NONE), 0);
    chart->refresh();
    EXPECT_EQ(replots, 0);
    plot->graph(3)->setVisible(false);
    plot->replot();
    EXPECT_EQ(limit_lines(plot), std::vector<Line>{});
    EXPECT_LT(SetStripChartLimits(panel, PANEL_RATES, 20, 1, 2, 3, 4), 0);
    EXPECT_LT(SetStripChartLimits(panel, PANEL_RATES, -1, 1, 2, 3, 4), 0);
    EXPECT_LT(SetStripChartLimits(panel, PANEL_SPECTRUM, 0, 1, 2, 3, 4), 0);
}

// A panel file made before the alarm list still shows the fields' states;
// the list is simply not offered.
TEST(PanelLoad, AnOlderPanelFileWithoutTheAlarmListShowsFieldStates) {
    OlderPanel older;
    const int panel = older.panel;
    ASSERT_GT(panel, 0) << PanelLoadError();
    const char* cells[] = {"bus voltage"};
    int row = 0;
    EXPECT_LT(SetTableRowCount(panel, PANEL_ALARMS, 1), 0);
    EXPECT_LT(SetTableRow(panel, PANEL_ALARMS, 0, cells, 1, SHOW_RED), 0);
    EXPECT_LT(GetCtrlVal(panel, PANEL_ALARMS, &row), 0);
    EXPECT_EQ(SetCtrlAttribute(panel, PANEL_WORD_12, ATTR_LIMIT_STATE, SHOW_RED), 0);
    auto* field = qobject_cast<QLineEdit*>(kxqt::control_widget(panel, PANEL_WORD_12));
    ASSERT_NE(field, nullptr);
    DisplayPanel(panel);
    QImage marked = look_of(field);
    EXPECT_PRED2(looks_like, at(marked, badge_of(field), 0.3, 0.85), RED_INK);
    EXPECT_EQ(marked.pixelColor(badge_of(field).right() + 4, field->height() / 2), RED);
    DiscardPanel(panel);
}
