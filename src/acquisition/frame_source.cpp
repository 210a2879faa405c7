#include "frame_source.h"

#include <algorithm>
#include <cstring>

#include "frame_format.h"
#include "frame_subscription.h"
#include "kxview_storage.h"
#include "record_reader.h"
#include "replay_transport.h"
#include "runtime.h"
#include "serial_line.h"

namespace {

// The reader's input when live: whatever comes within the port's time-out.
size_t read_line(RecordReader*, unsigned char* into, size_t count) {
    count = std::min(count, sizeof kx.arrivals - kx.arrival_count);
    int got = ComRd(LINE_PORT, into, static_cast<int>(count));
    if (got <= 0) return 0;
    std::memcpy(kx.arrivals + kx.arrival_count, into, static_cast<size_t>(got));
    kx.arrival_count += static_cast<size_t>(got);
    return static_cast<size_t>(got);
}

} // namespace

void start_frames(int source, std::FILE* recording) {
    if (source == SOURCE_LIVE)
        start_reading_from(&kx.reader, read_line, nullptr);
    else if (source == SOURCE_REPLAY)
        start_replay(recording);
}

int get_frm(unsigned char* frame, int source) {
    switch (source) {
    case SOURCE_LIVE: kx.arrival_count = 0; return next_record(&kx.reader, frame);
    case SOURCE_REPLAY: return replay_frame(frame);
    case SOURCE_BROKER: return broker_frame(frame);
    default: return -1;
    }
}

int live_arrivals(const unsigned char** bytes) {
    *bytes = kx.arrivals;
    return static_cast<int>(kx.arrival_count);
}

int64_t frame_offset() {
    return kx.broker.role == ROLE_VIEWER ? broker_frame_offset() : record_offset(kx.reader);
}
// The reader keeps a bad record in its window until its bytes are scanned.
const unsigned char* live_record() {
    return kx.reader.window + (kx.reader.record_start - kx.reader.window_offset);
}

int replay_read_error() { return kx.reader.error; }
int32_t skipped_bytes() { return kx.reader.skipped; }
