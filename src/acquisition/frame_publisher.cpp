#include "frame_publisher.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "broker_link.h"
#include "frame_source.h"
#include "kxview_storage.h"

void publish_record(bool good) {
    if (kx.broker.role != ROLE_PUBLISHER) return;
    BrokerMessage& message = kx.publishing;
    message.kind = MESSAGE_FRAME;
    message.sequence = ++kx.sequence;
    message.arrival = kx.arrival;
    message.good = good;
    message.skipped = skipped_bytes();
    message.length = FRAME_SIZE;
    std::memcpy(message.bytes, live_record(), FRAME_SIZE);
    ring_put(&kx.broker.ring, message);
    // Out at once, not after the rest of the frame's turn.
    send_waiting(&kx.broker);
}

void publish_journal_line(const char* line, size_t length) {
    if (kx.broker.role != ROLE_PUBLISHER) return;
    BrokerMessage& message = kx.publishing;
    message.kind = MESSAGE_JOURNAL;
    message.length = std::min(length, sizeof message.bytes);
    std::memcpy(message.bytes, line, message.length);
    ring_put(&kx.broker.ring, message);
}

// Drops are counted over the run: an operator who looks after an outage
// still learns what the viewers missed.
const char* publishing_status(const char* status) {
    BrokerLink& link = kx.broker;
    if (link.role != ROLE_PUBLISHER) return status;
    // The text of an earlier attempt is made afresh, never kept stale.
    if (status == kx.broker_status) status = " ";
    unsigned long long lost = ring_dropped(&link.ring) + link.unsent;
    int refusal = link.refusal;
    char gone[96] = "";
    if (refusal > 0)
        std::snprintf(gone, sizeof gone, "broker refused: %s", refusal_text(refusal));
    else if (!link.connected)
        std::snprintf(gone, sizeof gone, "broker gone: publishing resumes when it is back");
    if (gone[0] == '\0' && lost == 0) return status;
    if (lost == 0)
        std::snprintf(kx.broker_status, sizeof kx.broker_status, "%s", gone);
    else
        std::snprintf(kx.broker_status, sizeof kx.broker_status, "%s%s%llu messages not published",
                      gone, gone[0] == '\0' ? "" : "; ", lost);
    return kx.broker_status;
}
