#include "record_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace {

int64_t offset_of(const RecordReader& r, size_t index) {
    return r.window_offset + static_cast<int64_t>(index);
}

// A short fread is the end of the stream or a failed read: either way no
// more will come. errno is cleared first, so that the reason kept is this
// read's, not one left over from an earlier call.
size_t read_stream(RecordReader* r, unsigned char* into, size_t count) {
    auto* stream = static_cast<std::FILE*>(r->input);
    errno = 0;
    size_t got = std::fread(into, 1, count, stream);
    if (got < count) {
        r->ended = true;
        if (r->error == 0 && std::ferror(stream)) r->error = errno != 0 ? errno : EIO;
    }
    return got;
}

// Makes `count` bytes (at most a record's) available from the window's first
// unused byte. False when the input runs out, or a read fails, first.
bool have(RecordReader* r, size_t count) {
    size_t held = r->end - r->begin;
    if (held >= count) return true;
    if (r->fill == nullptr) return false;
    std::memmove(r->window, r->window + r->begin, held);
    r->window_offset = offset_of(*r, r->begin);
    r->begin = 0;
    r->end = held;
    r->end += r->fill(r, r->window + r->end, std::max(count - held, r->read_ahead));
    return r->end >= count;
}

// Moves on towards the next 0xEB 0x90, counting the bytes passed over.
// Returns 0 at a pattern; 2 once a record's worth of bytes was passed over
// without one; -1 when the bytes ran out first, and then, at the end of the
// input, the bytes held are passed over too.
int scan(RecordReader* r) {
    int64_t passed = 0;
    while (have(r, 2)) {
        size_t from = r->begin;
        // The last byte held waits for the one after it.
        const auto* first = static_cast<const unsigned char*>(
            std::memchr(r->window + r->begin, SYNC_FIRST, r->end - r->begin - 1));
        r->begin = first == nullptr ? r->end - 1 : static_cast<size_t>(first - r->window);
        if (first != nullptr && first[1] == SYNC_SECOND) {
            // Counted as if the pattern's two bytes were read and given back,
            // so a saturated counter ends where a byte-by-byte scan leaves it.
            count_skipped(r, static_cast<int64_t>(r->begin - from) + 2);
            count_skipped(r, -2);
            r->scanning = false;
            return 0;
        }
        // A byte that breaks a started pair is not looked at again as a
        // possible first byte: 0xEB 0xEB 0x90 is no pattern.
        if (first != nullptr) r->begin += 2;
        count_skipped(r, static_cast<int64_t>(r->begin - from));
        passed += static_cast<int64_t>(r->begin - from);
        if (passed >= FRAME_SIZE) return 2;
    }
    if (r->ended) {
        count_skipped(r, static_cast<int64_t>(r->end - r->begin));
        r->begin = r->end;
    }
    return -1;
}

void start(RecordReader* reader, FillBytes fill, void* input, size_t read_ahead, int64_t offset) {
    reader->fill = fill;
    reader->input = input;
    reader->read_ahead = std::min(read_ahead, READ_AHEAD_MAX);
    reader->ended = reader->scanning = false;
    reader->error = 0;
    reader->skipped = 0;
    reader->begin = reader->end = 0;
    reader->window_offset = offset;
    reader->record_start = offset;
}

} // namespace

void start_reading(RecordReader* reader, std::FILE* stream, size_t read_ahead, int64_t offset) {
    start(reader, stream != nullptr ? read_stream : nullptr, stream, read_ahead, offset);
}

void start_reading_from(RecordReader* reader, FillBytes fill, void* input, size_t read_ahead,
                        int64_t offset) {
    start(reader, fill, input, read_ahead, offset);
}

int next_record(RecordReader* reader, unsigned char* frame) {
    if (reader->scanning) {
        int scanned = scan(reader);
        if (scanned != 0) return scanned;
    }
    if (!have(reader, FRAME_SIZE)) return -1;
    const unsigned char* record = reader->window + reader->begin;
    reader->record_start = offset_of(*reader, reader->begin);
    if (checksum_ok(record)) {
        std::memcpy(frame, record, FRAME_SIZE);
        reader->begin += FRAME_SIZE;
        return 0;
    }
    // The scan for the next pattern starts at the bad record's second byte.
    count_skipped(reader, 1);
    ++reader->begin;
    reader->scanning = true;
    return 1;
}

int read_record(RecordReader* reader, unsigned char* frame) {
    int result = 1;
    while (result > 0)
        result = next_record(reader, frame);
    return result;
}

int64_t record_offset(const RecordReader& reader) { return reader.record_start; }

void count_skipped(RecordReader* reader, int64_t bytes) {
    int64_t total = reader->skipped + bytes;
    reader->skipped = total > std::numeric_limits<int32_t>::max()
                          ? std::numeric_limits<int32_t>::max()
                          : static_cast<int32_t>(total);
}
