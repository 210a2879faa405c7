#include "accumulator.h"

#include <iterator>
#include <limits>

namespace {

// Channel ranges of equal width: [first, next range's first).
struct WidthRange {
    int first;
    int16_t width;
};
constexpr WidthRange WIDTHS[] = {{0, 2}, {30, 4}, {77, 8}, {107, 16}, {136, 32}, {183, 64}};

constexpr float NORM = 2.4f;

// A bin's sum after adding `delta`, held at the 32-bit limits: days of
// accumulation must not wrap a count into nonsense (or into undefined
// behaviour). Kept in 32 bits without branches, so that the loop over a
// frame's bins becomes vector code.
int32_t saturated_sum(int32_t count, int32_t delta) {
    auto sum = static_cast<uint32_t>(count) + static_cast<uint32_t>(delta);
    // Overflow: both operands share a sign that the wrapped sum lacks.
    bool overflow = static_cast<int32_t>((static_cast<uint32_t>(count) ^ sum) &
                                         (static_cast<uint32_t>(delta) ^ sum)) < 0;
    int32_t limit =
        count < 0 ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
    return overflow ? limit : static_cast<int32_t>(sum);
}

} // namespace

void init(SpectrumStore* store) {
    int range = 0;
    for (int n = 0; n < CHANNEL_COUNT; ++n) {
        if (range + 1 < static_cast<int>(std::size(WIDTHS)) && n == WIDTHS[range + 1].first)
            ++range;
        store->bin_width[n] = WIDTHS[range].width;
    }
    // Each position adds the channel's own width to the previous one, then
    // centres on half of it: this is where the instrument's bins sit.
    store->bin_pos[0] = 0;
    for (int n = 1; n < CHANNEL_COUNT; ++n)
        store->bin_pos[n] = static_cast<int16_t>(store->bin_pos[n - 1] + store->bin_width[n]);
    for (int n = 0; n < CHANNEL_COUNT; ++n)
        store->bin_pos[n] = static_cast<int16_t>(store->bin_pos[n] + store->bin_width[n] / 2);
    store->norm = NORM;
}

void accumulate_counts(SpectrumStore* store, const FrameValues& frame, int setting) {
    if (setting == 0) return;
    store->mode_frames[frame.mode] = saturated_sum(store->mode_frames[frame.mode], 1);
    // The deltas go through a local array: the compiler then knows that the
    // store and the frame do not overlap and makes vector code of both loops.
    int32_t deltas[BINS_PER_MODE];
    for (int j = 0; j < BINS_PER_MODE; ++j)
        deltas[j] = setting > 0 ? frame.counts[j] : -frame.counts[j];
    int32_t* counts = store->counts[frame.mode];
    for (int j = 0; j < BINS_PER_MODE; ++j)
        counts[j] = saturated_sum(counts[j], deltas[j]);
}

void normalise(const SpectrumStore* store, float plot[CHANNEL_COUNT]) {
    const int32_t* counts = &store->counts[0][0];
    for (int n = 0; n < CHANNEL_COUNT; ++n) {
        int32_t frames = store->mode_frames[n / BINS_PER_MODE];
        plot[n] = frames == 0 ? 0.0f
                              : static_cast<float>(static_cast<double>(counts[n]) /
                                                   store->bin_width[n] / frames / store->norm);
    }
}

void clear_spectrum(SpectrumStore* store) {
    for (auto& bins : store->counts)
        for (int32_t& count : bins)
            count = 0;
    for (int32_t& frames : store->mode_frames)
        frames = 0;
}
