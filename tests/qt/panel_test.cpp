// The panel as the operator and the program use it: loading it, the values
// the program writes and reads back, which queue no commit, and the
// operator's gestures, each of which queues exactly one.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <cmath>
#include <csignal>
#include <functional>
#include <memory>
#include <qcustomplot.h>
#include <string>
#include <variant>
#include <vector>

#include "files.h"
#include "frame_source.h"
#include "frames.h"
#include "group_frames.h"
#include "inputs.h"
#include "journal_reader.h"
#include "kxview_storage.h"
#include "panel_fixture.h"
#include "panel_style.h"
#include "replay_transport.h"
#include "run_journal.h"
#include "service.h"
#include "strip_chart.h"
#include "text_picture.h"

namespace {

// Puts the keyboard focus on `input` as the operator's click would.
void focus(QWidget* input) {
    input->activateWindow();
    input->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(input->hasFocus());
}

void type_over(QAbstractSpinBox* input, const char* text) {
    focus(input);
    input->selectAll();
    QTest::keyClicks(input, QLatin1String(text));
}

QString shown(QWidget* control) {
    if (auto* line = qobject_cast<QLineEdit*>(control)) return line->text();
    if (auto* input = qobject_cast<QAbstractSpinBox*>(control)) return input->text();
    if (auto* choice = qobject_cast<QComboBox*>(control)) return choice->currentText();
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->isChecked() ? QStringLiteral("checked") : QStringLiteral("unchecked");
    return kxqt::text_shown(qobject_cast<QPlainTextEdit*>(control));
}

// The width a line edit has for its text, as the style lays it out.
int text_room(const QLineEdit* edit) {
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->hasFrame()
                           ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit)
                           : 0;
    QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    constexpr int TEXT_MARGIN = 2; // each side, QLineEdit's own
    return contents.width() - edit->textMargins().left() - edit->textMargins().right() -
           2 * TEXT_MARGIN;
}

} // namespace

// Each file is looked up by its bare name, in the working directory first.
TEST(PanelLoad, MissingOrBrokenFileFailsWithAMessageNamingTheFault) {
    ScratchDirectory directory;
    WorkingDirectory here(directory.root());
    QFile source(QStringLiteral(KX_TEST_PANEL_FILE));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const std::string panel_file = source.readAll().toStdString();
    auto edited = [&](const std::string& from, const std::string& to) {
        std::string text = panel_file;
        return text.replace(text.find(from), from.size(), to);
    };
    struct Case {
        const char* name;
        std::string text; // none: no such file
        int resource;
        std::string error; // or how it begins, followed by the loader's reason
        bool whole;
    };
    const std::string root = directory.root();
    const Case cases[] = {
        {"absent.uir", "", PANEL, "absent.uir: not found in " + root + ", ", false},
        {"broken.uir", "<ui version=\"4.0\"><widget class=", PANEL, root + "/broken.uir: ", false},
        {"kx.uir", edited("name=\"PANEL_QUIT\"", "name=\"quitButton\""), PANEL,
         root + "/kx.uir: no control PANEL_QUIT", true},
        {"kx.uir",
         edited("<widget class=\"QCheckBox\" name=\"PANEL_XLOG\">",
                "<widget class=\"QPushButton\" name=\"PANEL_XLOG\">"),
         PANEL, root + "/kx.uir: PANEL_XLOG is a QPushButton, not a QCheckBox", true},
        {"kx.uir", panel_file, 2, root + "/kx.uir: no panel resource 2", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        if (!c.text.empty()) write_file(directory / c.name, c.text);
        EXPECT_LT(LoadPanel(0, c.name, c.resource), 0);
        std::string error = PanelLoadError();
        EXPECT_EQ(error.substr(0, c.error.size()), c.error);
        EXPECT_EQ(error.size() == c.error.size(), c.whole) << error;
    }
}

// A data file is looked for where the panel file is: the working directory
// first, then (in this development build) the source tree's ui/.
TEST(PanelLoad, DataFilesAreFoundWhereThePanelFileIs) {
    ScratchDirectory directory;
    WorkingDirectory here(directory.root());
    const std::string ui =
        QFileInfo(QStringLiteral(KX_TEST_PANEL_FILE)).absolutePath().toStdString();
    char path[4096] = "";
    struct Case {
        const char* name;
        bool in_working_directory;
        int size;          // of the buffer
        std::string found; // empty: none
    };
    const Case cases[] = {
        {"kx-limits.toml", false, sizeof path, ui + "/kx-limits.toml"},
        {"kx-limits.toml", true, sizeof path, directory / "kx-limits.toml"},
        {"kx-limits.toml", true, static_cast<int>((directory / "kx-limits.toml").size()), ""},
        {"absent.toml", false, sizeof path, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.found);
        if (c.in_working_directory) write_file(c.name, "");
        int length = FindDataFile(c.name, path, c.size);
        EXPECT_EQ(length < 0 ? "" : std::string(path, static_cast<size_t>(length)), c.found);
    }
}

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
        // A long text shows from the next paint on.
        QWidget* control = kxqt::control_widget(panel, write.control);
        EXPECT_TRUE(QTest::qWaitFor([&] { return shown(control) == write.shown; }))
            << shown(control).toStdString();
        float read = NAN;
        int result = GetCtrlVal(panel, write.control, &read);
        EXPECT_EQ(result < 0, std::isnan(write.read));
        EXPECT_TRUE(result < 0 || read == write.read) << read;
    }
    EXPECT_EQ(widget<QComboBox>(PANEL_ACCUMULATE)->count(), 4);
    // Neither the writes nor moving through the written fields is an edit.
    for (int id : {PANEL_NFRAMES, PANEL_YMAX, PANEL_YMIN, PANEL_XMIN})
        focus(kxqt::control_widget(panel, id));
    EXPECT_EQ(commits(), Commits{});
}

// What the program sets on a control is what the operator then sees on it:
// hidden with its label or shown again, a tip, a button's label; a text a
// control cannot take, or given for a number's attribute, fails and changes
// nothing.
TEST_F(PanelTest, AttributesSetShowOnTheControlAndItsLabel) {
    auto* xmin = widget<QWidget>(PANEL_XMIN);
    auto* label = window()->findChild<QLabel*>(QStringLiteral("xAxisLabel"));
    ASSERT_NE(label, nullptr);
    for (int visible : {0, 1, 0, 7}) {
        SCOPED_TRACE(visible);
        EXPECT_EQ(SetCtrlAttribute(panel, PANEL_XMIN, ATTR_VISIBLE, visible), 0);
        EXPECT_EQ(xmin->isVisible(), visible != 0);
        EXPECT_EQ(label->isVisible(), visible != 0);
    }
    struct Text {
        int control, attribute;
        const char* text;
        bool taken;
        QString tip, button;
    };
    const QString quit = widget<QAbstractButton>(PANEL_QUIT)->text();
    const Text texts[] = {
        {PANEL_QUIT, ATTR_TOOLTIP, "Ends kxview", true, "Ends kxview", quit},
        {PANEL_QUIT, ATTR_LABEL_TEXT, "Leave", true, "Ends kxview", "Leave"},
        {PANEL_QUIT, ATTR_DIMMED, "Stay", false, "Ends kxview", "Leave"}, // a number's
        {PANEL_XMIN, ATTR_LABEL_TEXT, "Leave", false, xmin->toolTip(), {}},
        {PANEL_XMIN, ATTR_TOOLTIP, "Left end", true, "Left end", {}},
    };
    for (const Text& t : texts) {
        SCOPED_TRACE(t.text);
        EXPECT_EQ(SetCtrlAttribute(panel, t.control, t.attribute, t.text) >= 0, t.taken);
        EXPECT_EQ(widget<QWidget>(t.control)->toolTip(), t.tip);
        if (auto* button = qobject_cast<QAbstractButton*>(widget<QWidget>(t.control))) {
            EXPECT_EQ(button->text(), t.button);
        }
    }
}

TEST_F(PanelTest, EachGestureQueuesOneCommitWithTheValueItLeaves) {
    auto* xmin = widget<kxqt::IntInput>(PANEL_XMIN);
    auto* xmax = widget<kxqt::IntInput>(PANEL_XMAX);
    auto* accumulate = widget<QComboBox>(PANEL_ACCUMULATE);
    auto click = [this](int id) { QTest::mouseClick(widget<QAbstractButton>(id), Qt::LeftButton); };
    auto enter = [this](int id, const char* text, Qt::Key key) {
        auto* input = widget<QAbstractSpinBox>(id);
        type_over(input, text);
        QTest::keyClick(input, key);
    };
    auto down = [=] { QTest::keyClick(accumulate, Qt::Key_Down); };
    // A shortcut clicks its button as the eye can follow, a moment later.
    auto key = [this](Qt::Key pressed) {
        QTest::keyClick(window()->focusWidget(), pressed);
        EXPECT_TRUE(QTest::qWaitFor([] { return kxqt::queued_commits() > 0; }));
    };
    struct Step {
        const char* gesture;
        Commits committed;
        float value; // of the committed control, read back
        std::function<void()> act;
    };
    const Step steps[] = {
        {"typing alone", {}, 0, [&] { type_over(xmin, "123"); }},
        {"Return", {PANEL_XMIN}, 123, [&] { QTest::keyClick(xmin, Qt::Key_Return); }},
        {"leaving a committed field", {}, 0, [&] { focus(xmax); }},
        {"arrow up, a step of 50", {PANEL_XMAX}, 4145, [&] { QTest::keyClick(xmax, Qt::Key_Up); }},
        {"leaving a stepped field", {}, 0, [&] { focus(xmin); }},
        {"edited, left", {PANEL_XMAX}, 2000, [&] { type_over(xmax, "2000"), focus(xmin); }},
        {"keypad Enter", {PANEL_NFRAMES}, -7, [&] { enter(PANEL_NFRAMES, "-7", Qt::Key_Enter); }},
        {"small limit", {PANEL_YMIN}, 5e-5f, [&] { enter(PANEL_YMIN, "5e-5", Qt::Key_Return); }},
        {"switch on", {PANEL_YLOG}, 1, [&] { click(PANEL_YLOG); }},
        {"switch off", {PANEL_YLOG}, 0, [&] { click(PANEL_YLOG); }},
        {"choice down", {PANEL_ACCUMULATE}, 0, [&] { focus(accumulate), down(); }},
        {"choice down again", {PANEL_ACCUMULATE}, -1, down},
        {"quit", {PANEL_QUIT}, 0, [&] { click(PANEL_QUIT); }},
        {"reset", {PANEL_RESET}, 0, [&] { click(PANEL_RESET); }},
        {"restart", {PANEL_RESTART}, 0, [&] { click(PANEL_RESTART); }},
        {"window close", {PANEL_QUIT}, 0, [&] { EXPECT_FALSE(window()->close()); }},
        {"SIGINT", {PANEL_QUIT}, 0, [] { std::raise(SIGINT); }},
        {"SIGTERM", {PANEL_QUIT}, 0, [] { std::raise(SIGTERM); }},
        // The transport's keys, with the focus where a replay puts it.
        {"Space",
         {PANEL_PLAY},
         0,
         [&] { SetActiveCtrl(panel, PANEL_POSITION), key(Qt::Key_Space); }},
        {"left arrow", {PANEL_STEP_BACK}, 0, [&] { key(Qt::Key_Left); }},
        {"right arrow", {PANEL_STEP_FORWARD}, 0, [&] { key(Qt::Key_Right); }},
        {"Home", {PANEL_TO_START}, 0, [&] { key(Qt::Key_Home); }},
        {"End", {PANEL_TO_END}, 0, [&] { key(Qt::Key_End); }},
        {"a page along the slider",
         {PANEL_POSITION},
         100,
         [&] {
             SetCtrlAttribute(panel, PANEL_POSITION, ATTR_MAX_VALUE, 1000);
             QTest::keyClick(widget<QWidget>(PANEL_POSITION), Qt::Key_PageUp);
         }},
        {"a faster speed",
         {PANEL_SPEED},
         5,
         [&] { QTest::keyClick(widget<QWidget>(PANEL_SPEED), Qt::Key_Down); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.gesture);
        step.act();
        ASSERT_EQ(commits(), step.committed);
        if (step.committed.empty()) continue;
        int whole = -1;
        float real = -1;
        GetCtrlVal(panel, step.committed[0], &whole);
        GetCtrlVal(panel, step.committed[0], &real);
        EXPECT_EQ(whole, static_cast<int>(step.value));
        EXPECT_EQ(real, step.value);
    }
    EXPECT_TRUE(window()->isVisible()); // closing it only asked to quit
    // A discarded panel's commits go with it, also the one that an edit in
    // progress queues as its window goes.
    click(PANEL_RESET);
    type_over(xmin, "9");
    EXPECT_EQ(DiscardPanel(panel), 0);
    EXPECT_EQ(kxqt::queued_commits(), 0);
    EXPECT_EQ(DiscardPanel(panel), -1);
    panel = 0;
}
TEST_F(PanelTest, ProgramWritesWaitWhileTheOperatorTypes) {
    struct Case {
        int control;
        Qt::Key key;       // how the edit ends
        const char* shown; // then
        Commits committed;
    };
    for (Case c : {Case{PANEL_NFRAMES, Qt::Key_Return, "75", {PANEL_NFRAMES}},
                   Case{PANEL_NFRAMES, Qt::Key_Up, "175", {PANEL_NFRAMES}}, // a step of 100
                   Case{PANEL_NFRAMES, Qt::Key_Escape, "952", {}},
                   Case{PANEL_YMAX, Qt::Key_Escape, "952", {}}}) {
        SCOPED_TRACE(c.shown);
        auto* input = widget<QAbstractSpinBox>(c.control);
        type_over(input, "7");
        SetCtrlVal(panel, c.control, 953);
        EXPECT_EQ(input->text(), QStringLiteral("7"));
        QTest::keyClicks(input, QLatin1String("5"));
        SetCtrlVal(panel, c.control, 952.0);
        EXPECT_EQ(input->text(), QStringLiteral("75"));
        QTest::keyClick(input, c.key);
        EXPECT_EQ(input->text(), QLatin1String(c.shown));
        EXPECT_EQ(commits(), c.committed);
        // The edit is over, though the field keeps the focus: Escape has
        // nothing to cancel and is left to the window.
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(input, &escape);
        EXPECT_FALSE(escape.isAccepted());
        EXPECT_EQ(input->text(), QLatin1String(c.shown));
        SetCtrlVal(panel, c.control, 74);
        EXPECT_EQ(input->text(), QStringLiteral("74"));
    }
}

TEST_F(PanelTest, EscapeShowsTheValueInForceInEveryInput) {
    struct Case {
        int control;
        double written; // the value in force
        const char* typed;
        const char* shown; // after Escape, and after leaving the field
    };
    const Case cases[] = {
        {PANEL_XMIN, 500, "100", "500"},     {PANEL_XMAX, 4095, "-7", "4095"},
        {PANEL_YMIN, 0.001, "0.5", "0.001"}, {PANEL_YMAX, 10, "1e", "10"},
        {PANEL_NFRAMES, 1000, "12", "1000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        auto* input = widget<QAbstractSpinBox>(c.control);
        if (qobject_cast<kxqt::FloatInput*>(input))
            SetCtrlVal(panel, c.control, c.written);
        else
            SetCtrlVal(panel, c.control, static_cast<int>(c.written));
        type_over(input, c.typed);
        QTest::keyClick(input, Qt::Key_Escape);
        EXPECT_EQ(input->text(), QLatin1String(c.shown));
        focus(widget<QWidget>(PANEL_ACCUMULATE));
        EXPECT_EQ(input->text(), QLatin1String(c.shown));
        EXPECT_EQ(commits(), Commits{});
        float read = NAN;
        GetCtrlVal(panel, c.control, &read);
        EXPECT_EQ(read, static_cast<float>(c.written));
    }
}

// A desktop whose locale writes 0,5 and 1.000,5.
class CommaLocalePanelTest : public PanelTest {
  protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        PanelTest::SetUp();
    }
    void TearDown() override {
        PanelTest::TearDown();
        QLocale::setDefault(QLocale::c());
    }
};

TEST_F(CommaLocalePanelTest, NumbersHaveADecimalPointAndTheRestIsRefusedVisibly) {
    const QString not_a_number = QStringLiteral(
        "“%1” not applied: not a number. Write numbers with a decimal point and no thousands "
        "separators, e.g. 0.5, 1234567 or 1e-05.");
    const QString not_whole = QStringLiteral("“%1” not applied: not a whole number. Write it in "
                                             "digits, without separators, e.g. 4095 or -50.");
    const QString out_of_range = QStringLiteral("“%1” not applied: out of range, from %2 to %3.");
    struct Case {
        int control;
        const char* typed;
        Qt::Key key; // Return, or Tab to leave the field
        const char* shown;
        float read;
        QString refusal; // none: committed
    };
    const Case cases[] = {
        {PANEL_YMIN, "0.5", Qt::Key_Return, "0.5", 0.5f, {}},
        {PANEL_YMAX, "2.5", Qt::Key_Tab, "2.5", 2.5f, {}},
        {PANEL_YMAX, "8952.5", Qt::Key_Return, "8952.5", 8952.5f, {}},
        {PANEL_YMAX, "1234567", Qt::Key_Return, "1234567", 1234567, {}},
        {PANEL_YMIN, "1e-5", Qt::Key_Return, "1e-05", 1e-5f, {}},
        {PANEL_YMIN, "0,5", Qt::Key_Return, "1e-05", 1e-5f, not_a_number.arg("0,5")},
        {PANEL_YMAX, "1.000,5", Qt::Key_Tab, "1234567", 1234567, not_a_number.arg("1.000,5")},
        {PANEL_YMAX, "1e", Qt::Key_Return, "1234567", 1234567, not_a_number.arg("1e")},
        {PANEL_YMAX, "2e9", Qt::Key_Return, "1234567", 1234567,
         out_of_range.arg("2e9", "-1e+09", "1e+09")},
        {PANEL_XMAX, "3000", Qt::Key_Return, "3000", 3000, {}},
        {PANEL_XMAX, "1.000", Qt::Key_Return, "3000", 3000, not_whole.arg("1.000")},
        {PANEL_XMIN, "1,5", Qt::Key_Tab, "0", 0, not_whole.arg("1,5")},
        {PANEL_NFRAMES, "-", Qt::Key_Return, "10000", 10000, not_whole.arg("-")},
        // Each limit is in range, the least step beyond it is not.
        {PANEL_XMAX, "100000", Qt::Key_Return, "100000", 100000, {}},
        {PANEL_XMAX, "100001", Qt::Key_Return, "100000", 100000,
         out_of_range.arg("100001", "-100000", "100000")},
        {PANEL_XMIN, "-100000", Qt::Key_Return, "-100000", -100000, {}},
        {PANEL_XMIN, "-100001", Qt::Key_Return, "-100000", -100000,
         out_of_range.arg("-100001", "-100000", "100000")},
        {PANEL_YMAX, "1e9", Qt::Key_Return, "1e+09", 1e9, {}},
        {PANEL_YMAX, "1000000000.1", Qt::Key_Return, "1e+09", 1e9,
         out_of_range.arg("1000000000.1", "-1e+09", "1e+09")},
        {PANEL_YMIN, "-1e9", Qt::Key_Return, "-1e+09", -1e9, {}},
        {PANEL_YMIN, "-1000000000.1", Qt::Key_Return, "-1e+09", -1e9,
         out_of_range.arg("-1000000000.1", "-1e+09", "1e+09")},
    };
    SetCtrlVal(panel, PANEL_NFRAMES, 10000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        auto* input = widget<QAbstractSpinBox>(c.control);
        type_over(input, c.typed);
        QTest::keyClick(input, c.key);
        EXPECT_EQ(input->text(), QLatin1String(c.shown));
        EXPECT_EQ(commits(), c.refusal.isEmpty() ? Commits{c.control} : Commits{});
        float read = NAN;
        GetCtrlVal(panel, c.control, &read);
        EXPECT_EQ(read, c.read);
        // The reason shows at once on Enter, and leads the tooltip.
        if (c.key == Qt::Key_Return && !c.refusal.isEmpty()) {
            EXPECT_EQ(QToolTip::text().toStdString(), c.refusal.toStdString());
        }
        QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), input->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(input, &hover);
        EXPECT_EQ(QToolTip::text().startsWith(c.refusal + "\n\n"), !c.refusal.isEmpty())
            << QToolTip::text().toStdString();
        EXPECT_EQ(input->property("refused").toBool(), !c.refusal.isEmpty());
    }
    // Written numbers, and the graph's tick labels, read as typed.
    SetCtrlVal(panel, PANEL_YMAX, 8952.5);
    EXPECT_EQ(widget<QAbstractSpinBox>(PANEL_YMAX)->text(), QStringLiteral("8952.5"));
    SetAxisRange(panel, PANEL_SPECTRUM, AXIS_KEEP, 0, 0, AXIS_MANUAL, 0, 0.5);
    auto* plot = kxqt::control_widget(panel, PANEL_SPECTRUM)->findChild<QCustomPlot*>();
    plot->replot();
    EXPECT_TRUE(plot->yAxis->tickVectorLabels().contains(QStringLiteral("0.1")))
        << plot->yAxis->tickVectorLabels().join(' ').toStdString();
}

TEST_F(PanelTest, LongValuesShowWholeAtTheMinimumWindowSize) {
    window()->resize(window()->minimumSize());
    QApplication::processEvents();
    struct Write {
        int control;
        std::variant<int, double> value;
        const char* shown;
    };
    const Write writes[] = {
        {PANEL_YMAX, 1234567.0, "1234567"},
        {PANEL_YMIN, double(-0.0012345f), "-0.0012345"},
        {PANEL_YMAX, double(1.2345e-05f), "1.2345e-05"},
        {PANEL_YMIN, double(-123456.78f), "-123456.78"},
        {PANEL_XMIN, -100000, "-100000"}, // the panel file's limits
        {PANEL_XMAX, 100000, "100000"},
        {PANEL_NFRAMES, -2147483647 - 1, "-2147483648"},
        {PANEL_WORD_244, 65535, "65535"},
        {PANEL_SKIPPED, 2147483647, "2147483647"},
        {PANEL_SCALED_246, double(-3.2768f), "-3.2768"},
        {PANEL_TENTH_246, double(-3276.8f), "-3276.8"},
        {PANEL_COUNT_MODE0, 4294967295 * 0.001, "4294967.295"},
        {PANEL_COUNT_MODE3, -179.999931891712, "-179.9999319"},
    };
    // Also beside the badge of a value beyond its limits.
    for (int state : {SHOW_IN_RANGE, SHOW_RED}) {
        SCOPED_TRACE(state);
        for (const Write& write : writes) {
            SCOPED_TRACE(write.shown);
            SetCtrlAttribute(panel, write.control, ATTR_LIMIT_STATE, state); // value fields only
            std::visit([&](auto value) { SetCtrlVal(panel, write.control, value); }, write.value);
            ASSERT_TRUE(paint_due(window()));
            QWidget* control = kxqt::control_widget(panel, write.control);
            auto* edit = qobject_cast<QLineEdit*>(control);
            if (!edit) edit = control->findChild<QLineEdit*>();
            ASSERT_NE(edit, nullptr);
            EXPECT_EQ(edit->text(), QLatin1String(write.shown));
            EXPECT_LE(edit->fontMetrics().horizontalAdvance(edit->text()), text_room(edit))
                << "at " << window()->width() << "x" << window()->height();
        }
    }
}

// A panel file made before the notes and the arrival time came still loads;
// they are simply not offered.
TEST(PanelLoad, AnOlderPanelFileWithoutTheNoteControlsStillLoads) {
    ScratchDirectory directory;
    WorkingDirectory here(directory.root());
    QFile source(QStringLiteral(KX_TEST_PANEL_FILE));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    std::string text = source.readAll().toStdString();
    for (std::string name : {"PANEL_ARRIVAL", "PANEL_NOTE", "PANEL_ADD_NOTE"}) {
        std::string from = "name=\"" + name + "\"";
        ASSERT_NE(text.find(from), std::string::npos) << name;
        text.replace(text.find(from), from.size(), "name=\"older" + name + "\"");
    }
    write_file(directory / "kx.uir", text);
    ASSERT_EQ(OpenDisplay(), 0);
    int panel = LoadPanel(0, "kx.uir", PANEL);
    ASSERT_GT(panel, 0) << PanelLoadError();
    EXPECT_LT(SetCtrlVal(panel, PANEL_ARRIVAL, "2026-03-04T05:06:07.000000Z"), 0);
    DiscardPanel(panel);
}

// A panel file made before the replay's transport replays as before, its
// note greyed out; kxview plays it at the speed its command line gave.
TEST(PanelLoad, AnOlderPanelFileWithoutTheTransportReplaysAsBefore) {
    OlderPanel older;
    const int panel = older.panel;
    ASSERT_GT(panel, 0) << PanelLoadError();
    fresh_storage();
    Bytes frames;
    for (int n : {1, 2, 3})
        frames = joined(frames,
                        sealed(frame_with(0, {0xEB, 0x90, 0, 0, static_cast<unsigned char>(n)})));
    std::FILE* recording = file_of(frames);
    start_frames(SOURCE_REPLAY, recording);
    kx.transport.speed = SPEED_FASTEST;
    offer_transport(panel, SOURCE_REPLAY);
    auto* status = qobject_cast<QLineEdit*>(kxqt::control_widget(panel, PANEL_STATUS));
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (status->text() == "EOF on input file") kxqt::queue_commit(panel, PANEL_QUIT);
    });
    watch.start(10);
    EXPECT_EQ(service(panel, SOURCE_REPLAY, &kx.store), 1);
    std::fclose(recording);
    EXPECT_EQ(kx.store.mode_frames[0], 3);
    auto* note = kxqt::control_widget(panel, PANEL_NOTE);
    EXPECT_TRUE(note->isVisibleTo(note->window()));
    EXPECT_FALSE(note->isEnabled());
    DiscardPanel(panel);
}

// A note typed with real keys, then Enter: in the journal, marked on both
// strip charts, and the field empty for the next one.
TEST_F(PanelTest, ANoteTypedAndEnteredGoesToTheJournalAndMarksTheStripCharts) {
    auto* note = widget<QLineEdit>(PANEL_NOTE);
    ASSERT_NE(note, nullptr);
    QTest::keyClick(window(), Qt::Key_N, Qt::AltModifier); // the label's shortcut
    ASSERT_TRUE(note->hasFocus());
    QTest::keyClicks(note, QStringLiteral("valve opened"));
    QTest::keyClick(note, Qt::Key_Return);
    widget<QAbstractButton>(PANEL_QUIT)->click();
    std::FILE* journal = std::tmpfile();
    ASSERT_NE(journal, nullptr);
    fresh_storage();
    set_journal(journal);
    start_frames(SOURCE_LIVE, nullptr); // no port: each read fails at once
    EXPECT_EQ(service(panel, SOURCE_LIVE, &kx.store), 1);
    std::rewind(journal);
    JournalReading reading;
    read_journal(journal, 0, &reading);
    std::fclose(journal);
    set_journal(nullptr);
    std::vector<std::string> notes;
    for (const JournalEvent& e : reading.events)
        if (e.kind == "note") notes.push_back(e.text);
    EXPECT_EQ(notes, std::vector<std::string>{"valve opened"});
    for (int chart : {PANEL_RATES, PANEL_GROUP_CHART})
        EXPECT_EQ(widget<kxqt::StripChart>(chart)->marks(), QStringList{"valve opened"});
    EXPECT_EQ(note->text(), QString());
    // Greyed out as in replay, then on again.
    for (int dimmed : {1, 0}) {
        EXPECT_EQ(SetCtrlAttribute(panel, PANEL_NOTE, ATTR_DIMMED, dimmed), 0);
        EXPECT_EQ(note->isEnabled(), dimmed == 0);
    }
}

// Group boxes paint from a picture of themselves: what the operator sees
// must be what the box paints itself, also once its title, state or size
// changed after the picture was made.
TEST_F(PanelTest, GroupBoxesLookAsTheyPaintThemselvesAfterEachChange) {
    auto* box = window()->findChild<QGroupBox*>(QStringLiteral("housekeepingBox"));
    ASSERT_NE(box, nullptr);
    if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"as loaded", [] {}},
        {"title", [box] { box->setTitle(QStringLiteral("Housekeeping (changed)")); }},
        {"dimmed", [box] { box->setEnabled(false); }},
        {"resized", [this] { window()->resize(window()->size() + QSize(37, 23)); }},
    };
    // Part of the box, as when fields in it change: two rectangles, one of
    // them taller than a hundred lines.
    auto part = [&] {
        QPoint corner = box->mapTo(window(), QPoint());
        QRegion region(QRect(corner + QPoint(3, 5), QSize(40, 20)));
        region += QRect(corner + QPoint(box->width() / 2, 0), QSize(30, box->height()));
        QPixmap canvas(window()->size());
        canvas.fill(Qt::magenta);
        window()->render(&canvas, QPoint(), region);
        return canvas.toImage();
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        window()->grab(); // the pictures as they were
        QApplication::processEvents();
        change();
        QApplication::processEvents();
        QImage shown = window()->grab().toImage();
        QImage shown_part = part();
        delete window()->findChild<QObject*>(kxqt::GROUP_FRAMES_NAME);
        QImage painted = window()->grab().toImage();
        QImage painted_part = part();
        kxqt::keep_group_frames(window());
        ASSERT_FALSE(shown.isNull());
        EXPECT_TRUE(shown == painted);
        EXPECT_TRUE(shown_part == painted_part);
    }
}

// The fields' frames are laid down from pictures kept: each field must look
// as Fusion paints it in place, also after its text, state or size changed
// with the pictures of the earlier look kept.
TEST_F(PanelTest, FieldsLookAsFusionPaintsThemAfterEachChange) {
    auto* note = widget<QLineEdit>(PANEL_NOTE);
    ASSERT_NE(note, nullptr);
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"as loaded", [] {}},
        {"texts", [this] { SetCtrlVal(panel, PANEL_WORD_244, 65535); }},
        {"focused", [note] { note->setFocus(); }},
        {"coloured", [note] { note->setStyleSheet(QStringLiteral("background-color: #c0f0c0")); }},
        {"dimmed", [this] { SetCtrlAttribute(panel, PANEL_NOTE, ATTR_DIMMED, 1); }},
        {"resized", [this] { window()->resize(window()->size() + QSize(37, 23)); }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        change();
        ASSERT_TRUE(paint_due(window()));
        QImage shown = window()->grab().toImage();
        QApplication::setStyle(QStringLiteral("Fusion"));
        QImage painted = window()->grab().toImage();
        QApplication::setStyle(new kxqt::PanelStyle);
        ASSERT_FALSE(shown.isNull());
        EXPECT_TRUE(shown == painted);
    }
}

// The hex dump is painted from a picture of its lines: it must look as a
// twin box, which paints its text itself, after each change of text, font,
// colour, size or state, and the box must hold the text shown once the
// operator reaches for it (the focus, a click, the wheel).
TEST_F(PanelTest, HexDumpLooksAsTheBoxPaintsItsTextAndHoldsItOnceReachedFor) {
    auto* dump = widget<QPlainTextEdit>(PANEL_HEXDUMP);
    ASSERT_NE(dump, nullptr);
    if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
    const QSize size = dump->size();
    // A box that paints `text` itself, made as the hex dump now is.
    auto twin = [dump](const QString& text) {
        auto box = std::make_unique<QPlainTextEdit>(dump->parentWidget());
        box->setReadOnly(true);
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        box->setFont(dump->font());
        box->setStyleSheet(dump->styleSheet());
        box->setFixedSize(dump->size());
        box->setEnabled(dump->isEnabled());
        box->setPlainText(text);
        return box;
    };
    // Frames' dumps: every byte once, at a place that changes with `step`.
    auto frame_dump = [](int step) {
        QString text;
        for (int i = 0; i < 256; ++i)
            text += (i % 32 ? QString() : QStringLiteral("\n")) +
                    QStringLiteral("%1").arg((i * step) % 256, 2, 16, QLatin1Char('0')).toUpper();
        return text;
    };
    using Box = QPlainTextEdit*;
    struct Change {
        const char* what;
        std::function<void(Box)> change; // made once the text is shown
        QString text;
        bool pictured; // shown from the picture, the box's own text left as it was
        bool reached = false;
    };
    const Change changes[] = {
        {"a frame", [](Box) {}, frame_dump(7), true},
        {"the next", [](Box) {}, frame_dump(11), true},
        {"shorter and fewer lines", [](Box) {}, QStringLiteral("\n0A1B\nFF"), true},
        {"a frame again", [](Box) {}, frame_dump(13), true, true},
        {"bold",
         [](Box box) {
             QFont bold = box->font();
             bold.setBold(true);
             box->setFont(bold);
         },
         frame_dump(7), true},
        {"coloured",
         [](Box box) {
             box->setStyleSheet(QStringLiteral("QPlainTextEdit { color: #a00000 } "
                                               "QPlainTextEdit:disabled { color: #9090b0 }"));
         },
         frame_dump(3), true},
        {"narrower and lower, the text cut", [](Box box) { box->setFixedSize(QSize(230, 70)); },
         frame_dump(5), true},
        {"wider and higher again", [size](Box box) { box->setFixedSize(size); }, frame_dump(15),
         true},
        {"no room", [](Box box) { box->setFixedSize(QSize(0, 0)); }, frame_dump(27), false},
        {"room again", [size](Box box) { box->setFixedSize(size); }, frame_dump(29), false},
        {"dimmed", [](Box box) { box->setEnabled(false); }, frame_dump(17), true},
        {"enabled again", [](Box box) { box->setEnabled(true); }, frame_dump(19), true},
        {"a ground not of one colour",
         [](Box box) {
             box->setStyleSheet(QStringLiteral(
                 "background: qlineargradient(x1: 0, y1: 0, x2: 1, y2: 1, stop: 0 #ffffff, "
                 "stop: 1 #c0c0ff); color: #a00000"));
         },
         frame_dump(21), false},
        {"a frame on it", [](Box) {}, frame_dump(23), false},
        {"one colour again", [](Box box) { box->setStyleSheet(QStringLiteral("color: #a00000")); },
         frame_dump(25), false},
        {"a character past ASCII", [](Box) {}, QStringLiteral("\n00 \u00B5s"), false},
        {"a frame after it", [](Box) {}, frame_dump(9), true, true},
    };
    // What the screen shows of the hex dump, and what the twin paints.
    auto on_screen = [this, dump] {
        EXPECT_TRUE(paint_due(window()));
        QImage screen = window()->screen()->grabWindow(window()->winId()).toImage();
        QRect place(dump->viewport()->mapTo(window(), QPoint()), dump->viewport()->size());
        return screen.copy(place).convertToFormat(QImage::Format_RGB32);
    };
    auto painted = [](Box box) {
        return box->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    QString before = dump->toPlainText();
    for (const Change& c : changes) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(SetCtrlVal(panel, PANEL_HEXDUMP, c.text.toUtf8().constData()), 0);
        ASSERT_TRUE(paint_due(window()));
        c.change(dump); // with no frame coming, as in a paused replay
        QApplication::processEvents();
        EXPECT_EQ(kxqt::text_shown(dump), c.text);
        if (!c.pictured) before = c.text;
        EXPECT_EQ(dump->toPlainText(), before);
        if (!c.pictured) continue; // the box paints it itself
        QImage twin_painted = painted(twin(c.text).get());
        ASSERT_FALSE(twin_painted.isNull());
        EXPECT_TRUE(on_screen() == twin_painted);
        if (c.reached) {
            focus(dump);
            EXPECT_EQ(dump->toPlainText(), c.text);
            EXPECT_TRUE(on_screen() == twin_painted);
            dump->clearFocus();
            before = c.text;
        }
    }
    // A click gives the box the text shown, also when it takes no focus, and
    // so does a turn of the wheel, which would scroll its text.
    dump->setFocusPolicy(Qt::NoFocus);
    ASSERT_EQ(SetCtrlVal(panel, PANEL_HEXDUMP, "\n0102"), 0);
    ASSERT_TRUE(paint_due(window()));
    QTest::mousePress(dump->viewport(), Qt::LeftButton);
    EXPECT_EQ(dump->toPlainText(), QStringLiteral("\n0102"));
    QTest::mouseRelease(dump->viewport(), Qt::LeftButton);
    ASSERT_EQ(SetCtrlVal(panel, PANEL_HEXDUMP, "\n0304"), 0);
    ASSERT_TRUE(paint_due(window()));
    QPointF middle = QRectF(dump->viewport()->rect()).center();
    QWheelEvent wheel(middle, dump->viewport()->mapToGlobal(middle), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(dump->viewport(), &wheel);
    EXPECT_EQ(dump->toPlainText(), QStringLiteral("\n0304"));
}

// A picture laid down through a painter that is see-through, off the pixel
// grid, scaled or blending otherwise would not come out as the frame drawn
// in place: there, the frame is drawn in place.
TEST(PanelStyleTest, FramesComeOutAsFusionDrawsThemThroughAnyPainter) {
    ASSERT_EQ(OpenDisplay(), 0); // offscreen
    const std::pair<const char*, std::function<void(QPainter&)>> ways[] = {
        {"as a window paints", [](QPainter&) {}},
        {"see-through", [](QPainter& painter) { painter.setOpacity(0.5); }},
        {"off the pixel grid across", [](QPainter& painter) { painter.translate(0.5, 0.0); }},
        {"off the pixel grid down", [](QPainter& painter) { painter.translate(0.0, 0.25); }},
        {"scaled", [](QPainter& painter) { painter.scale(1.5, 1.5); }},
        {"adding",
         [](QPainter& painter) { painter.setCompositionMode(QPainter::CompositionMode_Plus); }},
    };
    QStyleOptionFrame frame;
    frame.rect = QRect(3, 2, 80, 22);
    frame.lineWidth = 1;
    frame.state = QStyle::State_Enabled;
    frame.palette = QApplication::palette();
    kxqt::PanelStyle kept;
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    auto drawn = [&](const QStyle& style, const std::function<void(QPainter&)>& set_up) {
        QImage image(120, 60, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(0x80, 0x90, 0xa0));
        QPainter painter(&image);
        set_up(painter);
        style.drawPrimitive(QStyle::PE_PanelLineEdit, &frame, &painter);
        return image;
    };
    for (const auto& [how, set_up] : ways) {
        SCOPED_TRACE(how);
        for (int pass = 0; pass < 2; ++pass) // the picture made, then kept
            EXPECT_TRUE(drawn(kept, set_up) == drawn(*fusion, set_up));
    }
}
