// Delay and Timer: waits that keep serving the window's timers and paints.
#include <QTimer>
#include <gtest/gtest.h>

#include "panel_fixture.h"

TEST_F(PanelTest, DelayWaitsItsTimeAndKeepsTheWindowServed) {
    bool served = false;
    QTimer::singleShot(10, [&] { served = true; });
    double start = Timer();
    Delay(0.1);
    double took = Timer() - start;
    EXPECT_GE(took, 0.099);
    EXPECT_LT(took, 1.0);
    EXPECT_TRUE(served);
}

TEST(Timing, DelayBeforeAnyPanelSleeps) {
    double start = Timer();
    Delay(0.05);
    EXPECT_GE(Timer() - start, 0.049);
}
