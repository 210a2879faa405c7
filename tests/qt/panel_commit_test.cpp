// Operator gestures queue exactly one commit each; the program's own writes
// queue none, and wait while the operator types.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <csignal>
#include <functional>

#include "inputs.h"
#include "panel_fixture.h"

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
        {"arrow up",
         {PANEL_XMAX},
         4095 + 50 /* its step */,
         [&] { QTest::keyClick(xmax, Qt::Key_Up); }},
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
    // A discarded panel's commits go with it.
    click(PANEL_RESET);
    EXPECT_EQ(DiscardPanel(panel), 0);
    EXPECT_EQ(kxqt::test::queued_commits(), 0);
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
        // The edit is over, though the field keeps the focus.
        SetCtrlVal(panel, c.control, 74);
        EXPECT_EQ(input->text(), QStringLiteral("74"));
    }
}
