#include "frame_source.h"

#include <gtest/gtest.h>

#include "fake_runtime.h"
#include "frames.h"

namespace {

// Live bytes out of step with the instrument's frames -----------------------------

// The instrument's frame number `n`: the sync pattern, then `n`.
Bytes numbered(unsigned char n) { return joined(frame_with(0, {0xEB, 0x90, 0x00, 0x00, n})); }

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

// A block with 0x90 0xEB, the pattern's bytes the wrong way round.
const Bytes NO_PATTERN = joined(Bytes(10, 0x44), Bytes{0x90, 0xEB}, Bytes(244, 0x44));

struct LiveCase {
    const char* name;
    Bytes line;                // all the bytes that arrive, then the line stays quiet
    std::vector<Bytes> frames; // what the calls return, before one that finds none
    int32_t skipped;           // growth of the skipped-byte counter
    std::vector<int> reads;    // the byte counts asked of ComRd, in order
    size_t logged;             // how many of the line's first bytes the arrivals hold
};

// clang-format off
const LiveCase LIVE_CASES[] = {
    {"in step", joined(F1, DATA_SYNC, F2), {F1, DATA_SYNC, F2}, 0, {256, 256, 256, 256}, 768},
    {"an extra byte before a frame", joined(F1, Bytes{0x33}, F2, F3), {F1, F2, F3}, 1,
     {256, 256, 1, 256, 256}, 769},
    // The broken frame still starts with the pattern and is taken; the next
    // block then holds the following frame's pattern only as its last byte.
    {"a byte lost inside a frame", joined(slice(F1, 0, 100), slice(F1, 101, 256), F2, F3, F4),
     {joined(slice(F1, 0, 100), slice(F1, 101, 256), Bytes{0xEB}), F3, F4}, 255,
     {256, 256, 1, 254, 256, 256}, 1023},
    {"the pattern split across the block's end", joined(Bytes(255, 0x44), F1, F2), {F1, F2}, 255,
     {256, 1, 254, 256, 256}, 767},
    {"the pattern in the block's last two bytes", joined(Bytes(254, 0x44), F1, F2), {F1, F2}, 254,
     {256, 254, 256, 256}, 766},
    // The byte read to look past the block's end begins the next block.
    {"a block ending in 0xEB without 0x90 after it", joined(Bytes(255, 0x44), Bytes{0xEB}, F1, F2),
     {joined(Bytes(255, 0x44), Bytes{0xEB}), F1, F2}, 0, {256, 1, 255, 256, 256}, 768},
    {"a block ending in 0xEB, then a quiet line", joined(Bytes(255, 0x44), Bytes{0xEB}),
     {joined(Bytes(255, 0x44), Bytes{0xEB})}, 0, {256, 1, 256}, 256},
    // Out of step, a pattern in a frame's data is taken for a frame's start
    // once; the next block holds a true one.
    {"a pattern inside a frame's data while out of step", joined(slice(DATA_SYNC, 50, 256), F2, F3, F4),
     {joined(slice(DATA_SYNC, 100, 256), slice(F2, 0, 100)), F3, F4}, 50 + 156,
     {256, 50, 256, 156, 256, 256}, 974},
    {"no pattern, only its bytes apart: taken as is", NO_PATTERN, {NO_PATTERN}, 0, {256, 256}, 256},
    // The block came whole, so it is logged and its bytes before the pattern
    // are skipped; the frame's 44 bytes that came are lost with the short read.
    {"the frame after the pattern never completes", joined(Bytes(100, 0x44), slice(F1, 0, 200)),
     {}, 100, {256, 100}, 256},
};
// clang-format on

// Each case runs its calls until one finds no frame: the live source keeps no
// state past such a call.
TEST(FrameSource, LiveRealignsOnTheSyncPatternAndHandsOnEveryByteOnce) {
    Frame frame{};
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
                EXPECT_EQ(joined(frame), c.frames[call]) << "call " << call;
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

} // namespace
