#include "record_reader.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <utility>

#include "frames.h"

namespace {

// A record that passes the checksum, starting with the sync pattern and
// tagged so the tests can tell records apart. Its checksum is 0xEB90 + tag,
// so a tag of 0 would put a second pattern into its last two bytes.
Frame good(unsigned char tag) { return sealed(frame_with(0, {0xEB, 0x90, 0x00, tag})); }

// A record that fails the checksum; its only 0xEB is byte 0.
Frame bad() { return frame_with(0, {0xEB, 0x90, 0x00, 0x00, 0x01}); }

// A record as the reader gave it: its tag and where it started.
using Found = std::pair<int, int64_t>;

// How far the reader may read ahead: as the replay source reads, a record at
// a time; across record boundaries; as the batch decoder reads, in whole
// blocks.
const size_t READ_AHEADS[] = {0, 300, READ_AHEAD_MAX};

struct Case {
    const char* name;
    Bytes recording;
    std::vector<Found> records;
    int32_t skipped;
};

// clang-format off
const Case CASES[] = {
    {"good records, a record of zero bytes among them", joined(good(1), Frame{}, good(3)),
     {{1, 0}, {0, 256}, {3, 512}}, 0},
    {"bad record skipped to the next pattern",
     joined(good(1), bad(), Bytes{0x11, 0x22, 0x33}, good(2)), {{1, 0}, {2, 515}}, 515 - 256},
    {"pattern at the bad record's bytes 1 and 2", joined(Bytes{0x00}, good(4), Bytes(255, 0x00)),
     {{4, 1}}, 1},
    {"a second 0xEB only breaks the pair",
     joined(bad(), Bytes{0x01, 0xEB, 0xEB, 0x90, 0x02}, good(5)), {{5, 261}}, 261},
    {"a third 0xEB starts the pattern found", joined(bad(), Bytes{0x01, 0xEB, 0xEB}, good(6)),
     {{6, 259}}, 259},
    {"three bad records in a row", joined(bad(), bad(), bad(), good(7)), {{7, 768}}, 768},
    {"bad record ending in 0xEB hides the next pattern",
     joined(Bytes(255, 0x01), Bytes{0xEB}, good(8), good(9)), {{9, 512}}, 512},
    {"no pattern before the end: every byte to the end counts",
     joined(good(1), bad(), Bytes(100, 0x00)), {{1, 0}}, 612 - 256},
    {"input ending in a whole pattern: counted up to it", joined(bad(), Bytes{0x01, 0xEB, 0x90}),
     {}, 257},
    {"input ending in a pattern's first byte", joined(bad(), Bytes{0xEB}), {}, 257},
    // The window still holds the 0x90 of an earlier read one byte past the
    // data: it must not complete the final 0xEB.
    {"a stale 0x90 past the data completes no pattern",
     joined(Bytes{0x00, 0x00, 0x90}, Bytes(253, 0x44), Bytes{0xEB}), {}, 257},
    {"short tail is never a record", joined(good(1), good(2), good(3), Bytes(232, 0x00)),
     {{1, 0}, {2, 256}, {3, 512}}, 0},
    {"bad record alone", joined(bad()), {}, 256},
    {"empty", {}, {}, 0},
};
// clang-format on

RecordReader reader;

// Every record up to the end, and once more past it.
std::vector<Found> read_all() {
    std::vector<Found> found;
    Frame frame{};
    while (read_record(&reader, frame.data()) == 0)
        found.push_back({frame[3], record_offset(reader)});
    if (read_record(&reader, frame.data()) == 0) found.push_back({-1, -1}); // nothing after the end
    return found;
}

} // namespace

TEST(RecordReader, FindsTheRecordsTheirOffsetsAndTheSkippedBytesHoweverFarItReadsAhead) {
    for (size_t read_ahead : READ_AHEADS) {
        for (const Case& c : CASES) {
            SCOPED_TRACE(testing::Message() << read_ahead << ": " << c.name);
            std::FILE* stream = file_of(c.recording);
            start_reading(&reader, stream, read_ahead);
            EXPECT_EQ(read_all(), c.records);
            EXPECT_EQ(reader.skipped, c.skipped);
            EXPECT_EQ(reader.error, 0);
            std::fclose(stream);
        }
    }
    start_reading(&reader, nullptr); // no stream, no record
    EXPECT_EQ(read_all(), std::vector<Found>{});
}

// What replay needs from a pipe whose writer is slow: a record as soon as it
// is in, so no read may ask for a byte beyond it, resynchronisation included.
TEST(RecordReader, AsksAPipeForNoMoreThanTheRecordInHandNeeds) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(fcntl(ends[0], F_SETFL, O_NONBLOCK), 0); // a read of more fails at once
    Bytes recording = joined(bad(), Bytes{0x01}, good(1));
    ASSERT_EQ(write(ends[1], recording.data(), recording.size()),
              static_cast<ssize_t>(recording.size()));
    std::FILE* stream = fdopen(ends[0], "rb");
    ASSERT_NE(stream, nullptr);
    start_reading(&reader, stream);
    Frame frame{};
    EXPECT_EQ(read_record(&reader, frame.data()), 0);
    EXPECT_EQ(frame[3], 1);
    EXPECT_EQ(reader.error, 0);
    std::fclose(stream);
    close(ends[1]);
}
