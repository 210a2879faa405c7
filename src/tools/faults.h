// Faults on request between the simulated instrument and its recording or
// line: corrupted records, junk bytes between records, dropped bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "sim_random.h"

struct FaultRates {
    double bad = 0.0;  // a record's checksum is broken
    double junk = 0.0; // junk bytes come before a record (not the first)
    double drop = 0.0; // a record loses its tail
};

// What went out, for the closing report.
struct FaultTally {
    int64_t records = 0;
    int64_t good = 0;
    int64_t corrupted = 0;
    int64_t dropped = 0;
    int64_t junk_runs = 0;
    int64_t junk_bytes = 0;
};

// "R records: G good, C corrupted, D dropped; J junk runs, B junk bytes",
// with no line end.
void print_tally(std::FILE* out, const FaultTally& tally);

constexpr int JUNK_MAX = 64;

// Every fault leaves the byte just before the next record other than 0xEB:
// a reader resynchronising there would take it for the first half of the
// pattern, and the next record's own 0xEB would then break the pair and hide
// a good record.
class FaultInjector {
  public:
    FaultInjector(uint64_t seed, const FaultRates& rates) : random_(seed), rates_(rates) {}

    // Appends to `out` what the line carries for one good frame: junk first
    // perhaps, then the record whole, corrupted or shortened. A record is
    // dropped with probability `drop`; one that is not is corrupted with
    // probability `bad`.
    void emit(const unsigned char* frame, std::vector<unsigned char>* out, FaultTally* tally);

  private:
    void emit_junk(std::vector<unsigned char>* out, FaultTally* tally);
    void emit_corrupted(const unsigned char* frame, std::vector<unsigned char>* out);
    void emit_shortened(const unsigned char* frame, std::vector<unsigned char>* out);

    SimRandom random_;
    FaultRates rates_;
};
