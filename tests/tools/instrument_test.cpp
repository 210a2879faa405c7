// The simulated instrument: deterministic, valid and plausible frames.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "accumulator.h"
#include "frame_values.h"
#include "instrument.h"

namespace {

constexpr double LINE_PERIOD = 256 * 10 / 19200.0;

using Bytes = std::array<unsigned char, FRAME_SIZE>;

std::vector<Bytes> frames_of(uint64_t seed, int count, double period = LINE_PERIOD) {
    Instrument instrument(seed, period);
    std::vector<Bytes> frames(count);
    for (Bytes& frame : frames)
        instrument.next_frame(frame.data());
    return frames;
}

FrameValues decoded(const Bytes& frame) {
    FrameValues values;
    decode_frame(frame.data(), &values);
    return values;
}

} // namespace

TEST(SimRandom, IsSplitmix64) {
    SimRandom random(0);
    EXPECT_EQ(random.next(), 0xE220A8397B1DCDAFull);
    EXPECT_EQ(random.next(), 0x6E789E6AA1B965F4ull);
}

TEST(SimRandom, ExpNegativeMatchesTheLibrary) {
    for (double x : {0.0, 0.01, 0.125, 0.5, 1.0, 3.7, 12.5, 40.0, 100.0})
        EXPECT_NEAR(exp_negative(x) / std::exp(-x), 1.0, 1e-12) << x;
    EXPECT_EQ(exp_negative(800.0), 0.0);
}

TEST(SimRandom, PoissonHasItsMeanAndVariance) {
    SimRandom random(42);
    for (double mean : {0.5, 5.0, 35.0, 300.0, 3000.0}) {
        const int n = 20000;
        double sum = 0, squares = 0;
        for (int i = 0; i < n; ++i) {
            auto k = static_cast<double>(random.poisson(mean));
            sum += k;
            squares += k * k;
        }
        double m = sum / n, variance = squares / n - m * m;
        EXPECT_NEAR(m / mean, 1.0, 0.03) << mean;
        EXPECT_NEAR(variance / mean, 1.0, 0.06) << mean;
    }
    EXPECT_EQ(random.poisson(0.0), 0);
}

TEST(Instrument, SameSeedSameFramesOtherSeedOthers) {
    EXPECT_EQ(frames_of(7, 40), frames_of(7, 40));
    EXPECT_NE(frames_of(7, 40), frames_of(8, 40));
}

TEST(Instrument, PackIsTheInverseOfUnpack) {
    const int values[] = {2748, 3567, 0, 4095, 4095, 0, 1, 2048};
    unsigned char packed[12];
    pack(values, packed, 8);
    EXPECT_EQ(packed[0], 0xAB);
    EXPECT_EQ(packed[1], 0xCD);
    EXPECT_EQ(packed[2], 0xEF);
    int32_t back[8];
    unpack(packed, back, 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(back[i], values[i]);
}

TEST(Instrument, EveryFramePassesAndDecodesIntoRange) {
    std::vector<Bytes> frames = frames_of(3, 800);
    for (size_t i = 0; i < frames.size(); ++i) {
        const Bytes& f = frames[i];
        ASSERT_TRUE(checksum_ok(f.data())) << i;
        EXPECT_EQ(f[0], 0xEB);
        EXPECT_EQ(f[1], 0x90);
        EXPECT_EQ(f[4], static_cast<unsigned char>(i)); // sequence number
        FrameValues v = decoded(f);
        EXPECT_EQ(v.mode, static_cast<int>(i % 4));
        EXPECT_NEAR(v.word_12, 28000, 300);
        EXPECT_NEAR(v.word_14, 5010, 30);
        EXPECT_NEAR(v.word_244, 29815, 600);
        bool fine = v.mode == 0 || v.mode == 2;
        EXPECT_NEAR(v.scaled[0], fine ? 2.5 : -12.5, fine ? 0.01 : 3.0);
        if (v.mode == 1) {
            EXPECT_GE(v.counter, 0);
            EXPECT_LT(v.counter, 86400000);
        }
        if (v.mode == 3) {
            EXPECT_NEAR(v.counter_value, 0.0, 120.0);
        }
        for (int32_t rate : v.rates) {
            EXPECT_GT(rate, 100);
            EXPECT_LT(rate, 2000);
        }
        for (int32_t count : v.counts) {
            EXPECT_GE(count, 0);
            EXPECT_LE(count, 4095);
        }
        EXPECT_EQ(v.groups[2], 40); // segment 0's threshold setting
    }
}

TEST(Instrument, ClocksAdvanceLikeClocks) {
    std::vector<Bytes> frames = frames_of(5, 12);
    // Four frames apart: 4 x 133.3 ms.
    for (int mode = 0; mode < 2; ++mode) {
        int32_t step = decoded(frames[mode + 4]).counter - decoded(frames[mode]).counter;
        EXPECT_GE(step, 533) << mode;
        EXPECT_LE(step, 534) << mode;
    }
    // Mode 2: the spin phase turns 36 degrees a second.
    double turned = decoded(frames[6]).counter_value - decoded(frames[2]).counter_value;
    EXPECT_NEAR(std::fmod(turned + 360.0, 360.0), 19.2, 0.01);
    // A slower link slows the clocks with it.
    std::vector<Bytes> slow = frames_of(5, 7, 0.5);
    EXPECT_NEAR(decoded(slow[4]).counter - decoded(slow[0]).counter, 2000, 1);
    // More than a whole turn a frame: 369 degrees, 1476 over four frames.
    std::vector<Bytes> slowest = frames_of(5, 7, 10.25);
    double slow_turn = decoded(slowest[6]).counter_value - decoded(slowest[2]).counter_value;
    EXPECT_NEAR(std::fmod(slow_turn + 360.0, 360.0), 36.0, 0.01);
}

TEST(Instrument, AccumulatedSpectrumFallsAndShowsItsLines) {
    SpectrumStore store{};
    init(&store);
    for (const Bytes& frame : frames_of(9, 2000))
        accumulate_counts(&store, decoded(frame), 1);
    float plot[CHANNEL_COUNT];
    normalise(&store, plot);
    // The continuum falls across the whole range.
    EXPECT_GT(plot[0], plot[30]);
    EXPECT_GT(plot[30], plot[77]);
    EXPECT_GT(plot[100], plot[140]);
    EXPECT_GT(plot[140], plot[207]);
    EXPECT_GT(plot[207], 0.0f);
    // The 511 line sits in channel 107 (510-526), the 1461 line in 150 (1446).
    EXPECT_GT(plot[107], 2.0f * plot[104]);
    EXPECT_GT(plot[107], 2.0f * plot[111]);
    EXPECT_GT(plot[150], 2.0f * plot[146]);
    EXPECT_GT(plot[150], 2.0f * plot[154]);
}
