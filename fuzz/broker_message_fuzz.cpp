// What a viewer takes from a broker, over arbitrary bytes: a frame
// message's payload and its user properties (fields split at NUL bytes: the
// payload, then names and values in turn). Beyond not crashing: a message is
// taken only as a whole record with its number, its checksum judged from its
// bytes; a property read back from what the publisher would write is the
// same; and the ring gives back what it was given.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "broker_address.h"
#include "broker_message.h"
#include "frame_format.h"
#include "fuzz_check.h"
#include "message_ring.h"

namespace {

std::vector<std::string_view> fields_of(const uint8_t* data, size_t size) {
    std::vector<std::string_view> fields;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    for (size_t end = rest.find('\0'); end != std::string_view::npos; end = rest.find('\0')) {
        fields.push_back(rest.substr(0, end));
        rest.remove_prefix(end + 1);
    }
    fields.push_back(rest);
    return fields;
}

// The properties of a message taken, written as the publisher writes them,
// read back into a fresh message, give the same fields.
void check_round_trip(const BrokerMessage& taken) {
    FrameProperties texts;
    format_frame_properties(taken, &texts);
    BrokerMessage again;
    require(read_frame_property(PROPERTY_SEQUENCE, texts.sequence, &again), "sequence rereads");
    require(read_frame_property(PROPERTY_SKIPPED, texts.skipped, &again), "skipped rereads");
    if (texts.time[0] != '\0')
        require(read_frame_property(PROPERTY_TIME, texts.time, &again), "time rereads");
    require(again.sequence == taken.sequence && again.skipped == taken.skipped &&
                again.arrival == taken.arrival,
            "properties survive their texts");
}

MessageRing ring;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string_view> fields = fields_of(data, size);
    BrokerMessage message;
    for (size_t i = 1; i + 1 < fields.size(); i += 2)
        read_frame_property(fields[i], fields[i + 1], &message);
    bool taken = take_frame_payload(fields[0].data(), fields[0].size(), &message);
    require(taken == (fields[0].size() == static_cast<size_t>(FRAME_SIZE) && message.sequence != 0),
            "a message is taken exactly when it is a numbered record");
    BrokerAddress address;
    std::string why;
    if (parse_broker_address(fields[0], &address, &why))
        require(!address.host.empty() && !address.topic.empty(), "an address names both");
    if (!taken) return 0;
    require(message.good == checksum_ok(message.bytes), "the checksum is judged from the bytes");
    require(message.skipped >= 0, "skipped counts are never negative");
    check_round_trip(message);
    ring_put(&ring, message);
    BrokerMessage back;
    require(ring_take(&ring, &back) && back.sequence == message.sequence &&
                std::memcmp(back.bytes, message.bytes, FRAME_SIZE) == 0,
            "the ring gives back what it was given");
    return 0;
}
