// kxview's working storage: everything a run keeps from one frame to the
// next, in one place. The program has one panel, one line and one run, so
// there is one instance, `kx`, for the life of the process; tests start each
// case from a fresh one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "accumulator.h"
#include "broker_link.h"
#include "frame_format.h"
#include "frame_values.h"
#include "journal_reader.h"
#include "record_reader.h"
#include "replay_positions.h"
#include "replay_transport.h"

// The operator's settings: reset at the start of every pass, changed by events.
struct Settings {
    int32_t x_min, x_max; // spectrum x axis, bin positions
    float y_min, y_max;   // spectrum y axis, counts / bin width / frame
    int budget;           // spectrum plots left in this accumulation run
    int accumulate;       // 0 off, > 0 add, < 0 subtract
};

// A frame whose arrival time is not known: a replay without a journal.
constexpr long long NO_TIME = INT64_MIN;

// The hex dump shows a frame as lines of this many bytes.
constexpr int DUMP_LINE_BYTES = 32;

struct KxviewStorage {
    SpectrumStore store; // bin table, counts and frames per mode: the run's spectrum
    Settings settings;   // what the operator set, as in force now
    RecordReader reader; // the run's records, off the line or from the recording;
                         // its skipped count is the one the panel shows
    unsigned char arrivals[3 * FRAME_SIZE]; // what the current live call took off the line:
    size_t arrival_count;                   // at most a scan and a record, so never full
    unsigned char frame[FRAME_SIZE];        // the frame in hand
    FrameValues values;                     // its fields, decoded
    float plot[CHANNEL_COUNT];              // the spectrum as last plotted, normalised
    std::FILE* raw_log;            // live: where every byte off the line goes; replay: null
    int64_t logged;                // bytes the raw log holds: the offset of the next byte
    bool log_failing;              // the raw log's last write failed
    std::FILE* journal;            // live: the raw log's journal (null: none); replay: null
    bool journal_failing;          // its last write failed (said once on standard error)
    bool line_quiet;               // the last live read timed out (the journal says when that ends)
    long long arrival = NO_TIME;   // when the frame in hand came (UtcMicroseconds()), or NO_TIME
    JournalReading replay_journal; // replay: the recording's journal, when it has one
    size_t replay_events_passed;   // how many of its events the replay has gone past
    ReplayPositions positions;     // replay: where the recording's good records lie
    ReplayTransport transport;     // replay: where it stands and how it plays
    bool raw_log_unsynced;         // bytes handed to the system, not yet to the disk
    double raw_log_synced_at = -std::numeric_limits<double>::infinity(); // Timer() of the last sync
    const char* status = " "; // what the status line shows after this frame attempt
    // The frame in hex: a line of 2 * DUMP_LINE_BYTES digits for every
    // DUMP_LINE_BYTES bytes, each preceded by a newline.
    char dump[FRAME_SIZE / DUMP_LINE_BYTES * (1 + 2 * DUMP_LINE_BYTES) + 1];
    BrokerLink broker;        // publishing or viewing: the session with the broker (else role NONE)
    BrokerMessage publishing; // the message being put into its ring, or taken from it
    uint64_t sequence;        // publisher: records numbered so far; viewer: the last received
    uint64_t lost;            // viewer: records the sequence numbers say never came
    int64_t broker_offset;    // viewer: where the record in hand starts in its --log copy
    long long broker_arrival = NO_TIME; // viewer: when that record came to the publisher
    bool broker_seen = true;            // viewer: the broker connected, as last journalled
    bool publisher_seen = true;         // viewer: the publisher online, as last journalled
    char broker_status[160];            // the status line's text about the broker
};

extern KxviewStorage kx;

// Makes `kx` a fresh instance: nothing read, logged or set.
void fresh_storage();
