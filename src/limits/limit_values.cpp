#include "limit_values.h"

#include <charconv>
#include <cstdio>
#include <limits>

namespace {

constexpr const char* WORDS[] = {"10", "12", "14", "244", "252"};
constexpr const char* SCALED[] = {"246", "248", "250"};
constexpr const char* COUNTERS[] = {"mode0", "mode2", "mode3"};
constexpr const char* GROUP_PARTS[] = {"word01", "word23", "byte4", "byte5"};
constexpr int GROUP_PARTS_COUNT = 4;
constexpr int WORD_OFFSETS[] = {OFF_WORD_10, OFF_WORD_12, OFF_WORD_14, OFF_WORD_244, OFF_WORD_252};

// The index of `name` in `names`, or -1.
template <size_t N> int index_in(const char* const (&names)[N], std::string_view name) {
    for (size_t i = 0; i < N; ++i)
        if (name == names[i]) return static_cast<int>(i);
    return -1;
}

// A number from 1 to `highest` written as people write it ("7", not "07"),
// or -1.
int ordinal(std::string_view text, int highest) {
    int n = 0;
    if (text.empty() || text[0] == '0') return -1;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc() || end != text.data() + text.size() || n < 1 || n > highest) return -1;
    return n;
}

// The value at `first` + the index found, or -1 when nothing was found.
int offset_by(int first, int index) { return index < 0 ? -1 : first + index; }

// "G.part" of groups.G.part.
int group_value(std::string_view rest) {
    size_t dot = rest.find('.');
    if (dot == std::string_view::npos) return -1;
    int group = ordinal(rest.substr(0, dot), GROUP_COUNT);
    int part = index_in(GROUP_PARTS, rest.substr(dot + 1));
    if (group < 0 || part < 0) return -1;
    return WATCHED_GROUPS + GROUP_PARTS_COUNT * (group - 1) + part;
}

} // namespace

int watched_value(std::string_view name) {
    size_t dot = name.find('.');
    if (dot == std::string_view::npos) return -1;
    std::string_view kind = name.substr(0, dot), rest = name.substr(dot + 1);
    if (kind == "words") return offset_by(WATCHED_WORDS, index_in(WORDS, rest));
    if (kind == "scaled") return offset_by(WATCHED_SCALED, index_in(SCALED, rest));
    if (kind == "tenths") {
        int i = index_in(SCALED, rest);
        return offset_by(WATCHED_TENTHS, i < WATCHED_COUNTER - WATCHED_TENTHS ? i : -1);
    }
    if (kind == "counter") return offset_by(WATCHED_COUNTER, index_in(COUNTERS, rest));
    if (kind == "rates") return offset_by(WATCHED_RATES - 1, ordinal(rest, RATE_COUNT));
    if (kind == "groups") return group_value(rest);
    return -1;
}

bool watched_prefix(std::string_view path) {
    constexpr const char* KINDS[] = {"words", "scaled", "tenths", "counter", "rates", "groups"};
    if (index_in(KINDS, path) >= 0) return true;
    constexpr std::string_view GROUPS = "groups.";
    return path.starts_with(GROUPS) && ordinal(path.substr(GROUPS.size()), GROUP_COUNT) > 0;
}

void watched_value_name(int value, char (&text)[VALUE_NAME_SIZE]) {
    if (value >= WATCHED_GROUPS) {
        int n = value - WATCHED_GROUPS;
        std::snprintf(text, VALUE_NAME_SIZE, "groups.%d.%s", n / GROUP_PARTS_COUNT + 1,
                      GROUP_PARTS[n % GROUP_PARTS_COUNT]);
    } else if (value >= WATCHED_RATES) {
        std::snprintf(text, VALUE_NAME_SIZE, "rates.%d", value - WATCHED_RATES + 1);
    } else if (value >= WATCHED_COUNTER) {
        std::snprintf(text, VALUE_NAME_SIZE, "counter.%s", COUNTERS[value - WATCHED_COUNTER]);
    } else if (value >= WATCHED_TENTHS) {
        std::snprintf(text, VALUE_NAME_SIZE, "tenths.%s", SCALED[value - WATCHED_TENTHS]);
    } else if (value >= WATCHED_SCALED) {
        std::snprintf(text, VALUE_NAME_SIZE, "scaled.%s", SCALED[value - WATCHED_SCALED]);
    } else {
        std::snprintf(text, VALUE_NAME_SIZE, "words.%s", WORDS[value]);
    }
}

void read_all_watched(const FrameValues& v, double (&out)[WATCHED_VALUE_COUNT]) {
    constexpr double NOT_CARRIED = std::numeric_limits<double>::quiet_NaN();
    const int words[] = {v.word_10, v.word_12, v.word_14, v.word_244, v.word_252};
    for (int i = 0; i < WATCHED_SCALED - WATCHED_WORDS; ++i)
        out[WATCHED_WORDS + i] = words[i];
    bool fine = watched_modes(WATCHED_SCALED) >> v.mode & 1u;
    for (int i = 0; i < WATCHED_TENTHS - WATCHED_SCALED; ++i)
        out[WATCHED_SCALED + i] = fine ? v.scaled[i] : NOT_CARRIED;
    for (int i = 0; i < WATCHED_COUNTER - WATCHED_TENTHS; ++i)
        out[WATCHED_TENTHS + i] = fine ? NOT_CARRIED : v.scaled[i];
    for (int i = WATCHED_COUNTER; i < WATCHED_RATES; ++i)
        out[i] = watched_modes(i) >> v.mode & 1u ? v.counter_value : NOT_CARRIED;
    for (int i = 0; i < RATE_COUNT; ++i)
        out[WATCHED_RATES + i] = v.rates[i];
    for (int i = 0; i < GROUP_VALUE_COUNT; ++i)
        out[WATCHED_GROUPS + i] = v.groups[i];
}

bool read_watched(const FrameValues& v, int value, double* out) {
    if (!(watched_modes(value) >> v.mode & 1u)) return false;
    double all[WATCHED_VALUE_COUNT];
    read_all_watched(v, all);
    *out = all[value];
    return true;
}

int watched_word_offset(int value) {
    if (value >= WATCHED_COUNTER) return -1;
    if (value >= WATCHED_TENTHS) return OFF_SCALED_246 + 2 * (value - WATCHED_TENTHS);
    if (value >= WATCHED_SCALED) return OFF_SCALED_246 + 2 * (value - WATCHED_SCALED);
    return WORD_OFFSETS[value];
}
