// The recording reader over arbitrary bytes. Beyond not crashing: each record
// passes the checksum and is the input's bytes at its offset, offsets rise,
// every byte before a record is in an earlier record or counted as skipped,
// the input ends within a bounded number of calls, and the read-ahead never
// changes what is read.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "frame_format.h"
#include "fuzz_check.h"
#include "record_reader.h"

namespace {

RecordReader reader;

struct Record {
    int64_t offset;
    int32_t skipped; // skipped bytes counted up to this record
};

// Every record of `data` read with `read_ahead`, each checked as it comes.
std::vector<Record> read_all(const uint8_t* data, size_t size, size_t read_ahead) {
    std::vector<uint8_t> copy(data, data + size); // fmemopen wants a writable buffer
    std::FILE* stream = size > 0 ? fmemopen(copy.data(), size, "rb") : nullptr;
    start_reading(&reader, stream, read_ahead);
    std::vector<Record> records;
    unsigned char frame[FRAME_SIZE];
    int64_t consumed = 0; // bytes in records returned so far
    while (read_record(&reader, frame) == 0) {
        require(records.size() < size / FRAME_SIZE + 2, "reading ends within input/256 + 2 calls");
        Record r{record_offset(reader), reader.skipped};
        require(checksum_ok(frame), "a record passes the checksum");
        require(r.offset >= 0 && r.offset + FRAME_SIZE <= static_cast<int64_t>(size),
                "a record lies within the input");
        require(std::memcmp(frame, data + r.offset, FRAME_SIZE) == 0,
                "a record is the input's bytes at its offset");
        require(records.empty() || r.offset >= records.back().offset + FRAME_SIZE,
                "records follow each other without overlap");
        require(records.empty() || r.skipped >= records.back().skipped,
                "the skipped count never decreases");
        require(r.skipped == r.offset - consumed,
                "bytes before a record are in earlier records or skipped");
        consumed += FRAME_SIZE;
        records.push_back(r);
    }
    int64_t accounted = consumed + reader.skipped;
    require(accounted <= static_cast<int64_t>(size), "never more skipped than consumed");
    require(static_cast<int64_t>(size) - accounted < FRAME_SIZE,
            "only a tail shorter than a record is left uncounted");
    require(reader.error == 0, "reading memory never fails");
    require(read_record(&reader, frame) == -1, "an ended input stays ended");
    if (stream != nullptr) std::fclose(stream);
    return records;
}

bool same(const std::vector<Record>& a, const std::vector<Record>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].offset != b[i].offset || a[i].skipped != b[i].skipped) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<Record> unbuffered = read_all(data, size, 0);
    // The read-ahead comes from the input's first bytes, so the fuzzer steers
    // window boundaries across records and patterns.
    size_t read_ahead = size >= 2 ? (size_t{data[0]} << 8 | data[1]) % (3 * FRAME_SIZE) + 1 : 1;
    require(same(unbuffered, read_all(data, size, read_ahead)),
            "the read-ahead does not change records, offsets or skipped counts");
    return 0;
}
