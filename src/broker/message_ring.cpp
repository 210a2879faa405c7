#include "message_ring.h"

#include <algorithm>
#include <cstring>

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
    std::lock_guard<std::mutex> held(ring->guard);
    if (ring->count == RING_SLOTS) {
        ring->first = (ring->first + 1) % RING_SLOTS;
        --ring->count;
        ++ring->dropped;
    }
    copy_message(&ring->waiting[(ring->first + ring->count) % RING_SLOTS], message);
    ++ring->count;
}

bool ring_take(MessageRing* ring, BrokerMessage* message) {
    std::lock_guard<std::mutex> held(ring->guard);
    if (ring->count == 0) return false;
    copy_message(message, ring->waiting[ring->first]);
    ring->first = (ring->first + 1) % RING_SLOTS;
    --ring->count;
    return true;
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
