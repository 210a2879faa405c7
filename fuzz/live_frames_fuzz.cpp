// The live frame source over an arbitrary line, through the fake backend.
// Each call reads a block of 256 bytes where the last one ended and returns
// the frame that begins at the block's first 0xEB 0x90 (one that straddles
// the block's end included) or, with none, the block as it came; the bytes
// before that frame count as skipped. The raw log, the calls' arrivals in
// order, holds every byte taken off the line but those of the final short
// read.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fake_runtime.h"
#include "frame_format.h"
#include "frame_source.h"
#include "fuzz_check.h"

namespace {

struct Expected {
    size_t start;  // where the frame begins on the line
    bool complete; // the line holds all of it
};

bool sync_at(const uint8_t* data, size_t size, size_t at) {
    return at + 1 < size && data[at] == SYNC_FIRST && data[at + 1] == SYNC_SECOND;
}

// The frame the block at `block` gives, from the whole line's bytes.
Expected expected_frame(const uint8_t* data, size_t size, size_t block) {
    if (block + FRAME_SIZE > size) return {block, false};
    size_t start = block;
    for (size_t at = block; at < block + FRAME_SIZE; ++at) {
        if (sync_at(data, size, at)) {
            start = at;
            break;
        }
    }
    return {start, start + FRAME_SIZE <= size};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fake::reset();
    fake::push_line(std::vector<unsigned char>(data, data + size));
    set_replay_stream(nullptr); // starts the skipped count of each run at 0
    std::vector<unsigned char> logged;
    size_t block = 0; // where the next block begins on the line
    unsigned char frame[FRAME_SIZE];
    for (size_t call = 0;; ++call) {
        require(call < size / FRAME_SIZE + 2, "the line ends within input/256 + 2 calls");
        int32_t skipped_before = skipped_bytes();
        int result = get_frm(frame, SOURCE_LIVE);
        const unsigned char* arrivals = nullptr;
        int count = live_arrivals(&arrivals);
        require(count >= 0 && logged.size() + count <= size, "arrivals stay within the line");
        logged.insert(logged.end(), arrivals, arrivals + count);
        require(std::equal(logged.begin(), logged.end(), data),
                "the raw log is the line's bytes in arrival order");
        Expected expected = expected_frame(data, size, block);
        int32_t skipped = skipped_bytes() - skipped_before;
        if (result != 0) {
            require(!expected.complete, "a frame the line holds is returned");
            require(skipped == static_cast<int32_t>(expected.start - block),
                    "a failed call counts only the bytes before the pattern it found");
            break;
        }
        require(expected.complete, "no frame is made up past the line's end");
        require(std::memcmp(frame, data + expected.start, FRAME_SIZE) == 0,
                "the frame begins at the block's first pattern, or is the block");
        require(skipped == static_cast<int32_t>(expected.start - block),
                "the bytes before the frame count as skipped");
        require(logged.size() == expected.start + FRAME_SIZE ||
                    logged.size() == expected.start + FRAME_SIZE + 1,
                "a frame's bytes are logged, and at most one byte read ahead");
        block = expected.start + FRAME_SIZE;
    }
    require(size - logged.size() < FRAME_SIZE, "only the final short read is left out of the log");
    const unsigned char* arrivals = nullptr;
    require(get_frm(frame, SOURCE_LIVE) == -1 && live_arrivals(&arrivals) == 0,
            "a quiet line gives no frame and logs nothing");
    return 0;
}
