#include "frame_format.h"

#include <gtest/gtest.h>

#include "frames.h"

namespace {

TEST(PackedPairs, UnpackTheUpperAndLowerTwelveBits) {
    const unsigned char pairs[] = {0xAB, 0xCD, 0xEF, 0x00, 0x0F, 0xFF, 0xFF, 0xF0, 0x00};
    int32_t values[6] = {};
    unpack(pairs, values, 6);
    EXPECT_EQ((std::vector<int32_t>(values, values + 6)),
              (std::vector<int32_t>{2748, 3567, 0, 4095, 4095, 0}));
}

TEST(PackedPairs, CountOfZeroOrLessWritesNothing) {
    const unsigned char pairs[] = {0xAB, 0xCD, 0xEF};
    int32_t values[2] = {-7, -7};
    unpack(pairs, values, 0);
    unpack(pairs, values, -2);
    EXPECT_EQ(values[0], -7);
    EXPECT_EQ(values[1], -7);
}

TEST(PackedPairs, WriteExactlyCountValues) {
    const unsigned char pairs[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    int32_t values[5] = {-1, -1, -1, -1, -1};
    unpack(pairs, values, 4);
    EXPECT_EQ((std::vector<int32_t>(values, values + 5)),
              (std::vector<int32_t>{0x123, 0x456, 0x789, 0xABC, -1}));
}

TEST(FrameFields, ModeIsTheLowTwoBitsOfByte5) {
    EXPECT_EQ(frame_mode(frame_with(5, {0xFE}).data()), 2);
    EXPECT_EQ(frame_mode(frame_with(5, {0x07}).data()), 3);
    EXPECT_EQ(frame_mode(frame_with(5, {0x05}).data()), 1);
    EXPECT_EQ(frame_mode(frame_with(5, {0xFC}).data()), 0);
}

TEST(FrameFields, CounterIsSignedBigEndian) {
    EXPECT_EQ(frame_counter(frame_with(6, {0xFF, 0xFF, 0xFF, 0xFF}).data()), -1);
    EXPECT_EQ(frame_counter(frame_with(6, {0x80, 0x00, 0x00, 0x00}).data()), INT32_MIN);
    EXPECT_EQ(frame_counter(frame_with(6, {0x02, 0xB3, 0x2C, 0x95}).data()), 45296789);
}

TEST(FrameFields, WordsAreUnsignedBigEndian) {
    EXPECT_EQ(word_at(frame_with(244, {0xFF, 0xFF}).data(), 244), 65535);
    EXPECT_EQ(word_at(frame_with(10, {0x12, 0x34}).data(), 10), 0x1234);
}

TEST(Checksum, ZeroFrameIsValid) {
    Frame zero{};
    EXPECT_EQ(frame_checksum(zero.data()), 0);
    EXPECT_TRUE(checksum_ok(zero.data()));
}

TEST(Checksum, SyncPatternAloneNeedsItsOwnWordAsChecksum) {
    Frame frame = frame_with(0, {0xEB, 0x90});
    EXPECT_FALSE(checksum_ok(frame.data()));
    put(&frame, 254, {0xEB, 0x90});
    EXPECT_TRUE(checksum_ok(frame.data()));
}

TEST(Checksum, SumWrapsAtSixteenBits) {
    Frame frame{};
    for (int i = 0; i < 254; ++i)
        frame[i] = 0xFF;
    EXPECT_EQ(frame_checksum(frame.data()), 0xFF81);
}

TEST(Checksum, MultipleOf65536PassesWithZeroChecksum) {
    Frame frame = frame_with(0, {0x80, 0x00, 0x80, 0x00}); // 0x8000 + 0x8000 wraps to 0
    EXPECT_TRUE(checksum_ok(frame.data()));
    frame[3] = 0x01;
    EXPECT_FALSE(checksum_ok(frame.data()));
}

TEST(Checksum, ChecksumBytesAreNotSummed) {
    Frame frame = frame_with(100, {0x01, 0x02});
    put(&frame, 254, {0x01, 0x02});
    EXPECT_TRUE(checksum_ok(frame.data()));
}

} // namespace
