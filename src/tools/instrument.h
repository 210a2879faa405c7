// A simulated instrument: frames that look like the real one's, each byte of
// the layout carrying something plausible, with a correct checksum.
#pragma once

#include <cstdint>

#include "accumulator.h"
#include "frame_format.h"
#include "sim_random.h"

// A quantity that wanders slowly around its nominal value, as temperatures
// and supply voltages do (a mean-reverting random walk).
struct Drift {
    double nominal;
    double spread;   // standard deviation around nominal, in the same units
    double settle_s; // how long a deviation takes to fade, in seconds
    double value;
};

constexpr int HOUSEKEEPING_COUNT = 5;
constexpr int SCALED_WORD_COUNT = 3;

class Instrument {
  public:
    // The clocks in the frames advance by `frame_period_s` per frame.
    Instrument(uint64_t seed, double frame_period_s);

    // Writes the next frame, checksum included. Modes cycle 0, 1, 2, 3.
    void next_frame(unsigned char* frame);

  private:
    void advance();
    void write_header(unsigned char* frame) const;
    void write_counter(unsigned char* frame) const;
    void write_housekeeping(unsigned char* frame);
    void write_rates(unsigned char* frame);
    void write_groups(unsigned char* frame);
    void write_spectrum(unsigned char* frame);
    int mode() const { return static_cast<int>(sequence_ % MODE_COUNT); }

    SimRandom random_;
    double period_s_;
    uint64_t sequence_ = 0; // frames sent so far
    int64_t day_start_ms_;  // time of day of the first frame
    int64_t uptime_start_ms_;
    uint32_t spin_start_; // spin phase as a binary angle (2^32 per turn)
    uint32_t spin_step_;  // per frame
    Drift elevation_;     // degrees
    Drift flux_;          // relative particle flux, about 1
    Drift housekeeping_[HOUSEKEEPING_COUNT];
    Drift fine_[SCALED_WORD_COUNT];       // modes 0 and 2: volts x 10000
    Drift tenth_[SCALED_WORD_COUNT];      // modes 1 and 3: degrees Celsius x 10
    double spectrum_mean_[CHANNEL_COUNT]; // expected counts per frame at flux 1
};

// Writes `count` 12-bit values as packed pairs, the inverse of unpack.
void pack(const int* values, unsigned char* destination, int count);

// Random bytes after the sync pattern, with a checksum that holds, so that a
// reader takes every frame: the busiest traces a display can be asked to draw.
void random_frame(SimRandom* random, unsigned char* frame);
