// The limits file over arbitrary text. Beyond not crashing: the file gives
// limits or problems, never both; each problem names the file and a line;
// the limits nest and read back the same once written out again; and frames
// evaluated against them keep every count consistent.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "frame_values.h"
#include "fuzz_check.h"
#include "limit_values.h"
#include "limits_file.h"

namespace {

const std::string FILE_NAME = "fuzz.toml";

std::string number_text(double x) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

// The rules as a limits file of their own.
std::string rewritten(const Limits& limits) {
    std::string text;
    const char* keys[] = {"red_low", "yellow_low", "yellow_high", "red_high"};
    for (const LimitRule& r : limits.rules) {
        char name[VALUE_NAME_SIZE];
        watched_value_name(r.value, name);
        text += std::string("[\"") + name + "\"]\npersistence = " + std::to_string(r.persistence) +
                "\n";
        const double bounds[] = {r.red_low, r.yellow_low, r.yellow_high, r.red_high};
        for (int i = 0; i < 4; ++i)
            if (bounds[i] != NO_LOW && bounds[i] != NO_HIGH)
                text += std::string(keys[i]) + " = " + number_text(bounds[i]) + "\n";
    }
    return text;
}

bool same_rules(const Limits& a, const Limits& b) {
    if (a.rules.size() != b.rules.size()) return false;
    for (size_t i = 0; i < a.rules.size(); ++i) {
        const LimitRule &x = a.rules[i], &y = b.rules[i];
        if (x.value != y.value || x.persistence != y.persistence || x.red_low != y.red_low ||
            x.yellow_low != y.yellow_low || x.yellow_high != y.yellow_high ||
            x.red_high != y.red_high)
            return false;
    }
    return true;
}

void check_problems(const LimitsReading& reading) {
    const std::string prefix = FILE_NAME + ":";
    for (const std::string& problem : reading.problems) {
        require(problem.starts_with(prefix), "a problem names the file");
        size_t digits = problem.find_first_not_of("0123456789", prefix.size());
        require(digits != std::string::npos && digits > prefix.size() &&
                    problem.compare(digits, 2, ": ") == 0,
                "a problem names its line");
    }
}

void check_rules(const Limits& limits) {
    require(limits.labels.size() == limits.rules.size() &&
                limits.status.size() == limits.rules.size(),
            "one label and one status per limit");
    for (const LimitRule& r : limits.rules) {
        require(r.value >= 0 && r.value < WATCHED_VALUE_COUNT, "a limit watches a value");
        require(r.persistence >= 1, "persistence is 1 or more");
        // Those given, in order; a limit left out lies at infinity.
        const double given[] = {r.red_low, r.yellow_low, r.yellow_high, r.red_high};
        double previous = NO_LOW;
        for (double limit : given) {
            if (!std::isfinite(limit)) continue;
            require(previous <= limit, "the limits given nest");
            previous = limit;
        }
    }
}

// Frames whose every value is `x`, in each mode in turn.
void evaluate_some_frames(Limits* limits, const uint8_t* data, size_t size) {
    std::vector<LimitChange> changes(limits->rules.size());
    FrameValues v{};
    for (size_t n = 0; n < 16 && n < size; ++n) {
        int x = static_cast<int8_t>(data[n]) * 1000;
        v.mode = static_cast<int>(n % MODE_COUNT);
        v.word_10 = v.word_12 = v.word_14 = v.word_244 = v.word_252 = x;
        v.scaled[0] = v.scaled[1] = v.scaled[2] = v.counter_value = x;
        for (int32_t& rate : v.rates)
            rate = x;
        int count = evaluate_frame(limits, v, static_cast<int64_t>(n), changes.data(),
                                   static_cast<int>(changes.size()));
        require(count >= 0 && static_cast<size_t>(count) <= changes.size(),
                "at most one change per limit");
    }
    for (const LimitStatus& s : limits->status)
        require(s.excursions <= s.frames_yellow + s.frames_red &&
                    (s.excursions == 0) == (s.frames_yellow + s.frames_red == 0),
                "an excursion is frames out of range");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    LimitsReading reading;
    parse_limits(text, FILE_NAME, &reading);
    check_problems(reading);
    require(reading.problems.empty() || reading.limits.rules.empty(),
            "limits or problems, never both");
    check_rules(reading.limits);
    LimitsReading again;
    parse_limits(rewritten(reading.limits), FILE_NAME, &again);
    require(again.problems.empty() && same_rules(reading.limits, again.limits),
            "the limits read back the same");
    evaluate_some_frames(&reading.limits, data, size);
    return 0;
}
