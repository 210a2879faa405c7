#include "sim_records.h"

#include <cstdio>

namespace {

constexpr uint64_t FAULT_SEED_MIX = 0xA5A5A5A5A5A5A5A5ull;

} // namespace

Records::Records(const RecordOptions& options, double frame_period_s)
    : random_content_(options.random), spikes_(options.spikes),
      instrument_(options.seed, frame_period_s), random_(options.seed),
      faults_(options.seed ^ FAULT_SEED_MIX, options.faults) {}

const std::vector<unsigned char>& Records::next() {
    unsigned char frame[FRAME_SIZE];
    if (random_content_)
        random_frame(&random_, frame);
    else
        instrument_.next_frame(frame);
    apply_spikes(spikes_, frames_++, frame);
    bytes_.clear();
    FaultTally before = tally_;
    faults_.emit(frame, &bytes_, &tally_);
    last_.junk = tally_.junk_bytes - before.junk_bytes;
    last_.fate = tally_.good > before.good             ? RecordFate::GOOD
                 : tally_.corrupted > before.corrupted ? RecordFate::CORRUPTED
                                                       : RecordFate::DROPPED;
    return bytes_;
}

void report_records(const FaultTally& tally, int64_t undelivered) {
    std::fprintf(stderr, "kxsim: ");
    print_tally(stderr, tally);
    if (undelivered > 0)
        std::fprintf(stderr, "; %lld not delivered (no reader, or one that stopped reading)",
                     static_cast<long long>(undelivered));
    std::fputc('\n', stderr);
}
