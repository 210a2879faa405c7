// What a publishing kxview sends under its run's TOPIC (MQTT v5), and what a
// viewer takes back:
//
//   TOPIC/frames   every record read off the line, good or bad: its 256 bytes
//                  and nothing else, so that the payloads one after another
//                  are a recording (mosquitto_sub -N ... | kxdump -). What
//                  else a record carries rides in MQTT v5 user properties:
//                    seq       its number in the run, from 1, every record
//                              counted, so a gap is records lost on the way
//                    time      its arrival, as the journal writes it (UTC)
//                    checksum  good or bad
//                    skipped   the bytes the publisher had passed over so far
//   TOPIC/journal  the run's events and notes, each a line of the journal
//                  (journal_format.h)
//   TOPIC/run      retained: which program publishes, since when, from what
//   TOPIC/state    retained: "online", or "offline" once the publisher has
//                  quit or its connection is gone (the broker says so for it)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "journal_format.h"

constexpr std::string_view FRAMES_TOPIC = "/frames";
constexpr std::string_view JOURNAL_TOPIC = "/journal";
constexpr std::string_view RUN_TOPIC = "/run";
constexpr std::string_view STATE_TOPIC = "/state";
constexpr std::string_view STATE_ONLINE = "online";
constexpr std::string_view STATE_OFFLINE = "offline";

constexpr std::string_view PROPERTY_SEQUENCE = "seq";
constexpr std::string_view PROPERTY_TIME = "time";
constexpr std::string_view PROPERTY_CHECKSUM = "checksum";
constexpr std::string_view PROPERTY_SKIPPED = "skipped";

enum MessageKind {
    MESSAGE_FRAME,   // a record of FRAME_SIZE bytes
    MESSAGE_JOURNAL, // a journal line
};

// A message's room: the longest is a journal line.
constexpr size_t MESSAGE_BYTES = JOURNAL_LINE_BYTES;
// "Not known", for a frame without its arrival time.
constexpr int64_t NO_ARRIVAL = INT64_MIN;

// One message on its way, in either direction.
struct BrokerMessage {
    int kind = MESSAGE_FRAME;
    uint64_t sequence = 0;        // frames: from 1; 0 when not given
    int64_t arrival = NO_ARRIVAL; // frames: microseconds since 1970 UTC
    bool good = false;            // frames: passed the checksum
    int32_t skipped = 0;          // frames: the publisher's skipped count
    size_t length = 0;            // bytes used in `bytes`
    unsigned char bytes[MESSAGE_BYTES];
};

// The user properties of a frame message, as texts, for the publisher.
struct FrameProperties {
    char sequence[24];
    char time[UTC_TEXT_BYTES];
    char skipped[16];
    const char* checksum;
};
void format_frame_properties(const BrokerMessage& message, FrameProperties* properties);

// Takes one user property of a frame message into `message`. A name it does
// not know is passed over (a later publisher may add some); a known one with
// a value that is not one leaves the field as it was. Returns false then.
bool read_frame_property(std::string_view name, std::string_view value, BrokerMessage* message);

// A frame message as a viewer receives it: `payload` must be a record's
// size and the properties must have given it a sequence number. Then copies
// the bytes in, judges the checksum itself (the property is for scripts) and
// returns true.
bool take_frame_payload(const void* payload, size_t length, BrokerMessage* message);
