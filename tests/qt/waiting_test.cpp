// Delay before any window exists; with a panel, the paint tests wait with it.
#include <gtest/gtest.h>

#include "runtime.h"

TEST(Timing, DelayBeforeAnyPanelSleeps) {
    double start = Timer();
    Delay(0.05);
    EXPECT_GE(Timer() - start, 0.049);
}
