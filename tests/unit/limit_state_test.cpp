// Limits frame by frame: the state each value is in, what the changes say,
// and what is kept for the summary; and which frames carry which value.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "limit_state.h"
#include "limit_values.h"

namespace {

constexpr double NONE = NAN; // no worst value: never out of range

char letter(LimitState state) {
    return state == LimitState::RED ? 'R' : state == LimitState::YELLOW ? 'Y' : 'I';
}

// A frame of mode 0 whose words.244 is `value`.
FrameValues frame_of(int value) {
    FrameValues v{};
    v.word_244 = value;
    return v;
}

// words.244 only, with the limits of the row; a NaN leaves one out.
Limits limits_on_word_244(double yellow_low, double yellow_high, double red_high, int persistence) {
    Limits limits;
    LimitRule rule;
    rule.value = watched_value("words.244");
    if (!std::isnan(yellow_low)) rule.yellow_low = yellow_low;
    if (!std::isnan(yellow_high)) rule.yellow_high = yellow_high;
    if (!std::isnan(red_high)) rule.red_high = red_high;
    rule.persistence = persistence;
    limits.rules = {rule};
    limits.labels.resize(1);
    reset_limits(&limits);
    return limits;
}

} // namespace

// Frame n comes at n ms; `ack` is set right after frame `ack_after`. The
// states are those after each frame, as the changes tell them.
TEST(LimitState, FollowsTheValueWithPersistenceAndKeepsItsRecord) {
    struct Case {
        const char* name;
        double yellow_low, yellow_high, red_high;
        int persistence;
        std::vector<int> values;
        int ack_after;
        const char* states;
        int64_t frames_yellow, frames_red;
        double worst;
        int64_t excursions, first_ms, last_ms;
        bool acknowledged;
    };
    const int64_t U = -1; // unknown time: never out of range
    const Case cases[] = {
        {"yellow after 3 frames beyond",
         NAN,
         50,
         60,
         3,
         {10, 55, 55, 55, 55},
         -1,
         "IIIYY",
         2,
         0,
         55,
         1,
         3,
         4,
         false},
        {"a spike shorter than the persistence changes nothing",
         NAN,
         50,
         60,
         3,
         {10, 70, 70, 10, 10},
         -1,
         "IIIII",
         0,
         0,
         NONE,
         0,
         U,
         U,
         false},
        {"yellow then red and back",
         NAN,
         50,
         60,
         1,
         {10, 55, 65, 65, 55, 10},
         -1,
         "IYRRYI",
         2,
         2,
         65,
         1,
         1,
         4,
         false},
        {"the way back needs the persistence too",
         NAN,
         50,
         60,
         2,
         {55, 55, 10, 55, 10, 10},
         -1,
         "IYYYYI",
         4,
         0,
         55,
         1,
         1,
         4,
         false},
        {"red frames among yellow ones count towards yellow",
         NAN,
         50,
         60,
         3,
         {55, 65, 55, 65, 65, 65},
         -1,
         "IIYYYR",
         3,
         1,
         65,
         1,
         2,
         5,
         false},
        {"equal to a limit is not beyond it",
         NAN,
         50,
         60,
         1,
         {50, 60, 61},
         -1,
         "IYR",
         1,
         1,
         61,
         1,
         1,
         2,
         false},
        {"the worst is the farthest beyond, either side",
         20,
         50,
         NAN,
         1,
         {55, 10, 52, 30},
         -1,
         "YYYI",
         3,
         0,
         10,
         1,
         0,
         2,
         false},
        {"a second excursion", NAN, 50, 60, 1, {55, 10, 57}, -1, "YIY", 2, 0, 57, 2, 0, 2, false},
        {"acknowledged stays through a better state",
         NAN,
         50,
         60,
         1,
         {65, 55},
         0,
         "RY",
         1,
         1,
         65,
         1,
         0,
         1,
         true},
        {"acknowledged is cleared by a worse state",
         NAN,
         50,
         60,
         1,
         {55, 65},
         0,
         "YR",
         1,
         1,
         65,
         1,
         0,
         1,
         false},
        {"acknowledged stays while the state holds",
         NAN,
         50,
         60,
         1,
         {55, 56},
         0,
         "YY",
         2,
         0,
         56,
         1,
         0,
         1,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Limits limits = limits_on_word_244(c.yellow_low, c.yellow_high, c.red_high, c.persistence);
        std::string states;
        LimitState told = LimitState::IN_RANGE;
        for (size_t n = 0; n < c.values.size(); ++n) {
            LimitChange changes[2];
            int count = evaluate_frame(&limits, frame_of(c.values[n]),
                                       static_cast<int64_t>(n) * 1000, changes, 2);
            ASSERT_LE(count, 1);
            if (count == 1) {
                EXPECT_EQ(changes[0].limit, 0);
                EXPECT_EQ(changes[0].from, told) << n;
                EXPECT_EQ(changes[0].value, c.values[n]) << n;
                told = changes[0].to;
            }
            states += letter(told);
            EXPECT_EQ(told, limits.status[0].state) << n;
            if (static_cast<int>(n) == c.ack_after) limits.status[0].acknowledged = true;
        }
        const LimitStatus& s = limits.status[0];
        EXPECT_EQ(states, c.states);
        EXPECT_EQ(s.frames_yellow, c.frames_yellow);
        EXPECT_EQ(s.frames_red, c.frames_red);
        EXPECT_EQ(s.has_worst, !std::isnan(c.worst));
        if (s.has_worst) {
            EXPECT_EQ(s.worst, c.worst);
        }
        EXPECT_EQ(s.excursions, c.excursions);
        EXPECT_EQ(s.first_time, c.first_ms == U ? UNKNOWN_TIME : c.first_ms * 1000);
        EXPECT_EQ(s.last_time, c.last_ms == U ? UNKNOWN_TIME : c.last_ms * 1000);
        EXPECT_EQ(s.acknowledged, c.acknowledged);
    }
}

// Each name reads its own field, and only in the modes that carry it; the
// names read back from the numbers.
TEST(LimitValues, EachNameReadsItsFieldInTheModesThatCarryIt) {
    FrameValues v{};
    v.word_10 = 1, v.word_12 = 2, v.word_14 = 3, v.word_244 = 4, v.word_252 = 5;
    v.scaled[0] = 0.25, v.scaled[1] = -0.5, v.scaled[2] = 0.75;
    v.counter_value = 12.5;
    for (int i = 0; i < RATE_COUNT; ++i)
        v.rates[i] = 100 + i;
    for (int i = 0; i < GROUP_VALUE_COUNT; ++i)
        v.groups[i] = static_cast<uint16_t>(1000 + i);
    struct Case {
        const char* name;
        double value;
        const char* modes; // a digit for each mode that carries it
    };
    const Case cases[] = {
        {"words.10", 1, "0123"},          {"words.252", 5, "0123"},
        {"scaled.246", 0.25, "02"},       {"scaled.250", 0.75, "02"},
        {"tenths.246", 0.25, "13"},       {"tenths.248", -0.5, "13"},
        {"counter.mode0", 12.5, "0"},     {"counter.mode2", 12.5, "2"},
        {"counter.mode3", 12.5, "3"},     {"rates.1", 100, "0123"},
        {"rates.20", 119, "0123"},        {"groups.1.word01", 1000, "0123"},
        {"groups.1.byte5", 1003, "0123"}, {"groups.20.word23", 1077, "0123"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int value = watched_value(c.name);
        ASSERT_GE(value, 0);
        char name[VALUE_NAME_SIZE];
        watched_value_name(value, name);
        EXPECT_STREQ(name, c.name);
        std::string modes;
        for (v.mode = 0; v.mode < MODE_COUNT; ++v.mode) {
            double read = NAN;
            if (!read_watched(v, value, &read)) continue;
            modes += static_cast<char>('0' + v.mode);
            EXPECT_EQ(read, c.value);
        }
        EXPECT_EQ(modes, c.modes);
    }
    for (const char* unknown : {"words.11", "rates.0", "rates.21", "rates.07", "tenths.250",
                                "counter.mode1", "groups.21.word01", "groups.1.word45", "words"})
        EXPECT_EQ(watched_value(unknown), -1) << unknown;
    char last[VALUE_NAME_SIZE];
    watched_value_name(WATCHED_VALUE_COUNT - 1, last);
    EXPECT_STREQ(last, "groups.20.byte5");
}
