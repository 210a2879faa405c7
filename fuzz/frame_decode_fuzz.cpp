// Decoding and the frame path over arbitrary frames: the first 256 bytes are
// the frame (zero-filled when shorter); after them, a signed byte chooses
// the accumulate setting and two 32-bit words preset every count and frame
// tally of the spectrum, so that saturation is reachable. Checks that every
// field stays within its range, the time text reads back as the counter's
// time of day, the spectrum sums saturate exactly, and the plot stays finite.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "accumulator.h"
#include "fake_runtime.h"
#include "frame_process.h"
#include "frame_values.h"
#include "fuzz_check.h"
#include "kxview_storage.h"

namespace {

constexpr int PANEL = 1;
constexpr int32_t TWELVE_BITS = 0xFFF;
constexpr int64_t DAY_MS = 86400000;

struct Input {
    unsigned char frame[FRAME_SIZE] = {};
    int setting = 1;
    int32_t count_preset = 0;
    int32_t frames_preset = 0;
};

int32_t word32(const uint8_t* at) {
    return static_cast<int32_t>(uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 |
                                uint32_t{at[2]} << 8 | at[3]);
}

Input input_of(const uint8_t* data, size_t size) {
    Input in;
    std::copy_n(data, std::min<size_t>(size, FRAME_SIZE), in.frame);
    if (size > FRAME_SIZE) in.setting = static_cast<int8_t>(data[FRAME_SIZE]);
    if (size >= FRAME_SIZE + 9) {
        in.count_preset = word32(data + FRAME_SIZE + 1);
        in.frames_preset = word32(data + FRAME_SIZE + 5);
    }
    return in;
}

bool twelve_bit(const int32_t* values, int count) {
    return std::all_of(values, values + count,
                       [](int32_t v) { return v >= 0 && v <= TWELVE_BITS; });
}

// "HH:MM:SS.S", each field negative for a negative counter, within 0.05 s of
// the counter's time of day.
void check_time_text(const FrameValues& v) {
    int hours = 0, minutes = 0;
    double seconds = 0;
    require(std::strlen(v.time_text) < TIME_TEXT_SIZE - 1, "the time text is never cut short");
    require(std::sscanf(v.time_text, "%d:%d:%lf", &hours, &minutes, &seconds) == 3,
            "the time text reads as hours, minutes and seconds");
    require(std::abs(hours) < 24 && std::abs(minutes) < 60 && std::fabs(seconds) <= 60.0,
            "the time text's fields stay within a day");
    double shown_ms = (hours * 3600.0 + minutes * 60.0 + seconds) * 1000.0;
    require(std::fabs(shown_ms - static_cast<double>(v.counter % DAY_MS)) <= 50.0 + 1e-6,
            "the time text is the counter's time of day");
}

void check_values(const unsigned char* frame, const FrameValues& v) {
    require(v.mode == (frame[OFF_MODE] & 3), "the mode is the low bits of byte 5");
    require(v.scaled_count == (v.mode % 2 == 0 ? 3 : 2), "modes 0 and 2 scale three words");
    for (int i = 0; i < 3; ++i)
        require(std::isfinite(v.scaled[i]) && std::fabs(v.scaled[i]) <= 3276.8f,
                "a scaled word stays within a 16-bit word over ten, in single precision");
    require(std::isfinite(v.counter_value), "the counter's value is finite");
    require(twelve_bit(v.rates, RATE_COUNT) && twelve_bit(v.counts, BINS_PER_MODE),
            "rates and counts are 12-bit values");
    if (v.mode == 1)
        check_time_text(v);
    else
        require(v.time_text[0] == '\0', "only mode 1 shows a time text");
}

int32_t saturated(int64_t sum) {
    return static_cast<int32_t>(std::clamp<int64_t>(sum, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

void check_accumulated(const SpectrumStore& before, const SpectrumStore& after,
                       const FrameValues& v, int setting) {
    for (int m = 0; m < MODE_COUNT; ++m) {
        bool touched = setting != 0 && m == v.mode;
        require(after.mode_frames[m] == (touched ? saturated(int64_t{before.mode_frames[m]} + 1)
                                                 : before.mode_frames[m]),
                "the frame is counted in its mode's tally, held at the limit");
        for (int j = 0; j < BINS_PER_MODE; ++j) {
            int64_t delta = touched ? (setting > 0 ? v.counts[j] : -v.counts[j]) : 0;
            require(after.counts[m][j] == saturated(before.counts[m][j] + delta),
                    "a bin's sum saturates at the 32-bit limits");
        }
    }
    float plot[CHANNEL_COUNT];
    normalise(&after, plot);
    require(std::all_of(plot, plot + CHANNEL_COUNT, [](float p) { return std::isfinite(p); }),
            "the normalised spectrum is finite");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in = input_of(data, size);
    FrameValues v;
    decode_frame(in.frame, &v);
    check_values(in.frame, v);

    fresh_storage();
    fake::reset();
    SpectrumStore store{};
    init(&store);
    std::fill(&store.counts[0][0], &store.counts[0][0] + CHANNEL_COUNT, in.count_preset);
    std::fill(store.mode_frames, store.mode_frames + MODE_COUNT, in.frames_preset);
    SpectrumStore before = store;
    frm_process(in.frame, &store, PANEL, in.setting);
    check_accumulated(before, store, v, in.setting);
    return 0;
}
