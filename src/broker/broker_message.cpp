#include "broker_message.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "frame_format.h"

void format_frame_properties(const BrokerMessage& message, FrameProperties* properties) {
    std::snprintf(properties->sequence, sizeof properties->sequence, "%llu",
                  static_cast<unsigned long long>(message.sequence));
    properties->time[0] = '\0';
    if (message.arrival != NO_ARRIVAL) format_utc(message.arrival, properties->time);
    std::snprintf(properties->skipped, sizeof properties->skipped, "%ld",
                  static_cast<long>(message.skipped));
    properties->checksum = message.good ? "good" : "bad";
}

namespace {

template <typename T> bool whole_number(std::string_view text, T* value) {
    T read{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), read);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return false;
    *value = read;
    return true;
}

} // namespace

bool read_frame_property(std::string_view name, std::string_view value, BrokerMessage* message) {
    if (name == PROPERTY_SEQUENCE) {
        uint64_t sequence = 0;
        if (!whole_number(value, &sequence) || sequence == 0) return false;
        message->sequence = sequence;
        return true;
    }
    if (name == PROPERTY_TIME) {
        int64_t arrival = 0;
        if (!parse_utc(value, &arrival)) return false;
        message->arrival = arrival;
        return true;
    }
    if (name == PROPERTY_SKIPPED) {
        int32_t skipped = 0;
        if (!whole_number(value, &skipped) || skipped < 0) return false;
        message->skipped = skipped;
        return true;
    }
    if (name == PROPERTY_CHECKSUM) return value == "good" || value == "bad";
    return true;
}

bool take_frame_payload(const void* payload, size_t length, BrokerMessage* message) {
    if (length != static_cast<size_t>(FRAME_SIZE) || message->sequence == 0) return false;
    message->kind = MESSAGE_FRAME;
    std::memcpy(message->bytes, payload, FRAME_SIZE);
    message->length = FRAME_SIZE;
    message->good = checksum_ok(message->bytes);
    return true;
}
