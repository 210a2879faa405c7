// The cost of limits per frame: 200 limits evaluated on each decoded frame,
// beside the reader's checksum test as the baseline of the same run. The
// target is under a microsecond a frame (ns per frame is the time column).
#include <benchmark/benchmark.h>

#include <vector>

#include "frame_values.h"
#include "limit_state.h"
#include "limit_values.h"
#include "simulated_frames.h"

namespace {

constexpr int LIMIT_COUNT = 200;

std::vector<FrameValues> decoded(const std::vector<unsigned char>& frames) {
    std::vector<FrameValues> values(FRAME_POOL);
    for (int i = 0; i < FRAME_POOL; ++i)
        decode_frame(frame_at(frames, i), &values[i]);
    return values;
}

// Every value watched about twice. `margin` 0: limits at the value's first
// reading, which the values wander across, so that states change every few
// frames (the costly case); 1: limits well clear of every value, as in a
// healthy run.
Limits limits_for(const std::vector<FrameValues>& values, double margin) {
    Limits limits;
    for (int i = 0; i < LIMIT_COUNT; ++i) {
        LimitRule rule;
        rule.value = i % WATCHED_VALUE_COUNT;
        double first = 0.0;
        for (const FrameValues& v : values)
            if (read_watched(v, rule.value, &first)) break;
        double size = (first < 0 ? -first : first) + 100.0;
        rule.yellow_low = first - margin * 10 * size;
        rule.yellow_high = first + margin * 10 * size;
        rule.red_high = rule.yellow_high + 0.01 * size;
        rule.persistence = 1 + i % 3;
        limits.rules.push_back(rule);
    }
    limits.labels.resize(LIMIT_COUNT);
    reset_limits(&limits);
    return limits;
}

// state.range(0): 0 busy, 1 in range (see limits_for).
void BM_Evaluate200Limits(benchmark::State& state) {
    std::vector<FrameValues> values = decoded(simulated_frames());
    Limits limits = limits_for(values, static_cast<double>(state.range(0)));
    std::vector<LimitChange> changes(LIMIT_COUNT);
    int64_t i = 0, changed = 0;
    for (auto _ : state) {
        changed += evaluate_frame(&limits, values[i % FRAME_POOL], i, changes.data(), LIMIT_COUNT);
        benchmark::DoNotOptimize(changes.data());
        ++i;
    }
    state.counters["changes_per_frame"] =
        static_cast<double>(changed) / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_ChecksumBaseline);
BENCHMARK(BM_Evaluate200Limits)->ArgName("in_range")->Arg(0)->Arg(1);
BENCHMARK_MAIN();
