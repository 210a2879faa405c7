// What kxview reads of a broker before it connects and from what it
// receives: the address on the command line, a frame message's properties
// and payload, and the ring that drops its oldest message when full.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "broker_address.h"
#include "broker_message.h"
#include "frame_format.h"
#include "message_ring.h"

TEST(BrokerAddress, TakesHostPortAndTopicAndSaysWhatIsWrong) {
    struct Case {
        const char* text;
        const char* host; // null: refused, with `why`
        int port;
        const char* topic;
        const char* why;
    };
    const Case cases[] = {
        {"mqtt://broker.lab/bench1", "broker.lab", 0, "bench1", ""},
        {"mqtt://127.0.0.1:18831/lab/bench/1", "127.0.0.1", 18831, "lab/bench/1", ""},
        {"mqtt://broker.lab:0/t", nullptr, 0, "", "the port is not a number from 1 to 65535"},
        {"mqtt://broker.lab:65536/t", nullptr, 0, "", "the port is not a number from 1 to 65535"},
        {"mqtt://broker.lab:x/t", nullptr, 0, "", "the port is not a number from 1 to 65535"},
        {"mqtt://:1883/t", nullptr, 0, "", "no host: expected mqtt://HOST[:PORT]/TOPIC"},
        {"mqtt://broker.lab", nullptr, 0, "", "no topic: expected mqtt://HOST[:PORT]/TOPIC"},
        {"mqtt://broker.lab/t/", nullptr, 0, "", "no topic: expected mqtt://HOST[:PORT]/TOPIC"},
        {"mqtt://broker.lab/t/#", nullptr, 0, "", "a topic cannot hold +, # or a NUL"},
        {"mqtt://broker.lab/+/t", nullptr, 0, "", "a topic cannot hold +, # or a NUL"},
        {"mqtts://broker.lab/t", nullptr, 0, "", "expected mqtt://HOST[:PORT]/TOPIC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        BrokerAddress address;
        std::string why;
        EXPECT_EQ(parse_broker_address(c.text, &address, &why), c.host != nullptr);
        EXPECT_EQ(why, c.why);
        if (c.host == nullptr) continue;
        EXPECT_EQ(address.host, c.host);
        EXPECT_EQ(address.port, c.port);
        EXPECT_EQ(address.topic, c.topic);
    }
}

// The publisher's texts read back as the same fields; a value that is not
// one leaves its field alone; an unknown name is passed over.
TEST(BrokerMessage, PropertiesReadBackAsWrittenAndBadValuesLeaveTheFieldAlone) {
    BrokerMessage sent;
    sent.sequence = 18446744073709551615u;
    sent.arrival = 1796654096123456;
    sent.skipped = 2147483647;
    sent.good = false;
    FrameProperties texts;
    format_frame_properties(sent, &texts);
    EXPECT_STREQ(texts.sequence, "18446744073709551615");
    EXPECT_STREQ(texts.time, "2026-12-07T14:34:56.123456Z");
    EXPECT_STREQ(texts.skipped, "2147483647");
    EXPECT_STREQ(texts.checksum, "bad");
    BrokerMessage read;
    EXPECT_TRUE(read_frame_property(PROPERTY_SEQUENCE, texts.sequence, &read));
    EXPECT_TRUE(read_frame_property(PROPERTY_TIME, texts.time, &read));
    EXPECT_TRUE(read_frame_property(PROPERTY_SKIPPED, texts.skipped, &read));
    EXPECT_TRUE(read_frame_property(PROPERTY_CHECKSUM, texts.checksum, &read));
    EXPECT_TRUE(read_frame_property("added-later", "anything", &read));
    EXPECT_EQ(read.sequence, sent.sequence);
    EXPECT_EQ(read.arrival, sent.arrival);
    EXPECT_EQ(read.skipped, sent.skipped);
    const std::pair<std::string_view, std::string_view> bad[] = {
        {PROPERTY_SEQUENCE, "0"},
        {PROPERTY_SEQUENCE, "-1"},
        {PROPERTY_SEQUENCE, "18446744073709551616"},
        {PROPERTY_SEQUENCE, "12x"},
        {PROPERTY_TIME, "yesterday"},
        {PROPERTY_SKIPPED, "-5"},
        {PROPERTY_SKIPPED, "2147483648"},
        {PROPERTY_CHECKSUM, "fine"},
    };
    for (const auto& [name, value] : bad) {
        SCOPED_TRACE(std::string(name) + "=" + std::string(value));
        EXPECT_FALSE(read_frame_property(name, value, &read));
    }
    EXPECT_EQ(read.sequence, sent.sequence);
    EXPECT_EQ(read.arrival, sent.arrival);
    EXPECT_EQ(read.skipped, sent.skipped);
}

// Only a numbered record is taken, and its checksum is the viewer's own
// judgement of its bytes, whatever the publisher said.
TEST(BrokerMessage, APayloadIsTakenOnlyAsANumberedRecord) {
    unsigned char record[FRAME_SIZE] = {0xEB, 0x90};
    BrokerMessage unnumbered;
    EXPECT_FALSE(take_frame_payload(record, FRAME_SIZE, &unnumbered));
    BrokerMessage numbered;
    numbered.sequence = 7;
    EXPECT_FALSE(take_frame_payload(record, FRAME_SIZE - 1, &numbered));
    EXPECT_FALSE(take_frame_payload(record, FRAME_SIZE + 1, &numbered));
    numbered.good = true;
    ASSERT_TRUE(take_frame_payload(record, FRAME_SIZE, &numbered));
    EXPECT_EQ(numbered.good, checksum_ok(record));
    EXPECT_EQ(numbered.length, static_cast<size_t>(FRAME_SIZE));
    EXPECT_EQ(std::memcmp(numbered.bytes, record, FRAME_SIZE), 0);
}

// A full ring makes room by dropping its oldest, and counts each.
TEST(MessageRing, AFullRingDropsItsOldestAndCountsThem) {
    static MessageRing ring;
    BrokerMessage message;
    message.length = 1;
    const size_t put = RING_SLOTS + 5;
    for (size_t i = 1; i <= put; ++i) {
        message.sequence = i;
        message.bytes[0] = static_cast<unsigned char>(i);
        ring_put(&ring, message);
    }
    EXPECT_EQ(ring_dropped(&ring), 5u);
    BrokerMessage taken;
    for (size_t i = 6; i <= put; ++i) {
        ASSERT_TRUE(ring_take(&ring, &taken));
        EXPECT_EQ(taken.sequence, i);
        EXPECT_EQ(taken.bytes[0], static_cast<unsigned char>(i));
    }
    EXPECT_FALSE(ring_take(&ring, &taken));
    ring_clear(&ring);
    EXPECT_EQ(ring_dropped(&ring), 0u);
}

// A taker that finds the ring empty waits on its wake pipe: each message
// that comes into the empty ring signals once, one that joins others not.
TEST(MessageRing, AMessageIntoTheEmptyRingSignalsItsTaker) {
    static MessageRing ring;
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_NONBLOCK), 0);
    ring.wake = ends[1];
    auto signals = [&] {
        char read_back[8];
        ssize_t count = read(ends[0], read_back, sizeof read_back);
        return count < 0 ? 0 : static_cast<int>(count);
    };
    BrokerMessage message;
    message.length = 1;
    BrokerMessage taken;
    for (int spell = 0; spell < 2; ++spell) {
        for (int i = 0; i < 3; ++i)
            ring_put(&ring, message);
        EXPECT_EQ(signals(), 1);
        while (ring_take(&ring, &taken)) {
        }
        EXPECT_EQ(signals(), 0);
    }
    ring.wake = -1;
    close(ends[0]);
    close(ends[1]);
}
