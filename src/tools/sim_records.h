// The records kxsim sends, as the line carries them: the instrument's frames
// or random ones, through the faults asked for. The same seed and options
// give the same records to a recording and on a link.
#pragma once

#include <cstdint>
#include <vector>

#include "faults.h"
#include "frame_format.h"
#include "instrument.h"
#include "serial_line.h"
#include "sim_random.h"
#include "sim_spikes.h"

// 256 bytes of 10 bits (8N1) at 19200 baud: the clocks in the frames never
// advance by less.
constexpr double LINE_FRAME_PERIOD_S = FRAME_SIZE * CHARACTER_TIME;

// What the line's faults made of a frame.
enum class RecordFate { GOOD, CORRUPTED, DROPPED };

// The last record's bytes: `junk` bytes of junk, then the record.
struct SentRecord {
    int64_t junk = 0;
    RecordFate fate = RecordFate::GOOD;
};

struct RecordOptions {
    int64_t count = -1;  // how many; -1: the mode's default
    bool random = false; // random frames instead of the instrument's
    uint64_t seed = 1;
    FaultRates faults;
    std::vector<Spike> spikes; // values forced in the instrument's frames
};

class Records {
  public:
    // The clocks in the instrument's frames advance by `frame_period_s`.
    Records(const RecordOptions& options, double frame_period_s);

    // The next record, faults included.
    const std::vector<unsigned char>& next();
    const FaultTally& tally() const { return tally_; }
    // What the last next() returned: where its record starts and its fate,
    // for the journal.
    const SentRecord& last() const { return last_; }

  private:
    bool random_content_;
    std::vector<Spike> spikes_;
    int64_t frames_ = 0; // frames made so far, faults or not: the spikes' numbering
    Instrument instrument_;
    SimRandom random_;
    FaultInjector faults_;
    FaultTally tally_;
    SentRecord last_;
    std::vector<unsigned char> bytes_;
};

// "kxsim: " and the tally on standard error, with the records that found no
// reader when there are any.
void report_records(const FaultTally& tally, int64_t undelivered);
