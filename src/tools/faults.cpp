#include "faults.h"

#include <cstddef>

#include "frame_format.h"

void print_tally(std::FILE* out, const FaultTally& tally) {
    std::fprintf(
        out,
        "%lld records: %lld good, %lld corrupted, %lld dropped; %lld junk runs, %lld junk bytes",
        static_cast<long long>(tally.records), static_cast<long long>(tally.good),
        static_cast<long long>(tally.corrupted), static_cast<long long>(tally.dropped),
        static_cast<long long>(tally.junk_runs), static_cast<long long>(tally.junk_bytes));
}

void FaultInjector::emit(const unsigned char* frame, std::vector<unsigned char>* out,
                         FaultTally* tally) {
    if (tally->records > 0 && random_.chance(rates_.junk)) emit_junk(out, tally);
    ++tally->records;
    if (random_.chance(rates_.drop)) {
        emit_shortened(frame, out);
        ++tally->dropped;
    } else if (random_.chance(rates_.bad)) {
        emit_corrupted(frame, out);
        ++tally->corrupted;
    } else {
        out->insert(out->end(), frame, frame + FRAME_SIZE);
        ++tally->good;
    }
}

void FaultInjector::emit_junk(std::vector<unsigned char>* out, FaultTally* tally) {
    int length = random_.between(1, JUNK_MAX);
    for (int i = 0; i < length; ++i)
        out->push_back(static_cast<unsigned char>(random_.next()));
    if (out->back() == SYNC_FIRST) out->back() ^= 1;
    ++tally->junk_runs;
    tally->junk_bytes += length;
}

// One byte flipped: any change to one byte changes either the sum or the
// stored checksum, never both.
void FaultInjector::emit_corrupted(const unsigned char* frame, std::vector<unsigned char>* out) {
    std::size_t start = out->size();
    out->insert(out->end(), frame, frame + FRAME_SIZE);
    int last = FRAME_SIZE - 1;
    int position = frame[last] == SYNC_FIRST ? last : random_.between(0, last);
    (*out)[start + position] ^= static_cast<unsigned char>(random_.between(1, 255));
}

void FaultInjector::emit_shortened(const unsigned char* frame, std::vector<unsigned char>* out) {
    int kept = random_.between(2, FRAME_SIZE - 1);
    while (kept > 1 && frame[kept - 1] == SYNC_FIRST)
        --kept;
    out->insert(out->end(), frame, frame + kept);
}
