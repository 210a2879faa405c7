#include "sim_spikes.h"

#include <charconv>
#include <cmath>

#include "frame_format.h"
#include "instrument.h"
#include "limit_values.h"

namespace {

// How a value is written into the frame: `amount` x `scale`, rounded, from
// `low` to `high` (raw units).
struct Encoding {
    double scale;
    double low, high;
};

constexpr int GROUP_PARTS = 4;

// The encoding of a value kxsim can set; false for the counter, which is the
// instrument's clock and angle.
bool encoding_of(int value, Encoding* e) {
    if (value >= WATCHED_GROUPS) {
        bool byte = (value - WATCHED_GROUPS) % GROUP_PARTS >= 2;
        *e = {1.0, 0, byte ? 255.0 : 65535.0};
    } else if (value >= WATCHED_RATES) {
        *e = {1.0, 0, 4095.0};
    } else if (value >= WATCHED_COUNTER) {
        return false;
    } else if (value >= WATCHED_SCALED) {
        *e = {value >= WATCHED_TENTHS ? 10.0 : 10000.0, INT16_MIN, INT16_MAX};
    } else {
        *e = {1.0, 0, 65535.0};
    }
    return true;
}

std::string number_text(double x) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

// Why `amount` cannot be written as `name`'s, or "".
std::string range_problem(std::string_view name, double amount, const Encoding& e) {
    bool whole = e.scale == 1.0;
    double raw = std::round(amount * e.scale);
    if ((!whole || raw == amount) && raw >= e.low && raw <= e.high) return {};
    return std::string(name) + (whole ? " takes whole numbers from " : " takes numbers from ") +
           number_text(e.low / e.scale) + " to " + number_text(e.high / e.scale);
}

template <typename T> bool parse_number(std::string_view text, T* out) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *out);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// "FRAME[+COUNT]".
bool parse_frames(std::string_view text, Spike* spike) {
    size_t plus = text.find('+');
    spike->count = 1;
    if (plus != std::string_view::npos &&
        (!parse_number(text.substr(plus + 1), &spike->count) || spike->count < 1))
        return false;
    return parse_number(text.substr(0, plus), &spike->first) && spike->first >= 0;
}

void put_word(unsigned char* frame, int offset, int64_t raw) {
    auto word = static_cast<uint16_t>(raw);
    frame[offset] = static_cast<unsigned char>(word >> 8);
    frame[offset + 1] = static_cast<unsigned char>(word);
}

void put_rate(unsigned char* frame, int rate, int64_t raw) {
    int32_t unpacked[RATE_COUNT];
    unpack(frame + OFF_RATES, unpacked, RATE_COUNT);
    int values[RATE_COUNT];
    for (int i = 0; i < RATE_COUNT; ++i)
        values[i] = i == rate ? static_cast<int>(raw) : unpacked[i];
    pack(values, frame + OFF_RATES, RATE_COUNT);
}

void put_group_value(unsigned char* frame, int n, int64_t raw) {
    unsigned char* group = frame + OFF_GROUPS + GROUP_SIZE * (n / GROUP_PARTS);
    int part = n % GROUP_PARTS;
    if (part < 2)
        put_word(group, 2 * part, raw);
    else
        group[part + 2] = static_cast<unsigned char>(raw);
}

void put_value(unsigned char* frame, int value, int64_t raw) {
    if (value >= WATCHED_GROUPS)
        put_group_value(frame, value - WATCHED_GROUPS, raw);
    else if (value >= WATCHED_RATES)
        put_rate(frame, value - WATCHED_RATES, raw);
    else
        put_word(frame, watched_word_offset(value), raw);
}

} // namespace

std::string parse_spike(std::string_view text, Spike* spike) {
    const std::string form = "expected NAME=VALUE@FRAME[+COUNT]";
    size_t equals = text.find('='), at = text.find('@');
    if (equals == std::string_view::npos || at == std::string_view::npos || at < equals)
        return form;
    std::string_view name = text.substr(0, equals);
    spike->value = watched_value(name);
    Encoding encoding;
    if (spike->value < 0 || !encoding_of(spike->value, &encoding))
        return std::string(name) + " is not a value kxsim can set";
    if (!parse_number(text.substr(equals + 1, at - equals - 1), &spike->amount))
        return form + ", VALUE a number";
    if (std::string why = range_problem(name, spike->amount, encoding); !why.empty()) return why;
    if (!parse_frames(text.substr(at + 1), spike))
        return form + ", FRAME 0 or more and COUNT 1 or more";
    return {};
}

void apply_spikes(const std::vector<Spike>& spikes, int64_t number, unsigned char* frame) {
    bool changed = false;
    for (const Spike& s : spikes) {
        if (number < s.first || number - s.first >= s.count) continue;
        if (!(watched_modes(s.value) >> frame_mode(frame) & 1u)) continue;
        Encoding e;
        encoding_of(s.value, &e);
        put_value(frame, s.value, static_cast<int64_t>(std::round(s.amount * e.scale)));
        changed = true;
    }
    if (!changed) return;
    put_word(frame, OFF_CHECKSUM, frame_checksum(frame));
}
