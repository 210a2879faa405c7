#include "record_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "frame_format.h"

namespace {

std::FILE* replay = nullptr;
size_t read_ahead = 0;
int read_error = 0;
int32_t skipped = 0; // shown on the panel; saturates rather than wrapping

// What was read and not yet used up. After a bad record the scan for the next
// pattern starts at its second byte, so its bytes stay here until they are
// scanned: this look-back is what spares the reader a seek.
unsigned char window[FRAME_SIZE + READ_AHEAD_MAX];
size_t begin = 0;          // first unused byte
size_t end = 0;            // one past the last byte read
int64_t window_offset = 0; // stream offset of window[0]
int64_t last_record = 0;   // stream offset of the record returned last

void count_skipped(int64_t bytes) {
    int64_t total = skipped + bytes;
    skipped = total > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                          : static_cast<int32_t>(total);
}

int64_t offset_of(size_t index) { return window_offset + static_cast<int64_t>(index); }

// Makes `count` bytes (at most a record's) available from window[begin].
// False when the input ends, or a read fails, first.
bool have(size_t count) {
    size_t held = end - begin;
    if (held >= count) return true;
    if (replay == nullptr) return false;
    std::memmove(window, window + begin, held);
    window_offset = offset_of(begin);
    begin = 0;
    end = held;
    end += std::fread(window + end, 1, std::max(count - held, read_ahead), replay);
    if (read_error == 0 && std::ferror(replay)) read_error = errno != 0 ? errno : EIO;
    return end >= count;
}

// After a bad record at window[begin]: moves begin to the next 0xEB 0x90,
// scanning from the bad record's second byte, and counts the bytes passed
// over. False when the input ends first; every byte to its end then counts.
bool resync() {
    int64_t bad_record = offset_of(begin);
    ++begin;
    while (have(2)) {
        // The last byte held waits for the one after it.
        const void* first = std::memchr(window + begin, SYNC_FIRST, end - begin - 1);
        if (first == nullptr) {
            begin = end - 1;
            continue;
        }
        begin = static_cast<size_t>(static_cast<const unsigned char*>(first) - window);
        if (window[begin + 1] == SYNC_SECOND) {
            // Counted as if the pattern's two bytes were read and given back,
            // so a saturated counter ends where a byte-by-byte scan leaves it.
            count_skipped(offset_of(begin) - bad_record + 2);
            count_skipped(-2);
            return true;
        }
        // A byte that breaks a started pair is not looked at again as a
        // possible first byte: 0xEB 0xEB 0x90 is no pattern.
        begin += 2;
    }
    begin = end;
    count_skipped(offset_of(end) - bad_record);
    return false;
}

} // namespace

void set_replay_stream(std::FILE* stream, size_t ahead) {
    replay = stream;
    read_ahead = std::min(ahead, READ_AHEAD_MAX);
    read_error = 0;
    begin = end = 0;
    window_offset = 0;
    last_record = 0;
}

int read_record(unsigned char* frame) {
    while (have(FRAME_SIZE)) {
        const unsigned char* record = window + begin;
        if (checksum_ok(record)) {
            std::memcpy(frame, record, FRAME_SIZE);
            last_record = offset_of(begin);
            begin += FRAME_SIZE;
            return 0;
        }
        if (!resync()) break;
    }
    return -1;
}

int64_t record_offset() { return last_record; }
int replay_read_error() { return read_error; }
int32_t skipped_bytes() { return skipped; }
