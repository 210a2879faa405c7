#include "instrument.h"

#include <cmath>
#include <cstring>

namespace {

constexpr unsigned char INSTRUMENT_ID = 0x4B;
constexpr unsigned char FORMAT_VERSION = 1;
constexpr unsigned char HV_ON = 0x04;     // mode byte, bit 2
constexpr unsigned char HEATER_ON = 0x08; // mode byte, bit 3
constexpr int64_t DAY_MS = 86400000;
constexpr double SPIN_DEGREES_PER_S = 36.0;
constexpr double TURN = 4294967296.0; // a binary angle's full turn
constexpr double KELVIN_OFFSET = 273.15;
constexpr int MAX_12BIT = 4095;

// Housekeeping words 10, 12, 14, 244, 252: high-voltage monitor (0.1 V), bus
// voltage (mV), logic supply (mV), electronics temperature (0.01 K), bus
// current (mA).
constexpr Drift HOUSEKEEPING[HOUSEKEEPING_COUNT] = {{12000, 5, 300, 0},
                                                    {28000, 40, 120, 0},
                                                    {5010, 3, 60, 0},
                                                    {29815, 60, 900, 0},
                                                    {420, 6, 60, 0}};
constexpr int HOUSEKEEPING_OFFSETS[HOUSEKEEPING_COUNT] = {OFF_WORD_10, OFF_WORD_12, OFF_WORD_14,
                                                          OFF_WORD_244, OFF_WORD_252};
constexpr int ELECTRONICS_TEMPERATURE = 3; // 0.01 K
// Reference voltages +2.5, -2.5 and +1.2 V.
constexpr Drift FINE[SCALED_WORD_COUNT] = {
    {25000, 3, 120, 0}, {-25000, 3, 120, 0}, {12000, 2, 120, 0}};
// Detector, electronics and power-supply temperatures.
constexpr Drift TENTH[SCALED_WORD_COUNT] = {{-125, 3, 600, 0}, {234, 5, 600, 0}, {310, 4, 600, 0}};
constexpr Drift ELEVATION = {0.0, 20.0, 300.0, 0.0};
constexpr Drift FLUX = {1.0, 0.08, 60.0, 1.0};

// The detector spectrum, counts per unit of position per frame: a falling
// continuum and two lines.
constexpr double CONTINUUM = 200.0;
constexpr double CONTINUUM_KNEE = 150.0;
struct Line {
    double position, sigma, height;
};
constexpr Line LINES[] = {{511.0, 18.0, 30.0}, {1461.0, 30.0, 6.0}};

double spectrum_density(double position) {
    double knee = 1.0 + position / CONTINUUM_KNEE;
    double density = CONTINUUM / (knee * knee);
    for (const Line& line : LINES) {
        double z = (position - line.position) / line.sigma;
        density += line.height * exp_negative(0.5 * z * z);
    }
    return density;
}

void step(Drift* drift, SimRandom* random, double dt) {
    double pull = dt / drift->settle_s;
    // Keeps the spread at `spread` whatever the time step.
    double kick = drift->spread * std::sqrt(2.0 * pull);
    drift->value += pull * (drift->nominal - drift->value) + kick * random->normal();
}

Drift started(const Drift& model, SimRandom* random) {
    Drift drift = model;
    drift.value = model.nominal + model.spread * random->normal();
    return drift;
}

int64_t rounded(double x) { return static_cast<int64_t>(std::floor(x + 0.5)); }

int64_t clamped(int64_t x, int64_t low, int64_t high) {
    return x < low ? low : x > high ? high : x;
}

void put_word(unsigned char* frame, int offset, int64_t value) {
    auto word = static_cast<uint16_t>(value);
    frame[offset] = static_cast<unsigned char>(word >> 8);
    frame[offset + 1] = static_cast<unsigned char>(word);
}

void put_counter(unsigned char* frame, uint32_t counter) {
    for (int i = 0; i < 4; ++i)
        frame[OFF_COUNTER + i] = static_cast<unsigned char>(counter >> (24 - 8 * i));
}

} // namespace

void pack(const int* values, unsigned char* destination, int count) {
    for (int i = 0; i + 1 < count; i += 2, destination += 3) {
        auto pair = static_cast<uint32_t>(values[i]) << 12 | static_cast<uint32_t>(values[i + 1]);
        destination[0] = static_cast<unsigned char>(pair >> 16);
        destination[1] = static_cast<unsigned char>(pair >> 8);
        destination[2] = static_cast<unsigned char>(pair);
    }
}

Instrument::Instrument(uint64_t seed, double frame_period_s)
    : random_(seed), period_s_(frame_period_s) {
    day_start_ms_ = random_.between(0, DAY_MS - 1);
    uptime_start_ms_ = random_.between(3600000, 36000000);
    spin_start_ = static_cast<uint32_t>(random_.next());
    // Whole turns per frame do not show in a binary angle.
    double turns = std::fmod(SPIN_DEGREES_PER_S * period_s_ / 360.0, 1.0);
    spin_step_ = static_cast<uint32_t>(turns * TURN);
    elevation_ = started(ELEVATION, &random_);
    flux_ = started(FLUX, &random_);
    for (int i = 0; i < HOUSEKEEPING_COUNT; ++i)
        housekeeping_[i] = started(HOUSEKEEPING[i], &random_);
    for (int i = 0; i < SCALED_WORD_COUNT; ++i) {
        fine_[i] = started(FINE[i], &random_);
        tenth_[i] = started(TENTH[i], &random_);
    }
    SpectrumStore table{};
    init(&table);
    for (int n = 0; n < CHANNEL_COUNT; ++n)
        spectrum_mean_[n] = table.bin_width[n] * spectrum_density(table.bin_pos[n]);
}

void Instrument::next_frame(unsigned char* frame) {
    write_header(frame);
    write_counter(frame);
    write_housekeeping(frame);
    write_rates(frame);
    write_groups(frame);
    write_spectrum(frame);
    put_word(frame, OFF_CHECKSUM, frame_checksum(frame));
    advance();
}

void Instrument::advance() {
    ++sequence_;
    step(&elevation_, &random_, period_s_);
    step(&flux_, &random_, period_s_);
    for (Drift& drift : housekeeping_)
        step(&drift, &random_, period_s_);
    for (int i = 0; i < SCALED_WORD_COUNT; ++i) {
        step(&fine_[i], &random_, period_s_);
        step(&tenth_[i], &random_, period_s_);
    }
}

void Instrument::write_header(unsigned char* frame) const {
    const Drift& temperature = housekeeping_[ELECTRONICS_TEMPERATURE];
    bool heater = temperature.value < temperature.nominal;
    frame[0] = SYNC_FIRST;
    frame[1] = SYNC_SECOND;
    frame[2] = INSTRUMENT_ID;
    frame[3] = FORMAT_VERSION;
    frame[4] = static_cast<unsigned char>(sequence_);
    frame[OFF_MODE] = static_cast<unsigned char>(mode() | HV_ON | (heater ? HEATER_ON : 0));
}

void Instrument::write_counter(unsigned char* frame) const {
    auto elapsed_ms = static_cast<int64_t>(static_cast<double>(sequence_) * period_s_ * 1000.0);
    int64_t counter = 0;
    switch (mode()) {
    case 0: counter = uptime_start_ms_ + elapsed_ms; break;
    case 1: counter = (day_start_ms_ + elapsed_ms) % DAY_MS; break;
    case 2: counter = static_cast<uint32_t>(spin_start_ + spin_step_ * sequence_); break;
    case 3: counter = rounded(elevation_.value / 360.0 * TURN); break;
    }
    put_counter(frame, static_cast<uint32_t>(counter));
}

void Instrument::write_housekeeping(unsigned char* frame) {
    for (int i = 0; i < HOUSEKEEPING_COUNT; ++i)
        put_word(frame, HOUSEKEEPING_OFFSETS[i],
                 clamped(rounded(housekeeping_[i].value + random_.normal()), 0, 65535));
    const Drift* scaled = mode() == 0 || mode() == 2 ? fine_ : tenth_;
    for (int i = 0; i < SCALED_WORD_COUNT; ++i)
        put_word(frame, OFF_SCALED_246 + 2 * i, clamped(rounded(scaled[i].value), -32768, 32767));
}

void Instrument::write_rates(unsigned char* frame) {
    int rates[RATE_COUNT];
    for (int s = 0; s < RATE_COUNT; ++s)
        rates[s] = static_cast<int>(
            clamped(random_.poisson((300.0 + 35.0 * s) * flux_.value), 0, MAX_12BIT));
    pack(rates, frame + OFF_RATES, RATE_COUNT);
}

// Per detector segment: events counted, live time (0.1 % units), trigger
// threshold setting and the segment's temperature (0.25 degree steps).
void Instrument::write_groups(unsigned char* frame) {
    double celsius = housekeeping_[ELECTRONICS_TEMPERATURE].value / 100.0 - KELVIN_OFFSET;
    for (int g = 0; g < GROUP_COUNT; ++g) {
        unsigned char* group = frame + OFF_GROUPS + GROUP_SIZE * g;
        int64_t events = clamped(random_.poisson((1500.0 + 60.0 * g) * flux_.value), 0, 65535);
        put_word(group, 0, events);
        put_word(group, 2, 1000 - rounded(static_cast<double>(events) * 0.02));
        group[4] = static_cast<unsigned char>(40 + g);
        group[5] = static_cast<unsigned char>(clamped(rounded(4.0 * (celsius + 0.5 * g)), 0, 255));
    }
}

void Instrument::write_spectrum(unsigned char* frame) {
    int counts[BINS_PER_MODE];
    const double* mean = spectrum_mean_ + BINS_PER_MODE * mode();
    for (int j = 0; j < BINS_PER_MODE; ++j)
        counts[j] = static_cast<int>(clamped(random_.poisson(mean[j] * flux_.value), 0, MAX_12BIT));
    pack(counts, frame + OFF_COUNTS, BINS_PER_MODE);
}

void random_frame(SimRandom* random, unsigned char* frame) {
    for (int i = 0; i < OFF_CHECKSUM; i += 8) {
        uint64_t bits = random->next();
        std::memcpy(frame + i, &bits, OFF_CHECKSUM - i < 8 ? OFF_CHECKSUM - i : 8);
    }
    frame[0] = SYNC_FIRST;
    frame[1] = SYNC_SECOND;
    uint16_t sum = frame_checksum(frame);
    frame[OFF_CHECKSUM] = static_cast<unsigned char>(sum >> 8);
    frame[OFF_CHECKSUM + 1] = static_cast<unsigned char>(sum & 0xFF);
}
