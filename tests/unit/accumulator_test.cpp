#include "accumulator.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

// A decoded frame of `mode` with count `value` in every bin.
FrameValues counts_frame(int mode, int32_t value) {
    FrameValues v{};
    v.mode = mode;
    for (int32_t& count : v.counts)
        count = value;
    return v;
}

// Days of accumulation hold a sum at the 32-bit limits instead of wrapping it.
TEST(Spectrum, CountsSaturateInsteadOfOverflowing) {
    SpectrumStore store{};
    store.counts[0][0] = INT_MAX - 100;
    store.counts[1][0] = INT_MIN + 100;
    accumulate_counts(&store, counts_frame(0, 4095), 1);
    accumulate_counts(&store, counts_frame(1, 4095), -1);
    EXPECT_EQ(store.counts[0][0], INT_MAX);
    EXPECT_EQ(store.counts[1][0], INT_MIN);
    accumulate_counts(&store, counts_frame(0, 1), -1);
    EXPECT_EQ(store.counts[0][0], INT_MAX - 1);
}

} // namespace
