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

class Spectrum : public ::testing::Test {
  protected:
    void SetUp() override { init(&store); }
    SpectrumStore store{};
};

// Widths change at the range boundaries; each position adds the channel's own
// width to the one before, then centres on half of it.
TEST_F(Spectrum, BinTableHoldsWidthsAndPositions) {
    struct Bin {
        int channel;
        int16_t width, position;
    };
    for (Bin bin : {Bin{0, 2, 1}, Bin{29, 2, 59}, Bin{30, 4, 64}, Bin{76, 4, 248}, Bin{77, 8, 258},
                    Bin{106, 8, 490}, Bin{107, 16, 510}, Bin{135, 16, 958}, Bin{136, 32, 998},
                    Bin{182, 32, 2470}, Bin{183, 64, 2550}, Bin{207, 64, 4086}}) {
        EXPECT_EQ(store.bin_width[bin.channel], bin.width) << bin.channel;
        EXPECT_EQ(store.bin_pos[bin.channel], bin.position) << bin.channel;
    }
    EXPECT_EQ(store.norm, 2.4f);
}

TEST_F(Spectrum, CountsSaturateInsteadOfOverflowing) {
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
