// Values the program writes are the values the panel shows and reads back.
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextDocument>

#include "inputs.h"
#include "panel_fixture.h"

class PanelValues : public PanelTest {
  protected:
    QString text(int control) { return widget<QLineEdit>(control)->text(); }
};

TEST_F(PanelValues, DisplaysShowIntegersDoublesAndTexts) {
    SetCtrlVal(panel, PANEL_WORD_244, 65535);
    SetCtrlVal(panel, PANEL_SKIPPED, -12);
    // The scaled words arrive as floats widened to doubles.
    SetCtrlVal(panel, PANEL_SCALED_246, static_cast<double>(-0.0001f));
    SetCtrlVal(panel, PANEL_TENTH_246, static_cast<double>(123.4f));
    SetCtrlVal(panel, PANEL_COUNT_MODE0, 1234567 * 0.001);
    SetCtrlVal(panel, PANEL_COUNT_MODE2, 89.999965945856);
    SetCtrlVal(panel, PANEL_COUNT_MODE3, -179.999931891712);
    SetCtrlVal(panel, PANEL_TIME, "-23:-59:-60.0");
    SetCtrlVal(panel, PANEL_STATUS, "COM1 err: too few bytes read");
    EXPECT_EQ(text(PANEL_WORD_244), QStringLiteral("65535"));
    EXPECT_EQ(text(PANEL_SKIPPED), QStringLiteral("-12"));
    EXPECT_EQ(text(PANEL_SCALED_246), QStringLiteral("-0.0001"));
    EXPECT_EQ(text(PANEL_TENTH_246), QStringLiteral("123.4"));
    EXPECT_EQ(text(PANEL_COUNT_MODE0), QStringLiteral("1234.567"));
    EXPECT_EQ(text(PANEL_COUNT_MODE2), QStringLiteral("89.99996595"));
    EXPECT_EQ(text(PANEL_COUNT_MODE3), QStringLiteral("-179.9999319"));
    EXPECT_EQ(text(PANEL_TIME), QStringLiteral("-23:-59:-60.0"));
    EXPECT_EQ(text(PANEL_STATUS), QStringLiteral("COM1 err: too few bytes read"));
}

TEST_F(PanelValues, HexDumpShowsTheWholeTextInAMonospaceFont) {
    std::string dump;
    for (int line = 0; line < 8; ++line)
        dump += "\n" + std::string(64, line % 2 ? 'F' : '0');
    SetCtrlVal(panel, PANEL_HEXDUMP, dump.c_str());
    auto* box = widget<QPlainTextEdit>(PANEL_HEXDUMP);
    EXPECT_EQ(box->toPlainText().toStdString(), dump);
    QFontMetrics metrics(box->font());
    EXPECT_EQ(metrics.horizontalAdvance(QLatin1Char('1')),
              metrics.horizontalAdvance(QLatin1Char('W')));
    // 64 digits fit on a line, and the eight lines after the leading
    // newline fit the box, without scrolling.
    int margins = 2 * static_cast<int>(box->document()->documentMargin());
    int line_width = metrics.horizontalAdvance(QString(64, QLatin1Char('0')));
    EXPECT_LE(line_width + margins, box->viewport()->width());
    EXPECT_LE(9 * metrics.lineSpacing() + margins, box->viewport()->height());
}

TEST_F(PanelValues, InputsReadBackWhatTheProgramWrote) {
    int value = 0;
    float limit = 0.0f;
    SetCtrlVal(panel, PANEL_NFRAMES, -5);
    GetCtrlVal(panel, PANEL_NFRAMES, &value);
    EXPECT_EQ(value, -5);
    SetCtrlVal(panel, PANEL_YMAX, 2.5);
    GetCtrlVal(panel, PANEL_YMAX, &limit);
    EXPECT_EQ(limit, 2.5f);
    SetCtrlVal(panel, PANEL_XLOG, 1);
    GetCtrlVal(panel, PANEL_XLOG, &value);
    EXPECT_EQ(value, 1);
}

TEST_F(PanelValues, AccumulateShowsAnyIntegerTheProgramWrites) {
    auto* choice = widget<QComboBox>(PANEL_ACCUMULATE);
    int value = 0;
    SetCtrlVal(panel, PANEL_ACCUMULATE, -1);
    GetCtrlVal(panel, PANEL_ACCUMULATE, &value);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(choice->currentText(), QStringLiteral("Subtract frames"));
    SetCtrlVal(panel, PANEL_ACCUMULATE, 5);
    GetCtrlVal(panel, PANEL_ACCUMULATE, &value);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(choice->currentText(), QStringLiteral("5"));
    SetCtrlVal(panel, PANEL_ACCUMULATE, -9);
    GetCtrlVal(panel, PANEL_ACCUMULATE, &value);
    EXPECT_EQ(value, -9);
    EXPECT_EQ(choice->count(), 4); // one item for whatever was written last
    SetCtrlVal(panel, PANEL_ACCUMULATE, 0);
    GetCtrlVal(panel, PANEL_ACCUMULATE, &value);
    EXPECT_EQ(value, 0);
}

TEST_F(PanelValues, RunEndedMarksTheFrameBudgetWithoutLockingIt) {
    auto* budget = widget<kxqt::IntInput>(PANEL_NFRAMES);
    const QString own_tooltip = budget->toolTip();
    EXPECT_EQ(SetCtrlAttribute(panel, PANEL_NFRAMES, ATTR_RUN_STATE, RUN_ENDED), 0);
    EXPECT_EQ(budget->property("runState").toInt(), RUN_ENDED);
    // Add or Subtract alone ends a run without plots left at the next frame.
    EXPECT_EQ(budget->toolTip(),
              QStringLiteral("Accumulation run ended: no frames are being accumulated. To start "
                             "again, raise Plots left above 0, then choose Add or Subtract."));
    EXPECT_TRUE(budget->isEnabled());
    EXPECT_FALSE(budget->isReadOnly());
    // The marked field still takes the operator's budget.
    budget->activateWindow();
    budget->setFocus();
    budget->selectAll();
    QTest::keyClicks(budget, QStringLiteral("50"));
    QTest::keyClick(budget, Qt::Key_Return);
    EXPECT_EQ(commits(), std::vector<int>{PANEL_NFRAMES});
    int value = 0;
    GetCtrlVal(panel, PANEL_NFRAMES, &value);
    EXPECT_EQ(value, 50);
    // A new run clears the mark, and the field explains itself again.
    EXPECT_EQ(SetCtrlAttribute(panel, PANEL_NFRAMES, ATTR_RUN_STATE, 0), 0);
    EXPECT_EQ(budget->property("runState").toInt(), 0);
    EXPECT_EQ(budget->toolTip(), own_tooltip);
    EXPECT_FALSE(own_tooltip.isEmpty());
}

TEST_F(PanelValues, UnknownControlsAndAttributesFail) {
    int value = 0;
    EXPECT_LT(SetCtrlVal(panel, 99, 1), 0);
    EXPECT_LT(SetCtrlVal(panel + 1, PANEL_STATUS, "x"), 0);
    EXPECT_LT(GetCtrlVal(panel, PANEL_STATUS, &value), 0); // a display has no number to read
    EXPECT_LT(SetCtrlAttribute(panel, PANEL_SPECTRUM, 4242, 1), 0);
    EXPECT_LT(SetCtrlAttribute(panel, PANEL_STATUS, ATTR_XMAP_MODE, 1), 0);
}
