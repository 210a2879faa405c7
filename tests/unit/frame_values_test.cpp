#include "frame_values.h"

#include <gtest/gtest.h>

#include <string>

#include "frames.h"

namespace {

std::string time_of(int32_t counter) {
    char text[TIME_TEXT_SIZE];
    time_text(counter, text, TIME_TEXT_SIZE);
    return text;
}

TEST(ScaledWords, FineScalingIsTheSinglePrecisionQuotient) {
    EXPECT_EQ(scaled_word(frame_with(246, {0xFF, 0xFF}).data(), 246, 10000.0),
              -9.999999747378752e-05);
    EXPECT_EQ(scaled_word(frame_with(246, {0x04, 0xD2}).data(), 246, 10000.0), 0.1234000027179718);
}

TEST(ScaledWords, TenthScalingIsTheSinglePrecisionQuotient) {
    EXPECT_EQ(scaled_word(frame_with(246, {0xFF, 0xFF}).data(), 246, 10.0), -0.10000000149011612);
    EXPECT_EQ(scaled_word(frame_with(246, {0x04, 0xD2}).data(), 246, 10.0), 123.4000015258789);
    EXPECT_EQ(scaled_word(frame_with(248, {0x80, 0x00}).data(), 248, 10.0), -3276.800048828125);
}

TEST(CounterValues, ModeZeroIsMilliUnits) {
    EXPECT_EQ(counter_value(0, 1234567), 1234567 * 0.001);
    EXPECT_EQ(counter_value(0, 1234567), 1234.567);
}

TEST(CounterValues, ModesTwoAndThreeUseTheDocumentedAngleFactor) {
    EXPECT_EQ(counter_value(2, 1073741824), 89.999965945856);
    EXPECT_EQ(counter_value(3, INT32_MIN), -179.999931891712);
}

TEST(TimeText, ShowsTheTimeWithinTheDay) {
    EXPECT_EQ(time_of(45296789), "12:34:56.8");
    EXPECT_EQ(time_of(0), "00:00:00.0");
    EXPECT_EQ(time_of(86400000), "00:00:00.0");
    EXPECT_EQ(time_of(90061500), "01:01:01.5");
}

TEST(TimeText, SecondsRoundUpWithoutCarrying) { EXPECT_EQ(time_of(86399999), "23:59:60.0"); }

TEST(TimeText, NegativeCountersGiveSignedFields) {
    EXPECT_EQ(time_of(-1), "00:00:-0.0");
    EXPECT_EQ(time_of(-86399999), "-23:-59:-60.0");
    EXPECT_EQ(time_of(INT32_MIN), "-20:-31:-23.6");
}

TEST(DecodeFrame, GroupsAreTwoWordsAndTwoBytes) {
    FrameValues v;
    decode_frame(frame_with(46, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}).data(), &v);
    EXPECT_EQ(v.groups[0], 4660);
    EXPECT_EQ(v.groups[1], 22136);
    EXPECT_EQ(v.groups[2], 154);
    EXPECT_EQ(v.groups[3], 188);
    EXPECT_EQ(v.groups[4], 0);
}

TEST(DecodeFrame, LastGroupEndsBeforeTheCounts) {
    Frame frame = frame_with(160, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xAB, 0xCD, 0xEF});
    FrameValues v;
    decode_frame(frame.data(), &v);
    EXPECT_EQ(v.groups[76], 0x0102);
    EXPECT_EQ(v.groups[77], 0x0304);
    EXPECT_EQ(v.groups[78], 5);
    EXPECT_EQ(v.groups[79], 6);
    EXPECT_EQ(v.counts[0], 2748);
    EXPECT_EQ(v.counts[1], 3567);
}

TEST(DecodeFrame, RatesAndCountsComeFromTheirPackedFields) {
    Frame frame = frame_with(16, {0xAB, 0xCD, 0xEF});
    put(&frame, 43, {0x00, 0x0F, 0xFF});  // last rate pair
    put(&frame, 241, {0xFF, 0xF0, 0x01}); // last count pair
    FrameValues v;
    decode_frame(frame.data(), &v);
    EXPECT_EQ(v.rates[0], 2748);
    EXPECT_EQ(v.rates[1], 3567);
    EXPECT_EQ(v.rates[18], 0);
    EXPECT_EQ(v.rates[19], 4095);
    EXPECT_EQ(v.counts[50], 4095);
    EXPECT_EQ(v.counts[51], 1);
}

TEST(DecodeFrame, FineModesCarryThreeScaledWords) {
    Frame frame = frame_with(5, {0x02});
    put(&frame, 246, {0xFF, 0xFF, 0x04, 0xD2, 0x00, 0x01});
    FrameValues v;
    decode_frame(frame.data(), &v);
    EXPECT_EQ(v.scaled_count, 3);
    EXPECT_EQ(v.scaled[0], -9.999999747378752e-05);
    EXPECT_EQ(v.scaled[1], 0.1234000027179718);
    EXPECT_EQ(v.scaled[2], static_cast<double>(static_cast<float>(1 / 10000.0)));
}

TEST(DecodeFrame, TenthModesCarryTwoScaledWordsAndTheTime) {
    Frame frame = frame_with(5, {0x05});
    put(&frame, 6, {0x02, 0xB3, 0x2C, 0x95});
    put(&frame, 246, {0x04, 0xD2, 0xFF, 0xFF, 0x12, 0x34});
    FrameValues v;
    decode_frame(frame.data(), &v);
    EXPECT_EQ(v.mode, 1);
    EXPECT_EQ(v.scaled_count, 2);
    EXPECT_EQ(v.scaled[0], 123.4000015258789);
    EXPECT_EQ(v.scaled[1], -0.10000000149011612);
    EXPECT_STREQ(v.time_text, "12:34:56.8");
}

TEST(DecodeFrame, HousekeepingWordsAreNeverNegative) {
    Frame frame = frame_with(10, {0xFF, 0xFE, 0x80, 0x00, 0x00, 0x01});
    put(&frame, 244, {0xFF, 0xFF});
    put(&frame, 252, {0xAB, 0xCD});
    FrameValues v;
    decode_frame(frame.data(), &v);
    EXPECT_EQ(v.word_10, 65534);
    EXPECT_EQ(v.word_12, 32768);
    EXPECT_EQ(v.word_14, 1);
    EXPECT_EQ(v.word_244, 65535);
    EXPECT_EQ(v.word_252, 0xABCD);
}

} // namespace
