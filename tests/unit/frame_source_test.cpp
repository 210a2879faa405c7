#include "frame_source.h"

#include <gtest/gtest.h>

#include "fake_runtime.h"
#include "frames.h"
#include "record_reader.h"

namespace {

class FrameSource : public ::testing::Test {
  protected:
    void SetUp() override { fake::reset(); }
    void TearDown() override {
        if (file != nullptr) std::fclose(file);
    }
    void replay(const Bytes& recording) {
        file = file_of(recording);
        set_replay_stream(file);
    }
    std::FILE* file = nullptr;
    Frame frame{};
};

TEST_F(FrameSource, LiveTakesAWhole256ByteReadAsIs) {
    Bytes bytes(256, 0x5A);
    bytes[0] = 0x01; // no sync pattern, no valid checksum: taken all the same
    fake::push_read(bytes);
    EXPECT_EQ(get_frm(frame.data(), SOURCE_LIVE), 0);
    EXPECT_EQ(Bytes(frame.begin(), frame.end()), bytes);
    EXPECT_EQ(fake::texts(), (std::vector<std::string>{"ComRd(1, 256)"}));
}

TEST_F(FrameSource, LiveShortOrFailedReadsGiveNoFrame) {
    fake::push_read(Bytes(255, 0x11));
    fake::push_read_error(-3);
    fake::push_read(Bytes(256, 0x22));
    EXPECT_EQ(get_frm(frame.data(), SOURCE_LIVE), -1);
    EXPECT_EQ(get_frm(frame.data(), SOURCE_LIVE), -1);
    EXPECT_EQ(get_frm(frame.data(), SOURCE_LIVE), 0);
    EXPECT_EQ(frame[0], 0x22);
    EXPECT_EQ(fake::texts("ComRd").size(), 3u);
    EXPECT_TRUE(fake::texts("Delay").empty());
}

TEST_F(FrameSource, ReplayPausesOnceAPerCallEvenAcrossBadRecords) {
    Bytes recording;
    for (int i = 0; i < 3; ++i)
        append(&recording, frame_with(0, {0xEB, 0x90, 0x00, 0x00, 0x01}));
    append(&recording, sealed(frame_with(0, {0xEB, 0x90, 0x00, 0x07})));
    replay(recording);
    int32_t skipped_before = skipped_bytes();
    EXPECT_EQ(get_frm(frame.data(), SOURCE_REPLAY), 0);
    EXPECT_EQ(frame[3], 0x07);
    EXPECT_EQ(fake::texts(), (std::vector<std::string>{"Delay(0.2)"}));
    EXPECT_EQ(skipped_bytes() - skipped_before, 768);
}

TEST_F(FrameSource, ReplayAtTheEndKeepsPausingAndFailing) {
    replay({});
    EXPECT_EQ(get_frm(frame.data(), SOURCE_REPLAY), -1);
    EXPECT_EQ(get_frm(frame.data(), SOURCE_REPLAY), -1);
    EXPECT_EQ(fake::texts(), (std::vector<std::string>{"Delay(0.2)", "Delay(0.2)"}));
    EXPECT_DOUBLE_EQ(fake::now(), 0.4);
}

TEST_F(FrameSource, UnknownSourceFailsAtOnceWithoutReading) {
    replay(Bytes(256, 0x00));
    EXPECT_EQ(get_frm(frame.data(), 2), -1);
    EXPECT_EQ(get_frm(frame.data(), -1), -1);
    EXPECT_TRUE(fake::calls().empty());
    EXPECT_EQ(std::ftell(file), 0);
}

} // namespace
