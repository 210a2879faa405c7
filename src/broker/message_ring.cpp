#include "message_ring.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace {

// Copies what a message uses: a record's slot need not move a journal
// line's worth of bytes.
void copy_message(BrokerMessage* to, const BrokerMessage& from) {
    to->kind = from.kind;
    to->sequence = from.sequence;
    to->arrival = from.arrival;
    to->good = from.good;
    to->skipped = from.skipped;
    to->length = std::min(from.length, sizeof to->bytes);
    std::memcpy(to->bytes, from.bytes, to->length);
}

} // namespace

void ring_put(MessageRing* ring, const BrokerMessage& message) {
    bool was_empty = false;
    {
        std::lock_guard<std::mutex> held(ring->guard);
        if (ring->count == RING_SLOTS) {
            ring->first = (ring->first + 1) % RING_SLOTS;
            --ring->count;
            ++ring->dropped;
        }
        copy_message(&ring->waiting[(ring->first + ring->count) % RING_SLOTS], message);
        was_empty = ring->count++ == 0;
    }
    // Once per empty spell: a taker that finds the ring empty clears the
    // signal before it looks again. A full pipe is already a signal.
    if (was_empty && ring->wake >= 0) {
        [[maybe_unused]] ssize_t written = write(ring->wake, "", 1);
    }
}

bool ring_take(MessageRing* ring, BrokerMessage* message) {
    std::lock_guard<std::mutex> held(ring->guard);
    if (ring->count == 0) return false;
    copy_message(message, ring->waiting[ring->first]);
    ring->first = (ring->first + 1) % RING_SLOTS;
    --ring->count;
    return true;
}

size_t ring_count(MessageRing* ring) {
    std::lock_guard<std::mutex> held(ring->guard);
    return ring->count;
}

uint64_t ring_dropped(MessageRing* ring) {
    std::lock_guard<std::mutex> held(ring->guard);
    return ring->dropped;
}

void ring_clear(MessageRing* ring) {
    std::lock_guard<std::mutex> held(ring->guard);
    ring->first = ring->count = 0;
    ring->dropped = 0;
}
