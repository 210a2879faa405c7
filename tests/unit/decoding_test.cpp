// The decoding of a frame's bytes: the checksum, the time of day, and the
// spectrum's sums.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "accumulator.h"
#include "frame_format.h"
#include "frame_values.h"
#include "frames.h"

namespace {

// A frame holding `words` from byte 0 and `checksum` in its last two bytes.
Frame checked(const Bytes& words, const Bytes& checksum) {
    Frame frame = frame_with(0, words);
    put(&frame, 254, checksum);
    return frame;
}

// The 16-bit sum of the first 127 big-endian words must equal the last word.
TEST(Checksum, IsTheWrappedSumOfTheWordsBeforeIt) {
    Frame ones = checked(Bytes(254, 0xFF), {});
    EXPECT_EQ(frame_checksum(ones.data()), 0xFF81);
    struct Case {
        const char* name;
        Frame frame;
        bool ok;
    };
    for (const Case& c :
         {Case{"zeros", Frame{}, true},
          Case{"the sync pattern alone", checked({0xEB, 0x90}, {}), false},
          Case{"the pattern with its own word", checked({0xEB, 0x90}, {0xEB, 0x90}), true},
          Case{"0x8000 twice wraps to 0", checked({0x80, 0x00, 0x80, 0x00}, {}), true},
          Case{"0x8000 and 0x8001", checked({0x80, 0x00, 0x80, 0x01}, {}), false},
          Case{"the last word is not summed", checked({0x01, 0x02}, {0x01, 0x02}), true}})
        EXPECT_EQ(checksum_ok(c.frame.data()), c.ok) << c.name;
}

// The time within the day, with the seconds rounded up without a carry and
// signed fields for a negative counter.
TEST(TimeText, ShowsTheTimeWithinTheDay) {
    struct Case {
        int32_t counter;
        const char* text;
    };
    for (Case c :
         {Case{45296789, "12:34:56.8"}, Case{0, "00:00:00.0"}, Case{86400000, "00:00:00.0"},
          Case{90061500, "01:01:01.5"}, Case{86399999, "23:59:60.0"}, Case{-1, "00:00:-0.0"},
          Case{-86399999, "-23:-59:-60.0"}, Case{INT32_MIN, "-20:-31:-23.6"}}) {
        char text[TIME_TEXT_SIZE];
        time_text(c.counter, text, TIME_TEXT_SIZE);
        EXPECT_STREQ(text, c.text) << c.counter;
    }
}

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
