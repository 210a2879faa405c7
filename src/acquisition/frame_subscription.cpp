#include "frame_subscription.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "broker_link.h"
#include "frame_format.h"
#include "journal_format.h"
#include "kxview_storage.h"
#include "replay_transport.h"
#include "run_journal.h"
#include "runtime.h"

namespace {

// A message that comes ends the wait at once, so this bounds only how late
// an idle viewer answers the operator and updates its status line.
constexpr double WAIT_INTERVAL = 0.05;

// A number below the last one is a new run of the publisher: counted afresh.
void count_lost(uint64_t sequence) {
    if (kx.sequence != 0 && sequence > kx.sequence + 1) {
        uint64_t missed = sequence - kx.sequence - 1;
        kx.lost += missed;
        journal_event("lost", std::to_string(missed));
    }
    kx.sequence = sequence;
}

// The publisher's notes go into the viewer's journal as notes of its own.
void take_journal_line(const BrokerMessage& message) {
    std::string_view line(reinterpret_cast<const char*>(message.bytes), message.length);
    // time, offset, kind, text: the kind is the third field.
    size_t kind_at = line.find('\t', line.find('\t') + 1);
    if (kind_at == std::string_view::npos) return;
    std::string_view rest = line.substr(kind_at + 1);
    if (!rest.starts_with(std::string(KIND_NOTE) + "\t")) return;
    std::string_view note = rest.substr(KIND_NOTE.size() + 1);
    if (note.ends_with('\n')) note.remove_suffix(1);
    journal_event(KIND_NOTE, note);
}

// The journal says when the broker and the publisher go and come back; a
// publisher not heard of yet has not gone.
void journal_changes() {
    bool broker = kx.broker.connected;
    int state = kx.broker.publisher_state;
    bool publisher = state != PUBLISHER_OFFLINE;
    if (broker != kx.broker_seen) journal_event(broker ? "broker-back" : "broker-gone", "");
    if (broker && publisher != kx.publisher_seen)
        journal_event(publisher ? "publisher-back" : "publisher-gone", "");
    kx.broker_seen = broker;
    if (broker) kx.publisher_seen = publisher;
}

// The oldest record received into `frame`, as broker_frame says; the
// publisher's journal lines before it are taken on the way.
int take_received(unsigned char* frame, BrokerMessage& message) {
    while (ring_take(&kx.broker.ring, &message)) {
        if (message.kind == MESSAGE_JOURNAL) {
            take_journal_line(message);
            continue;
        }
        count_lost(message.sequence);
        std::memcpy(frame, message.bytes, FRAME_SIZE);
        // What a live run logs off the line, the viewer logs as received.
        std::memcpy(kx.arrivals, message.bytes, FRAME_SIZE);
        kx.arrival_count = FRAME_SIZE;
        kx.broker_offset = kx.logged;
        kx.broker_arrival = message.arrival;
        kx.reader.skipped = message.skipped;
        return message.good ? 0 : 1;
    }
    return FRAME_LATER;
}

} // namespace

int broker_frame(unsigned char* frame) {
    BrokerMessage& message = kx.publishing;
    kx.arrival_count = 0;
    journal_changes();
    // A message put between finding the ring empty and clearing its signal
    // is found by the second look; one put after it signals again.
    for (int look = 0; look < 2; ++look) {
        if (look == 1) clear_arrival_signal(&kx.broker);
        int result = take_received(frame, message);
        if (result != FRAME_LATER) return result;
    }
    DelayUntilReadable(arrival_signal(&kx.broker), WAIT_INTERVAL);
    return FRAME_LATER;
}

int frames_received() { return static_cast<int>(ring_count(&kx.broker.ring)); }

int64_t broker_frame_offset() { return kx.broker_offset; }
long long broker_frame_arrival() { return kx.broker_arrival; }

const char* viewing_status(const char* status) {
    // The text of an earlier attempt is made afresh, never kept stale.
    if (status == kx.broker_status) status = " ";
    bool unheard = kx.broker.publisher_state == PUBLISHER_UNHEARD;
    const char* gone = !kx.broker_seen      ? "broker gone: reconnecting"
                       : !kx.publisher_seen ? "publisher gone"
                       : unheard            ? "waiting for the publisher"
                                            : nullptr;
    unsigned long long lost = kx.lost;
    if (gone == nullptr && lost == 0) return status;
    if (gone == nullptr)
        std::snprintf(kx.broker_status, sizeof kx.broker_status, "%llu records lost on the way",
                      lost);
    else if (lost == 0)
        std::snprintf(kx.broker_status, sizeof kx.broker_status, "%s", gone);
    else
        std::snprintf(kx.broker_status, sizeof kx.broker_status, "%s; %llu records lost on the way",
                      gone, lost);
    return kx.broker_status;
}
