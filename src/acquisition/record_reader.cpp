#include "record_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "frame_format.h"

namespace {

// Where reading a stream stands; a new stream starts from these values.
struct Reading {
    std::FILE* stream = nullptr;
    size_t read_ahead = 0;
    int error = 0;             // errno of the first failed read
    size_t begin = 0;          // first unused byte of the window
    size_t end = 0;            // one past the last byte read into it
    int64_t window_offset = 0; // stream offset of window[0]
};

Reading reading;
int32_t skipped = 0; // shown on the panel; saturates rather than wrapping

// What was read and not yet used up. After a bad record the scan for the next
// pattern starts at its second byte, so its bytes stay here until they are
// scanned: this look-back is what spares the reader a seek.
unsigned char window[FRAME_SIZE + READ_AHEAD_MAX];

void count_skipped(int64_t bytes) {
    int64_t total = skipped + bytes;
    skipped = total > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                          : static_cast<int32_t>(total);
}

int64_t offset_of(size_t index) { return reading.window_offset + static_cast<int64_t>(index); }

// Makes `count` bytes (at most a record's) available from the window's first
// unused byte. False when the input ends, or a read fails, first.
bool have(size_t count) {
    Reading& r = reading;
    size_t held = r.end - r.begin;
    if (held >= count) return true;
    if (r.stream == nullptr) return false;
    std::memmove(window, window + r.begin, held);
    r.window_offset = offset_of(r.begin);
    r.begin = 0;
    r.end = held;
    r.end += std::fread(window + r.end, 1, std::max(count - held, r.read_ahead), r.stream);
    if (r.error == 0 && std::ferror(r.stream)) r.error = errno != 0 ? errno : EIO;
    return r.end >= count;
}

// After a bad record at the window's first unused byte: moves on to the next
// 0xEB 0x90, scanning from the bad record's second byte, or past the end of
// the input when there is none; counts the bytes passed over.
void resync() {
    Reading& r = reading;
    int64_t bad_record = offset_of(r.begin);
    ++r.begin;
    while (have(2)) {
        // The last byte held waits for the one after it.
        const void* first = std::memchr(window + r.begin, SYNC_FIRST, r.end - r.begin - 1);
        if (first == nullptr) {
            r.begin = r.end - 1;
            continue;
        }
        r.begin = static_cast<size_t>(static_cast<const unsigned char*>(first) - window);
        if (window[r.begin + 1] == SYNC_SECOND) {
            // Counted as if the pattern's two bytes were read and given back,
            // so a saturated counter ends where a byte-by-byte scan leaves it.
            count_skipped(offset_of(r.begin) - bad_record + 2);
            count_skipped(-2);
            return;
        }
        // A byte that breaks a started pair is not looked at again as a
        // possible first byte: 0xEB 0xEB 0x90 is no pattern.
        r.begin += 2;
    }
    r.begin = r.end;
    count_skipped(offset_of(r.end) - bad_record);
}

} // namespace

void set_replay_stream(std::FILE* stream, size_t read_ahead) {
    reading = Reading{};
    reading.stream = stream;
    reading.read_ahead = std::min(read_ahead, READ_AHEAD_MAX);
}

int read_record(unsigned char* frame) {
    while (have(FRAME_SIZE)) {
        const unsigned char* record = window + reading.begin;
        if (checksum_ok(record)) {
            std::memcpy(frame, record, FRAME_SIZE);
            reading.begin += FRAME_SIZE;
            return 0;
        }
        resync();
    }
    return -1;
}

// The record returned last is the window's latest used-up bytes.
int64_t record_offset() { return offset_of(reading.begin) - FRAME_SIZE; }
int replay_read_error() { return reading.error; }
int32_t skipped_bytes() { return skipped; }
void add_skipped_bytes(int32_t bytes) { count_skipped(bytes); }
