// Operator gestures queue exactly one commit each; the program's own writes
// queue none.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <csignal>

#include "inputs.h"
#include "panel_fixture.h"

using Commits = std::vector<int>;

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

} // namespace

TEST_F(PanelTest, ButtonClicksQueueOneCommitEach) {
    for (int id : {PANEL_QUIT, PANEL_RESET, PANEL_RESTART}) {
        QTest::mouseClick(widget<QPushButton>(id), Qt::LeftButton);
        EXPECT_EQ(commits(), Commits{id});
    }
}

TEST_F(PanelTest, TypingAloneCommitsNothing) {
    type_over(widget<kxqt::IntInput>(PANEL_XMIN), "123");
    EXPECT_EQ(commits(), Commits{});
}

TEST_F(PanelTest, TypedValueAndEnterQueuesOneCommitWithThatValue) {
    struct Entry {
        int control;
        const char* text;
        Qt::Key key;
        double value;
    };
    for (Entry entry : {Entry{PANEL_XMIN, "123", Qt::Key_Return, 123},
                        Entry{PANEL_NFRAMES, "-7", Qt::Key_Enter, -7},
                        Entry{PANEL_YMIN, "0.00005", Qt::Key_Enter, 0.00005f}}) {
        auto* input = widget<QAbstractSpinBox>(entry.control);
        type_over(input, entry.text);
        QTest::keyClick(input, entry.key);
        EXPECT_EQ(commits(), Commits{entry.control}) << entry.text;
        int whole = 0;
        float real = 0.0f;
        GetCtrlVal(panel, entry.control, &whole);
        GetCtrlVal(panel, entry.control, &real);
        EXPECT_EQ(whole, static_cast<int>(entry.value)) << entry.text;
        EXPECT_EQ(real, static_cast<float>(entry.value)) << entry.text;
    }
    // Small limits of a logarithmic axis read as what they are.
    EXPECT_EQ(widget<kxqt::FloatInput>(PANEL_YMIN)->text(), QStringLiteral("5e-05"));
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

TEST_F(PanelTest, LeavingAFieldCommitsOnlyAnEditedValue) {
    auto* xmax = widget<kxqt::IntInput>(PANEL_XMAX);
    focus(xmax);
    focus(widget<kxqt::IntInput>(PANEL_XMIN));
    EXPECT_EQ(commits(), Commits{});
    type_over(xmax, "2000");
    focus(widget<kxqt::IntInput>(PANEL_XMIN));
    EXPECT_EQ(commits(), Commits{PANEL_XMAX});
}

TEST_F(PanelTest, ArrowStepQueuesOneCommit) {
    auto* xmax = widget<kxqt::IntInput>(PANEL_XMAX);
    focus(xmax);
    QTest::keyClick(xmax, Qt::Key_Up);
    EXPECT_EQ(commits(), Commits{PANEL_XMAX});
    int value = 0;
    GetCtrlVal(panel, PANEL_XMAX, &value);
    EXPECT_EQ(value, 4095 + xmax->singleStep());
    // The step left nothing unseen: leaving the field is no second commit.
    focus(widget<kxqt::IntInput>(PANEL_XMIN));
    EXPECT_EQ(commits(), Commits{});
}

TEST_F(PanelTest, SwitchToggleQueuesOneCommitAndReadsAsOneOrZero) {
    auto* ylog = widget<QCheckBox>(PANEL_YLOG);
    int value = -1;
    QTest::mouseClick(ylog, Qt::LeftButton);
    EXPECT_EQ(commits(), Commits{PANEL_YLOG});
    GetCtrlVal(panel, PANEL_YLOG, &value);
    EXPECT_EQ(value, 1);
    QTest::mouseClick(ylog, Qt::LeftButton);
    EXPECT_EQ(commits(), Commits{PANEL_YLOG});
    GetCtrlVal(panel, PANEL_YLOG, &value);
    EXPECT_EQ(value, 0);
}

TEST_F(PanelTest, AccumulateChoiceOffersAddOffSubtract) {
    auto* choice = widget<QComboBox>(PANEL_ACCUMULATE);
    focus(choice);
    int value = 0;
    for (int expected : {0, -1}) {
        QTest::keyClick(choice, Qt::Key_Down);
        EXPECT_EQ(commits(), Commits{PANEL_ACCUMULATE});
        GetCtrlVal(panel, PANEL_ACCUMULATE, &value);
        EXPECT_EQ(value, expected);
    }
}

TEST_F(PanelTest, WindowCloseQueuesQuitAndKeepsTheWindow) {
    QWidget* window = kxqt::test::panel_window(panel);
    EXPECT_FALSE(window->close());
    EXPECT_EQ(commits(), Commits{PANEL_QUIT});
    EXPECT_TRUE(window->isVisible());
}

TEST_F(PanelTest, InterruptAndTerminateSignalsQueueQuit) {
    for (int signal_number : {SIGINT, SIGTERM}) {
        std::raise(signal_number);
        EXPECT_EQ(commits(), Commits{PANEL_QUIT}) << signal_number;
    }
}

TEST_F(PanelTest, ProgramWritesQueueNoCommit) {
    for (int id : {PANEL_XMIN, PANEL_XMAX, PANEL_NFRAMES, PANEL_ACCUMULATE, PANEL_XLOG, PANEL_YLOG})
        EXPECT_EQ(SetCtrlVal(panel, id, 1), 0) << id;
    EXPECT_EQ(SetCtrlVal(panel, PANEL_YMIN, 0.5), 0);
    EXPECT_EQ(SetCtrlVal(panel, PANEL_YMAX, 20.0), 0);
    EXPECT_EQ(SetCtrlVal(panel, PANEL_ACCUMULATE, 0), 0);
    EXPECT_EQ(SetCtrlAttribute(panel, PANEL_NFRAMES, ATTR_RUN_STATE, RUN_ENDED), 0);
    // Moving through the written fields is no edit either.
    focus(widget<kxqt::IntInput>(PANEL_XMIN));
    focus(widget<kxqt::FloatInput>(PANEL_YMIN));
    focus(widget<kxqt::IntInput>(PANEL_XMAX));
    EXPECT_EQ(kxqt::test::queued_commits(), 0);
    EXPECT_EQ(commits(), Commits{});
}

TEST_F(PanelTest, DiscardForgetsThePanelsCommits) {
    QTest::mouseClick(widget<QPushButton>(PANEL_RESET), Qt::LeftButton);
    EXPECT_EQ(DiscardPanel(panel), 0);
    EXPECT_EQ(kxqt::test::queued_commits(), 0);
    EXPECT_EQ(DiscardPanel(panel), -1);
    panel = 0;
}
