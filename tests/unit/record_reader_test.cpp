#include "record_reader.h"

#include <gtest/gtest.h>

#include "frames.h"

namespace {

// A record that passes the checksum, starting with the sync pattern and
// tagged so the tests can tell records apart. Its checksum is 0xEB90 + tag,
// so a tag of 0 would put a second pattern into its last two bytes.
Frame good(unsigned char tag) { return sealed(frame_with(0, {0xEB, 0x90, 0x00, tag})); }

// A record that fails the checksum; its only 0xEB is byte 0.
Frame bad() { return frame_with(0, {0xEB, 0x90, 0x00, 0x00, 0x01}); }

class RecordReader : public ::testing::Test {
  protected:
    void open(const Bytes& recording) {
        file = file_of(recording);
        set_replay_stream(file);
        start = skipped_bytes();
    }
    void TearDown() override {
        if (file != nullptr) std::fclose(file);
    }
    // Reads one record: its tag, or -1 at the end of the input.
    int next_tag() {
        Frame frame{};
        return read_record(frame.data()) == 0 ? frame[3] : -1;
    }
    int32_t skipped() const { return skipped_bytes() - start; }
    // Reads the first record as if its checksum had failed and resynchronises.
    int resync_after_first_record() {
        Frame frame{};
        if (std::fread(frame.data(), frame.size(), 1, file) != 1) return -1;
        return resync();
    }
    std::FILE* file = nullptr;
    int32_t start = 0;
};

TEST_F(RecordReader, GoodRecordsComeInOrder) {
    Bytes recording;
    append(&recording, good(1));
    append(&recording, sealed(Frame{}));
    append(&recording, good(3));
    open(recording);
    EXPECT_EQ(next_tag(), 1);
    EXPECT_EQ(next_tag(), 0);
    EXPECT_EQ(next_tag(), 3);
    EXPECT_EQ(next_tag(), -1);
    EXPECT_EQ(skipped(), 0);
}

TEST_F(RecordReader, BadRecordIsSkippedToTheNextPattern) {
    Bytes recording;
    append(&recording, good(1));
    append(&recording, bad()); // P = 256
    append(&recording, Bytes{0x11, 0x22, 0x33});
    append(&recording, good(2)); // Q = 515
    open(recording);
    EXPECT_EQ(next_tag(), 1);
    EXPECT_EQ(next_tag(), 2);
    EXPECT_EQ(skipped(), 515 - 256);
    EXPECT_EQ(std::ftell(file), 515 + 256);
}

TEST_F(RecordReader, PatternAtBytesOneAndTwoOfTheBadRecordIsFoundThere) {
    Bytes recording;
    append(&recording, Bytes{0x00});
    append(&recording, good(4)); // read first as a record shifted by one byte
    append(&recording, Bytes(255, 0x00));
    open(recording);
    EXPECT_EQ(next_tag(), 4);
    EXPECT_EQ(skipped(), 1);
}

TEST_F(RecordReader, SecondSyncFirstByteOnlyBreaksThePair) {
    Bytes recording;
    append(&recording, bad());
    append(&recording, Bytes{0x01, 0xEB, 0xEB, 0x90, 0x02}); // no pattern here
    append(&recording, good(5));                             // found at 261
    open(recording);
    EXPECT_EQ(resync_after_first_record(), 0);
    EXPECT_EQ(std::ftell(file), 261);
    EXPECT_EQ(skipped(), 261);
}

TEST_F(RecordReader, ThirdSyncFirstByteStartsTheFoundPattern) {
    Bytes recording;
    append(&recording, bad());
    append(&recording, Bytes{0x01, 0xEB, 0xEB});
    append(&recording, good(6)); // its 0xEB is the third in a row, at 259
    open(recording);
    EXPECT_EQ(resync_after_first_record(), 0);
    EXPECT_EQ(std::ftell(file), 259);
    EXPECT_EQ(next_tag(), 6);
    EXPECT_EQ(skipped(), 259);
}

TEST_F(RecordReader, ThreeBadRecordsInARowAreSkippedInOneRead) {
    Bytes recording;
    for (int i = 0; i < 3; ++i)
        append(&recording, bad());
    append(&recording, good(7));
    open(recording);
    EXPECT_EQ(next_tag(), 7);
    EXPECT_EQ(skipped(), 768);
    EXPECT_EQ(next_tag(), -1);
}

TEST_F(RecordReader, BadRecordEndingInSyncFirstByteHidesTheNextPattern) {
    Frame ends_in_sync_byte = frame_with(0, {0x01});
    ends_in_sync_byte[255] = 0xEB;
    Bytes recording;
    append(&recording, ends_in_sync_byte);
    append(&recording, good(8)); // its 0xEB breaks the pair: passed over
    append(&recording, good(9));
    open(recording);
    EXPECT_EQ(next_tag(), 9);
    EXPECT_EQ(skipped(), 512);
}

TEST_F(RecordReader, NoPatternBeforeTheEndCountsEveryByteToTheEnd) {
    Bytes recording;
    append(&recording, good(1));
    append(&recording, bad()); // P = 256
    append(&recording, Bytes(100, 0x00));
    open(recording);
    EXPECT_EQ(next_tag(), 1);
    EXPECT_EQ(next_tag(), -1);
    EXPECT_EQ(skipped(), 612 - 256);
    EXPECT_EQ(next_tag(), -1);
    EXPECT_EQ(skipped(), 612 - 256);
}

TEST_F(RecordReader, ShortTailIsNeverARecord) {
    Bytes recording;
    for (int i = 1; i <= 3; ++i)
        append(&recording, good(static_cast<unsigned char>(i)));
    append(&recording, Bytes(232, 0x00)); // 1000 bytes in all
    open(recording);
    EXPECT_EQ(next_tag(), 1);
    EXPECT_EQ(next_tag(), 2);
    EXPECT_EQ(next_tag(), 3);
    EXPECT_EQ(next_tag(), -1);
    EXPECT_EQ(skipped(), 0);
}

TEST_F(RecordReader, EmptyFileHasNoRecord) {
    open({});
    EXPECT_EQ(next_tag(), -1);
    EXPECT_EQ(next_tag(), -1);
    EXPECT_EQ(skipped(), 0);
}

TEST_F(RecordReader, ResyncAtTheEndOfTheFileReportsIt) {
    Bytes recording;
    append(&recording, bad());
    open(recording);
    EXPECT_EQ(resync_after_first_record(), 1);
    EXPECT_EQ(skipped(), 256);
}

} // namespace
