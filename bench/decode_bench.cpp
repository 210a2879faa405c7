// Per-frame costs of kxdump's work, each beside the reader's own checksum test
// as the baseline of the same run: decoding, accumulation, the JSON line, and
// kxsim's frame synthesis.
#include <benchmark/benchmark.h>

#include <vector>

#include "accumulator.h"
#include "dump_output.h"
#include "frame_values.h"
#include "instrument.h"
#include "simulated_frames.h"

namespace {

void BM_DecodeAndAccumulate(benchmark::State& state) {
    std::vector<unsigned char> frames = simulated_frames();
    SpectrumStore store{};
    init(&store);
    FrameValues values;
    int64_t i = 0;
    for (auto _ : state) {
        decode_frame(frame_at(frames, i++), &values);
        accumulate_counts(&store, values, 1);
        benchmark::DoNotOptimize(store.counts);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_JsonLine(benchmark::State& state) {
    std::vector<unsigned char> frames = simulated_frames();
    std::vector<FrameValues> decoded(FRAME_POOL);
    for (int i = 0; i < FRAME_POOL; ++i)
        decode_frame(frame_at(frames, i), &decoded[i]);
    TextBuffer out;
    int64_t i = 0;
    for (auto _ : state) {
        out.clear();
        append_json_frame(out, FramePlace{i, 256 * i, 0}, decoded[i % FRAME_POOL]);
        benchmark::DoNotOptimize(out.view().data());
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_SimulatedFrame(benchmark::State& state) {
    Instrument instrument(1, 0.1333);
    unsigned char frame[FRAME_SIZE];
    for (auto _ : state) {
        instrument.next_frame(frame);
        benchmark::DoNotOptimize(frame);
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_ChecksumBaseline);
BENCHMARK(BM_DecodeAndAccumulate);
BENCHMARK(BM_JsonLine);
BENCHMARK(BM_SimulatedFrame);
BENCHMARK_MAIN();
