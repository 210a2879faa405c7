// kxview's session with a broker, publishing a run or viewing one. The
// session lives on libmosquitto's network thread, which connects, reconnects
// by itself after a broker goes, and hands received messages over; kxview's
// own thread meets it only at the ring and at a few flags.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "broker_message.h"
#include "broker_settings.h"
#include "message_ring.h"

struct mosquitto;

enum BrokerRole {
    ROLE_NONE,      // no broker: the run is neither published nor viewed
    ROLE_PUBLISHER, // live: every record and journal line goes out
    ROLE_VIEWER,    // the panel is fed from the broker
};

// What a viewer heard of the publisher's state.
enum PublisherState {
    PUBLISHER_UNHEARD, // nothing yet: none has published under the topic since the broker started
    PUBLISHER_ONLINE,
    PUBLISHER_OFFLINE,
};

// A connection the broker has not answered, for `refusal`.
constexpr int NO_ANSWER = -1;

struct BrokerLink {
    int role = ROLE_NONE;
    mosquitto* session = nullptr;
    std::string topic;         // the run's, under which its sub-topics lie
    std::string frames_topic;  // publisher: TOPIC/frames, made once for every record
    std::string journal_topic; // publisher: TOPIC/journal
    std::string description;   // publisher: the retained run description
    // Publisher: records and journal lines waiting to go out; viewer: those
    // received, waiting to be shown.
    MessageRing ring;
    // Viewer: the pipe's end that turns readable when the ring takes a
    // message while empty (its other end is the ring's `wake`); -1 when none.
    int arrivals = -1;
    std::atomic<bool> connected{false};
    std::atomic<int> refusal{NO_ANSWER}; // the last connection's answer: 0 accepted, else why not
    std::atomic<int> in_flight{0};       // publisher: messages libmosquitto holds, not yet sent
    std::atomic<uint64_t> unsent{0};     // publisher: taken from the ring, refused by the library
    std::atomic<int> publisher_state{PUBLISHER_UNHEARD}; // viewer: as its retained state says
    std::atomic<uint64_t> malformed{0};                  // viewer: frame messages that were not one
    std::mutex answer_guard; // with `answered`: the broker's first answer
    std::condition_variable answered;
    BrokerMessage sending; // publisher, kxview's thread: the message being handed over
};

// Starts the session in the background. Returns false with the reason in
// `why` when it cannot even start (a password or TLS file that fails).
bool start_broker_link(BrokerLink* link, int role, const BrokerSettings& settings,
                       std::string* why);

// Waits at most `seconds` for the broker's answer to the first connection:
// 0 accepted, NO_ANSWER none yet (the session keeps trying), else the
// reason it refused (refusal_text says it).
int wait_for_broker(BrokerLink* link, double seconds);
const char* refusal_text(int reason);

// Viewer: the descriptor that turns readable when a message comes into the
// empty ring, to wait on (-1 when there is none); and clearing it, which a
// taker does on finding the ring empty, before it looks once more.
int arrival_signal(const BrokerLink* link);
void clear_arrival_signal(BrokerLink* link);

// Publisher, on kxview's thread: hands what the ring holds to the library
// while the broker keeps up with it. Waiting messages stay in the ring while
// no broker is there, within its bound.
void send_waiting(BrokerLink* link);

// Ends the session; a publisher first says "offline". Nothing when none.
void stop_broker_link(BrokerLink* link);
