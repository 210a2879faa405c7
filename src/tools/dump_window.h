// Which frames kxdump writes, and when each came: a window given by frame
// numbers (kxdump's own: the good frames, from 0) or by arrival times, and
// each frame's arrival time, looked up in the journal by where it starts.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "journal_reader.h"

// One end of the window, as --from or --to gives it.
struct WindowEnd {
    enum Kind { OPEN, FRAME, TIME } kind = OPEN;
    int64_t value = 0; // the frame number, or microseconds since 1970 UTC
};

// "#N" or an ISO 8601 UTC time; false when it is neither.
bool parse_window_end(std::string_view text, WindowEnd* end);

// Both ends are in the window.
struct FrameWindow {
    WindowEnd from, to;
    // Past this offset no record came by `to`'s time: reading may stop there.
    int64_t last_offset = INT64_MAX;

    bool by_time() const { return from.kind == WindowEnd::TIME || to.kind == WindowEnd::TIME; }
    // Frame `index`, which came at `time` when `timed`, lies in the window.
    // Without its time a frame is in no window of times.
    bool holds(int64_t index, bool timed, int64_t time) const;
    // Frame `index`, starting at `offset`, and every one after it lie past
    // the window's end.
    bool ended(int64_t index, int64_t offset) const {
        return to.kind == WindowEnd::FRAME ? index > to.value : offset > last_offset;
    }
};

// Sets `last_offset` from the journal's records, whose times may go
// backwards after a clock step: the last record that came by `to` counts.
void bound_window(const std::vector<JournalRecord>& records, FrameWindow* window);

// Arrival times of records met at rising offsets, as a recording is read:
// each journal record is passed over once, and nothing is allocated.
class ArrivalCursor {
  public:
    explicit ArrivalCursor(const std::vector<JournalRecord>& records) : records_(&records) {}
    // False when the journal has no record at `offset`.
    bool arrival(int64_t offset, int64_t* time);

  private:
    const std::vector<JournalRecord>* records_;
    size_t next_ = 0; // the first record not passed yet
};
