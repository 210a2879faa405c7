#include "record_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace {

int64_t offset_of(const RecordReader& r, size_t index) {
    return r.window_offset + static_cast<int64_t>(index);
}

// Makes `count` bytes (at most a record's) available from the window's first
// unused byte. False when the input ends, or a read fails, first.
bool have(RecordReader* r, size_t count) {
    size_t held = r->end - r->begin;
    if (held >= count) return true;
    if (r->stream == nullptr) return false;
    std::memmove(r->window, r->window + r->begin, held);
    r->window_offset = offset_of(*r, r->begin);
    r->begin = 0;
    r->end = held;
    r->end += std::fread(r->window + r->end, 1, std::max(count - held, r->read_ahead), r->stream);
    if (r->error == 0 && std::ferror(r->stream)) r->error = errno != 0 ? errno : EIO;
    return r->end >= count;
}

// After a bad record at the window's first unused byte: moves on to the next
// 0xEB 0x90, scanning from the bad record's second byte, or past the end of
// the input when there is none; counts the bytes passed over.
void resync(RecordReader* r) {
    int64_t bad_record = offset_of(*r, r->begin);
    ++r->begin;
    while (have(r, 2)) {
        // The last byte held waits for the one after it.
        const void* first = std::memchr(r->window + r->begin, SYNC_FIRST, r->end - r->begin - 1);
        if (first == nullptr) {
            r->begin = r->end - 1;
            continue;
        }
        r->begin = static_cast<size_t>(static_cast<const unsigned char*>(first) - r->window);
        if (r->window[r->begin + 1] == SYNC_SECOND) {
            // Counted as if the pattern's two bytes were read and given back,
            // so a saturated counter ends where a byte-by-byte scan leaves it.
            count_skipped(r, offset_of(*r, r->begin) - bad_record + 2);
            count_skipped(r, -2);
            return;
        }
        // A byte that breaks a started pair is not looked at again as a
        // possible first byte: 0xEB 0xEB 0x90 is no pattern.
        r->begin += 2;
    }
    r->begin = r->end;
    count_skipped(r, offset_of(*r, r->end) - bad_record);
}

} // namespace

void start_reading(RecordReader* reader, std::FILE* stream, size_t read_ahead) {
    reader->stream = stream;
    reader->read_ahead = std::min(read_ahead, READ_AHEAD_MAX);
    reader->error = 0;
    reader->skipped = 0;
    reader->begin = reader->end = 0;
    reader->window_offset = 0;
}

int read_record(RecordReader* reader, unsigned char* frame) {
    while (have(reader, FRAME_SIZE)) {
        const unsigned char* record = reader->window + reader->begin;
        if (checksum_ok(record)) {
            std::memcpy(frame, record, FRAME_SIZE);
            reader->begin += FRAME_SIZE;
            return 0;
        }
        resync(reader);
    }
    return -1;
}

// The record returned last is the window's latest used-up bytes.
int64_t record_offset(const RecordReader& reader) {
    return offset_of(reader, reader.begin) - FRAME_SIZE;
}

void count_skipped(RecordReader* reader, int64_t bytes) {
    int64_t total = reader->skipped + bytes;
    reader->skipped = total > std::numeric_limits<int32_t>::max()
                          ? std::numeric_limits<int32_t>::max()
                          : static_cast<int32_t>(total);
}
