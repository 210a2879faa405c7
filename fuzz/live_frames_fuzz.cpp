// The live frame source over an arbitrary line, through the fake backend.
// Beyond not crashing: live takes exactly the frames that a replay of the
// same bytes takes, with the same skipped count (but for bytes still held
// when the line falls quiet, which a replay counts at the end of its input);
// the raw log, the calls' arrivals in order, is the line's every byte; each
// call reads at most about two records' worth; the line is read dry within
// one call a byte at most.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fake_runtime.h"
#include "frame_format.h"
#include "frame_source.h"
#include "fuzz_check.h"
#include "kxview_storage.h"
#include "record_reader.h"

namespace {

RecordReader replay;

// The frames taken, in order, and the bytes skipped.
struct Taken {
    std::vector<std::vector<unsigned char>> frames;
    int32_t skipped = 0;
};

Taken replayed(const uint8_t* data, size_t size) {
    std::vector<uint8_t> copy(data, data + size); // fmemopen wants a writable buffer
    std::FILE* stream = size > 0 ? fmemopen(copy.data(), size, "rb") : nullptr;
    start_reading(&replay, stream);
    Taken taken;
    unsigned char frame[FRAME_SIZE];
    while (read_record(&replay, frame) == 0)
        taken.frames.emplace_back(frame, frame + FRAME_SIZE);
    taken.skipped = replay.skipped;
    if (stream != nullptr) std::fclose(stream);
    return taken;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fresh_storage();
    fake::reset();
    fake::push_line(std::vector<unsigned char>(data, data + size));
    start_frames(SOURCE_LIVE, nullptr);
    Taken live;
    std::vector<unsigned char> logged;
    unsigned char frame[FRAME_SIZE];
    for (size_t call = 0;; ++call) {
        require(call <= size + 1, "every call but the last moves on by a byte at least");
        int result = get_frm(frame, SOURCE_LIVE);
        const unsigned char* arrivals = nullptr;
        int count = live_arrivals(&arrivals);
        require(count >= 0 && count <= 2 * FRAME_SIZE + 2,
                "a call reads two records' worth at most");
        logged.insert(logged.end(), arrivals, arrivals + count);
        require(logged.size() <= size && std::equal(logged.begin(), logged.end(), data),
                "the raw log is the line's bytes in arrival order");
        if (result < 0) break;
        if (result == 0) {
            require(checksum_ok(frame), "a frame passes the checksum");
            live.frames.emplace_back(frame, frame + FRAME_SIZE);
        }
    }
    require(logged.size() == size, "every byte of the line is logged, a short read's too");
    Taken replay_taken = replayed(data, size);
    require(live.frames == replay_taken.frames, "live takes the frames a replay takes");
    require(skipped_bytes() <= replay_taken.skipped && replay_taken.skipped - skipped_bytes() <= 1,
            "live skips what a replay skips, but for a byte still held at the end");
    const unsigned char* arrivals = nullptr;
    require(get_frm(frame, SOURCE_LIVE) == -1 && live_arrivals(&arrivals) == 0,
            "a quiet line gives no frame and logs nothing");
    return 0;
}
