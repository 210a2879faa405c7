// kxview's working storage: everything a run keeps from one frame to the
// next, in one place. The program has one panel, one line and one run, so
// there is one instance, `kx`, for the life of the process; tests start each
// case from a fresh one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <sys/types.h>
#include <vector>

#include "accumulator.h"
#include "broker_link.h"
#include "frame_format.h"
#include "frame_values.h"
#include "journal_reader.h"
#include "limit_state.h"
#include "limit_values.h"
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

// Values with a field of their own (words, scaled words, tenths, counters)
// are numbered first among the watched values.
constexpr int LIMIT_FIELDS = WATCHED_RATES;
// Strip-chart traces a limit can be drawn on: the rates', then the group
// chart's, one per part of a group, every group in turn.
constexpr int GROUP_PARTS = GROUP_VALUE_COUNT / GROUP_COUNT;
constexpr int LIMIT_TRACES = RATE_COUNT + GROUP_PARTS;
// The alarm list's columns: value, state, worst, first, last, excursions.
constexpr int ALARM_CELLS = 6;
constexpr size_t ALARM_CELL_BYTES = 96;

// The version of a file that was read: another is read again.
struct FileIdentity {
    bool present = false; // the file was there
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modified_ns = 0; // its last change, in nanoseconds
    bool operator==(const FileIdentity&) const = default;
};

// The limits on the frames' values, and what the panel shows of them.
struct AlarmStorage {
    Limits limits;                    // in force, with how each stands
    std::vector<LimitChange> changes; // a frame's state changes: room for every limit
    int out_of_range = 0;             // limits whose state is not "in range"
    std::vector<int> rows;            // the limit each row of the alarm list shows
    bool list_stale = false;          // the list lags behind the statuses
    double list_written_at = -std::numeric_limits<double>::infinity(); // Timer() then
    int title_count = 0;                    // the unacknowledged alarms the title counts
    std::string window_name;                // the title's first part: the recording's name or COM1
    uint8_t field_shown[LIMIT_FIELDS] = {}; // the LimitShow each value field was given last
    LimitRule trace_lines[LIMIT_TRACES];    // the limits drawn on each trace (infinities: none)
    bool bell = false;                      // --bell: the bell rings at a new red
    std::string path;           // the limits file found, or the name one would get if made
    FileIdentity read_identity; // the file's version last read, good or bad
    double checked_at = 0.0;    // Timer() when the file was last looked at
    // While the file on disk is not the one in force: its first problem and
    // what that means, for the status line; else empty.
    std::string problem;
    char cells[ALARM_CELLS][ALARM_CELL_BYTES]; // a row of the alarm list being written
};

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
    AlarmStorage alarms;      // the limits and the alarms they raised
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
