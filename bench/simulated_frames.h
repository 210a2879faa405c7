// What the per-frame benchmarks share: a pool of the simulated instrument's
// frames, and the reader's checksum test over them, the baseline each
// benchmark's figures are read against.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "frame_format.h"
#include "instrument.h"

constexpr int FRAME_POOL = 1024; // frames cycled through, so caches see varied data

inline std::vector<unsigned char> simulated_frames() {
    std::vector<unsigned char> frames(FRAME_POOL * FRAME_SIZE);
    Instrument instrument(1, 0.1333);
    for (int i = 0; i < FRAME_POOL; ++i)
        instrument.next_frame(frames.data() + i * FRAME_SIZE);
    return frames;
}

inline const unsigned char* frame_at(const std::vector<unsigned char>& frames, int64_t i) {
    return frames.data() + (i % FRAME_POOL) * FRAME_SIZE;
}

inline void BM_ChecksumBaseline(benchmark::State& state) {
    std::vector<unsigned char> frames = simulated_frames();
    int64_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(checksum_ok(frame_at(frames, i++)));
    state.SetItemsProcessed(state.iterations());
}
