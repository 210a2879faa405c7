#include "frame_source.h"

#include <algorithm>
#include <cstring>

#include "frame_format.h"
#include "record_reader.h"
#include "runtime.h"
#include "serial_line.h"

namespace {

constexpr double REPLAY_PAUSE = 0.2; // holds replay to five frames a second

// Reads the run's records, from the line or from the recording; its skipped
// count is the one the panel shows.
RecordReader reader;

// What the current live call took off the line, in arrival order. One call
// reads at most a scan of a record's worth of bytes and then a record, so
// this never fills; were it full, the line's bytes would wait in the port.
unsigned char arrivals[3 * FRAME_SIZE];
size_t arrival_count = 0;

// The reader's input when live: whatever comes within the port's time-out.
size_t read_line(RecordReader*, unsigned char* into, size_t count) {
    count = std::min(count, sizeof arrivals - arrival_count);
    int got = ComRd(LINE_PORT, into, static_cast<int>(count));
    if (got <= 0) return 0;
    std::memcpy(arrivals + arrival_count, into, static_cast<size_t>(got));
    arrival_count += static_cast<size_t>(got);
    return static_cast<size_t>(got);
}

} // namespace

void start_frames(int source, std::FILE* recording) {
    if (source == SOURCE_LIVE)
        start_reading_from(&reader, read_line, nullptr);
    else
        start_reading(&reader, recording);
}

int get_frm(unsigned char* frame, int source) {
    switch (source) {
    case SOURCE_LIVE: arrival_count = 0; return next_record(&reader, frame);
    case SOURCE_REPLAY: Delay(REPLAY_PAUSE); return read_record(&reader, frame);
    default: return -1;
    }
}

int live_arrivals(const unsigned char** bytes) {
    *bytes = arrivals;
    return static_cast<int>(arrival_count);
}

int replay_read_error() { return reader.error; }
int32_t skipped_bytes() { return reader.skipped; }
