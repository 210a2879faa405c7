#include "frame_source.h"

#include <gtest/gtest.h>

#include "fake_runtime.h"
#include "frames.h"
#include "kxview_storage.h"
#include "record_reader.h"

namespace {

// Live bytes out of step with the instrument's frames -----------------------------

// The instrument's frame number `n`: the sync pattern, then `n`.
Frame numbered(unsigned char n) { return sealed(frame_with(0, {0xEB, 0x90, 0x00, 0x00, n})); }

Bytes slice(const Bytes& bytes, size_t from, size_t to) {
    return Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(to));
}

const Bytes F1 = joined(numbered(1)), F2 = joined(numbered(2)), F3 = joined(numbered(3)),
            F4 = joined(numbered(4));
// A frame whose data hold the sync pattern at byte 100.
const Bytes DATA_SYNC = [] {
    Frame frame = frame_with(0, {0xEB, 0x90, 0x00, 0x00, 9});
    put(&frame, 100, {0xEB, 0x90});
    return joined(sealed(frame));
}();
// F2 with a byte of its data changed: it fails the checksum.
const Bytes CORRUPTED = [] {
    Bytes frame = F2;
    frame[50] ^= 0x10;
    return frame;
}();

struct LiveCase {
    const char* name;
    Bytes line;              // all the bytes that arrive, then the line stays quiet
    std::vector<int> frames; // the numbers of the frames the calls return
    int32_t skipped;         // growth of the skipped-byte counter
};

// clang-format off
const LiveCase LIVE_CASES[] = {
    {"in step, a pattern in a frame's data", joined(F1, DATA_SYNC, F2), {1, 9, 2}, 0},
    {"an extra byte before a frame", joined(F1, Bytes{0x33}, F2, F3), {1, 2, 3}, 1},
    // The shortened frame fails; the scan from its second byte finds the next.
    {"a byte lost inside a frame", joined(slice(F1, 0, 100), slice(F1, 101, 256), F2, F3),
     {2, 3}, 255},
    {"a corrupted frame between good ones", joined(F1, CORRUPTED, F3), {1, 3}, 256},
    // Out of step, a pattern in a frame's data begins a record that fails.
    {"a pattern inside a frame's data while out of step", joined(slice(DATA_SYNC, 50, 256), F2, F3),
     {2, 3}, 206},
    // Each call passes over about a record's worth and returns.
    {"noise longer than a record", joined(Bytes(700, 0x44), F4), {4}, 700},
    // The time-out cuts the read short: its bytes are handed on all the same.
    {"a frame, then 100 bytes, then silence", joined(F1, Bytes(100, 0x44)), {1}, 0},
};
// clang-format on

// The frames a replay of `bytes` takes.
std::vector<int> replayed(const Bytes& bytes) {
    static RecordReader reader;
    std::FILE* file = file_of(bytes);
    start_reading(&reader, file);
    std::vector<int> frames;
    Frame frame{};
    while (read_record(&reader, frame.data()) == 0)
        frames.push_back(frame[4]);
    std::fclose(file);
    return frames;
}

// Each case runs its calls until one finds no bytes: a quiet line. Live
// takes the frames that a replay of its raw log takes, and hands on every
// byte it read, each once, with no call reading more than two records' worth.
TEST(FrameSource, LiveTakesTheFramesAReplayOfItsLogTakesAndHandsOnEveryByte) {
    Frame frame{};
    for (const LiveCase& c : LIVE_CASES) {
        SCOPED_TRACE(c.name);
        fresh_storage();
        fake::reset();
        start_frames(SOURCE_LIVE, nullptr);
        fake::push_line(c.line);
        std::vector<int> frames;
        Bytes arrived;
        for (int result = 1; result >= 0;) {
            result = get_frm(frame.data(), SOURCE_LIVE);
            if (result == 0) frames.push_back(frame[4]);
            const unsigned char* bytes = nullptr;
            int count = live_arrivals(&bytes);
            EXPECT_LE(count, 2 * 256 + 2);
            arrived.insert(arrived.end(), bytes, bytes + count);
        }
        EXPECT_EQ(frames, c.frames);
        EXPECT_EQ(frames, replayed(c.line));
        EXPECT_EQ(skipped_bytes(), c.skipped);
        EXPECT_EQ(arrived, c.line);
    }
}

} // namespace
