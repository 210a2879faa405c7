// The bounded queue between kxview's own thread and libmosquitto's network
// thread, one each way: the frame path puts what is to be published, the
// network thread what a viewer received. Its slots are set aside once, so
// putting allocates nothing; when the other side falls behind (a broker
// down or slow, a viewer's panel busy), the oldest message makes room and is
// counted. The lock is held for a copy only, so neither side waits long.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "broker_message.h"

// A viewer's panel flooded by a fast line falls behind for a moment now and
// then (the copy's sync to the disk, another program on the core): a third
// of a second of records at 11,000 a second rides it out. Nine minutes of
// records at the line's pace, for a publisher without its broker.
constexpr size_t RING_SLOTS = 4096;

struct MessageRing {
    std::mutex guard;
    // Written a byte when a message comes into an empty ring, so that a
    // taker waiting on its other end wakes at once (-1: none waits).
    int wake = -1;
    size_t first = 0;                  // the oldest message's slot
    size_t count = 0;                  // messages waiting
    uint64_t dropped = 0;              // oldest messages overwritten by newer ones, over the run
    BrokerMessage waiting[RING_SLOTS]; // a message per slot
};

// Puts a copy of `message` (its first `message.length` bytes) at the end,
// in place of the oldest one when the ring is full.
void ring_put(MessageRing* ring, const BrokerMessage& message);

// Takes the oldest message into `message`; false when none waits.
bool ring_take(MessageRing* ring, BrokerMessage* message);

// How many messages wait now.
size_t ring_count(MessageRing* ring);

// How many messages were dropped to make room, over the run.
uint64_t ring_dropped(MessageRing* ring);

// Empties the ring, its count of drops included.
void ring_clear(MessageRing* ring);
