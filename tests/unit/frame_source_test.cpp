#include "frame_source.h"

#include <gtest/gtest.h>

#include "fake_runtime.h"
#include "frames.h"

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

// Live bytes out of step with the instrument's frames -----------------------------

// The instrument's frame number `n`: the sync pattern, then `n`.
Bytes numbered(unsigned char n) {
    Frame frame = frame_with(0, {0xEB, 0x90, 0x00, 0x00, n});
    return Bytes(frame.begin(), frame.end());
}

Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        append(&out, part);
    return out;
}

Bytes slice(const Bytes& bytes, size_t from, size_t to) {
    return Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(to));
}

const Bytes F1 = numbered(1), F2 = numbered(2), F3 = numbered(3), F4 = numbered(4);
// A frame whose data hold the sync pattern at byte 100.
const Bytes DATA_SYNC = [] {
    Bytes frame = numbered(9);
    frame[100] = 0xEB;
    frame[101] = 0x90;
    return frame;
}();

struct LiveCase {
    const char* name;
    Bytes line;                // all the bytes that arrive, then the line stays quiet
    std::vector<Bytes> frames; // what the calls return, before one that finds none
    int32_t skipped;           // growth of the skipped-byte counter
    std::vector<int> reads;    // the byte counts asked of ComRd, in order
    size_t logged;             // how many of the line's first bytes the arrivals hold
};

const LiveCase LIVE_CASES[] = {
    {"InStep", joined({F1, DATA_SYNC, F2}), {F1, DATA_SYNC, F2}, 0, {256, 256, 256, 256}, 768},
    {"ExtraByteBeforeAFrame",
     joined({F1, {0x33}, F2, F3}),
     {F1, F2, F3},
     1,
     {256, 256, 1, 256, 256},
     769},
    // The broken frame still starts with the pattern and is taken; the next
    // block then holds the following frame's pattern only as its last byte.
    {"ByteLostInsideAFrame",
     joined({slice(F1, 0, 100), slice(F1, 101, 256), F2, F3, F4}),
     {joined({slice(F1, 0, 100), slice(F1, 101, 256), {0xEB}}), F3, F4},
     255,
     {256, 256, 1, 254, 256, 256},
     1023},
    {"PatternSplitAcrossTheBlockEnd",
     joined({Bytes(255, 0x44), F1, F2}),
     {F1, F2},
     255,
     {256, 1, 254, 256, 256},
     767},
    // The byte read to look past the block's end begins the next block.
    {"BlockEndingIn0xEBWithout0x90After",
     joined({Bytes(255, 0x44), {0xEB}, F1, F2}),
     {joined({Bytes(255, 0x44), {0xEB}}), F1, F2},
     0,
     {256, 1, 255, 256, 256},
     768},
    // Out of step, a pattern in a frame's data is taken for a frame's start
    // once; the next block holds a true one.
    {"PatternInsideAFramesDataWhileOutOfStep",
     joined({slice(DATA_SYNC, 50, 256), F2, F3, F4}),
     {joined({slice(DATA_SYNC, 100, 256), slice(F2, 0, 100)}), F3, F4},
     50 + 156,
     {256, 50, 256, 156, 256, 256},
     974},
    {"NoPatternAnywhere", Bytes(256, 0x44), {Bytes(256, 0x44)}, 0, {256, 256}, 256},
    // The block came whole, so it is logged and its bytes before the pattern
    // are skipped; the frame's 44 bytes that came are lost with the short read.
    {"FrameAfterThePatternNeverCompletes",
     joined({Bytes(100, 0x44), slice(F1, 0, 200)}),
     {},
     100,
     {256, 100},
     256},
};

// Each case runs its calls until one finds no frame: the live source keeps no
// state past such a call.
TEST_F(FrameSource, LiveRealignsOnTheSyncPatternAndHandsOnEveryByteOnce) {
    for (const LiveCase& c : LIVE_CASES) {
        SCOPED_TRACE(c.name);
        fake::reset();
        fake::push_line(c.line);
        int32_t skipped_before = skipped_bytes();
        Bytes arrived;
        for (size_t call = 0; call <= c.frames.size(); ++call) {
            int result = get_frm(frame.data(), SOURCE_LIVE);
            const unsigned char* bytes = nullptr;
            int count = live_arrivals(&bytes);
            arrived.insert(arrived.end(), bytes, bytes + count);
            if (call == c.frames.size()) {
                EXPECT_EQ(result, -1);
            } else {
                ASSERT_EQ(result, 0) << "call " << call;
                EXPECT_EQ(Bytes(frame.begin(), frame.end()), c.frames[call]) << "call " << call;
            }
        }
        EXPECT_EQ(skipped_bytes() - skipped_before, c.skipped);
        std::vector<std::string> reads;
        for (int count : c.reads)
            reads.push_back("ComRd(1, " + std::to_string(count) + ")");
        EXPECT_EQ(fake::texts(), reads);
        EXPECT_EQ(arrived, slice(c.line, 0, c.logged));
    }
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
