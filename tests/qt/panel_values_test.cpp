// Values the program writes are the values the panel shows and reads back.
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <cmath>
#include <variant>

#include "inputs.h"
#include "panel_fixture.h"

namespace {

QString shown(QWidget* control) {
    if (auto* line = qobject_cast<QLineEdit*>(control)) return line->text();
    if (auto* input = qobject_cast<QAbstractSpinBox*>(control)) return input->text();
    if (auto* choice = qobject_cast<QComboBox*>(control)) return choice->currentText();
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->isChecked() ? QStringLiteral("checked") : QStringLiteral("unchecked");
    return qobject_cast<QPlainTextEdit*>(control)->toPlainText();
}

} // namespace

TEST_F(PanelTest, WrittenValuesShowAndReadBackPerDataType) {
    struct Write {
        int control;
        std::variant<int, double, const char*> value;
        const char* shown;
        float read = NAN; // none: a display has no number to read
    };
    const Write writes[] = {
        {PANEL_WORD_244, 65535, "65535"},
        {PANEL_SKIPPED, -12, "-12"},
        // The scaled words arrive as floats widened to doubles.
        {PANEL_SCALED_246, double(-0.0001f), "-0.0001"},
        {PANEL_TENTH_246, double(123.4f), "123.4"},
        {PANEL_COUNT_MODE0, 1234567 * 0.001, "1234.567"},
        {PANEL_COUNT_MODE2, 89.999965945856, "89.99996595"},
        {PANEL_COUNT_MODE3, -179.999931891712, "-179.9999319"},
        {PANEL_TIME, "-23:-59:-60.0", "-23:-59:-60.0"},
        {PANEL_STATUS, "COM1 err: too few bytes read", "COM1 err: too few bytes read"},
        {PANEL_HEXDUMP, "\n00\nFF", "\n00\nFF"},
        {PANEL_NFRAMES, -5, "-5", -5},
        {PANEL_YMAX, 2.5, "2.5", 2.5f},
        {PANEL_YMIN, 0.00005, "5e-05", 0.00005f}, // small log limits read as what they are
        {PANEL_XLOG, 1, "checked", 1},
        {PANEL_ACCUMULATE, -1, "Subtract frames", -1},
        {PANEL_ACCUMULATE, 5, "5", 5}, // any integer, in an item of its own
        {PANEL_ACCUMULATE, -9, "-9", -9},
        {PANEL_ACCUMULATE, 0, "Off", 0},
    };
    for (const Write& write : writes) {
        SCOPED_TRACE(write.shown);
        auto set = [&](auto value) { return SetCtrlVal(panel, write.control, value); };
        EXPECT_EQ(std::visit(set, write.value), 0);
        EXPECT_EQ(shown(kxqt::test::control(panel, write.control)), QString::fromUtf8(write.shown));
        float read = NAN;
        int result = GetCtrlVal(panel, write.control, &read);
        EXPECT_EQ(result < 0, std::isnan(write.read));
        EXPECT_TRUE(result < 0 || read == write.read) << read;
    }
    EXPECT_EQ(widget<QComboBox>(PANEL_ACCUMULATE)->count(), 4);
    // Neither the writes nor moving through the written fields is an edit.
    for (int id : {PANEL_NFRAMES, PANEL_YMAX, PANEL_YMIN, PANEL_XMIN})
        focus(kxqt::test::control(panel, id));
    EXPECT_EQ(commits(), Commits{});
}

TEST_F(PanelTest, HexDumpShowsEightLinesOf64DigitsWholeInAMonospaceFont) {
    auto* box = widget<QPlainTextEdit>(PANEL_HEXDUMP);
    QFontMetrics metrics(box->font());
    EXPECT_EQ(metrics.horizontalAdvance(QLatin1Char('1')),
              metrics.horizontalAdvance(QLatin1Char('W')));
    // The eight lines follow a leading newline.
    int margins = 2 * static_cast<int>(box->document()->documentMargin());
    EXPECT_LE(metrics.horizontalAdvance(QString(64, QLatin1Char('0'))) + margins,
              box->viewport()->width());
    EXPECT_LE(9 * metrics.lineSpacing() + margins, box->viewport()->height());
}

TEST_F(PanelTest, RunEndedMarksTheFrameBudgetWithoutLockingIt) {
    auto* budget = widget<kxqt::IntInput>(PANEL_NFRAMES);
    const QString own_tooltip = budget->toolTip();
    ASSERT_FALSE(own_tooltip.isEmpty());
    EXPECT_EQ(SetCtrlAttribute(panel, PANEL_NFRAMES, ATTR_RUN_STATE, RUN_ENDED), 0);
    EXPECT_EQ(budget->property("runState").toInt(), RUN_ENDED);
    // Add or Subtract alone ends a run without plots left at the next frame.
    EXPECT_EQ(budget->toolTip(),
              QStringLiteral("Accumulation run ended: no frames are being accumulated. To start "
                             "again, raise Plots left above 0, then choose Add or Subtract."));
    EXPECT_TRUE(budget->isEnabled() && !budget->isReadOnly());
    EXPECT_EQ(SetCtrlAttribute(panel, PANEL_NFRAMES, ATTR_RUN_STATE, RUN_ON), 0);
    EXPECT_EQ(budget->property("runState").toInt(), RUN_ON);
    EXPECT_EQ(budget->toolTip(), own_tooltip);
    EXPECT_EQ(commits(), Commits{});
}
