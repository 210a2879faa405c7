#include "accumulator.h"

#include <gtest/gtest.h>

#include <climits>

#include "controls.h"
#include "fake_runtime.h"
#include "frames.h"

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
    void SetUp() override {
        fake::reset();
        init(&store);
    }
    std::vector<float> plotted() {
        std::vector<fake::Call> plots = fake::calls_of("PlotXY");
        if (plots.empty()) return {};
        return std::vector<float>(plots.back().y.begin(), plots.back().y.end());
    }
    SpectrumStore store{};
    int setting = 1;
    int budget = 1000;
};

TEST_F(Spectrum, BinTableWidthsChangeAtTheRangeBoundaries) {
    EXPECT_EQ(store.bin_width[0], 2);
    EXPECT_EQ(store.bin_width[29], 2);
    EXPECT_EQ(store.bin_width[30], 4);
    EXPECT_EQ(store.bin_width[76], 4);
    EXPECT_EQ(store.bin_width[77], 8);
    EXPECT_EQ(store.bin_width[182], 32);
    EXPECT_EQ(store.bin_width[183], 64);
    int total = 0;
    for (int16_t width : store.bin_width)
        total += width;
    EXPECT_EQ(total, 4056);
}

TEST_F(Spectrum, BinPositionsAddTheChannelsOwnWidth) {
    EXPECT_EQ(store.bin_pos[0], 1);
    EXPECT_EQ(store.bin_pos[29], 59);
    EXPECT_EQ(store.bin_pos[30], 64);
    EXPECT_EQ(store.bin_pos[76], 248);
    EXPECT_EQ(store.bin_pos[77], 258);
    EXPECT_EQ(store.bin_pos[106], 490);
    EXPECT_EQ(store.bin_pos[107], 510);
    EXPECT_EQ(store.bin_pos[136], 998);
    EXPECT_EQ(store.bin_pos[183], 2550);
    EXPECT_EQ(store.bin_pos[207], 4086);
    EXPECT_EQ(store.norm, 2.4f);
}

TEST_F(Spectrum, InitLeavesCountsAlone) {
    store.counts[2][3] = 17;
    store.mode_frames[2] = 4;
    init(&store);
    EXPECT_EQ(store.counts[2][3], 17);
    EXPECT_EQ(store.mode_frames[2], 4);
}

TEST_F(Spectrum, NormalisationDividesInDoubleAndRoundsOnce) {
    for (int i = 0; i < 10; ++i)
        accumulate_counts(&store, counts_frame(0, 100), 1);
    float plot[CHANNEL_COUNT];
    normalise(&store, plot);
    EXPECT_EQ(plot[0], 20.833332f);
    EXPECT_NE(plot[0], 20.833334f);
    EXPECT_EQ(plot[52], 0.0f); // no frames of mode 1
}

TEST_F(Spectrum, ChannelOfModeOneUsesItsOwnWidthAndFrames) {
    accumulate_counts(&store, counts_frame(1, 96), 1);
    accumulate_counts(&store, counts_frame(1, 0), 1);
    float plot[CHANNEL_COUNT];
    normalise(&store, plot);
    EXPECT_EQ(plot[52], static_cast<float>(96.0 / 4 / 2 / 2.4f));
}

TEST_F(Spectrum, OnlyTheSignOfTheSettingCounts) {
    accumulate_counts(&store, counts_frame(3, 10), 5);
    EXPECT_EQ(store.counts[3][0], 10);
    accumulate_counts(&store, counts_frame(3, 4), -5);
    EXPECT_EQ(store.counts[3][51], 6);
    EXPECT_EQ(store.mode_frames[3], 2);
}

TEST_F(Spectrum, SubtractAfterAddRestoresCountsButCountsBothFrames) {
    accumulate_counts(&store, counts_frame(2, 7), 1);
    FrameValues frame = counts_frame(2, 4095);
    accumulate_counts(&store, frame, 1);
    accumulate_counts(&store, frame, -1);
    EXPECT_EQ(store.counts[2][0], 7);
    EXPECT_EQ(store.mode_frames[2], 3);
    EXPECT_EQ(store.counts[1][0], 0);
}

TEST_F(Spectrum, SettingZeroTouchesNothing) {
    accumulate_counts(&store, counts_frame(0, 99), 0);
    EXPECT_EQ(store.counts[0][0], 0);
    EXPECT_EQ(store.mode_frames[0], 0);
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

TEST_F(Spectrum, ClearedSpectrumIsNormalisedByItsOwnFramesOnly) {
    for (int i = 0; i < 10; ++i)
        accumulate_counts(&store, counts_frame(0, 50), 1);
    clear_spectrum(&store);
    EXPECT_EQ(store.counts[0][0], 0);
    EXPECT_EQ(store.mode_frames[0], 0);
    accumulate_counts(&store, counts_frame(0, 77), 1);
    float plot[CHANNEL_COUNT];
    normalise(&store, plot);
    EXPECT_EQ(plot[0], static_cast<float>(77.0 / 2 / 1 / 2.4f));
}

} // namespace
