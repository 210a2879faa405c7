#include "limit_state.h"

#include <algorithm>

#include "limit_values.h"

namespace {

LimitState level_of(const LimitRule& r, double v) {
    if (v > r.red_high || v < r.red_low) return LimitState::RED;
    if (v > r.yellow_high || v < r.yellow_low) return LimitState::YELLOW;
    return LimitState::IN_RANGE;
}

// How far `v` lies beyond the nearest limit on the side it left by; 0 or less
// within them. A rule may give a side only its red limit.
double excess(const LimitRule& r, double v) {
    double high = std::min(r.yellow_high, r.red_high);
    double low = std::max(r.yellow_low, r.red_low);
    return std::max(v - high, low - v);
}

void count_runs(LimitStatus* s, LimitState level, int32_t persistence) {
    auto bump = [persistence](int32_t* run, bool holds) {
        *run = holds ? std::min(*run + 1, persistence) : 0;
    };
    bump(&s->run_red, level == LimitState::RED);
    bump(&s->run_yellow_or_worse, level != LimitState::IN_RANGE);
    bump(&s->run_yellow_or_better, level != LimitState::RED);
    bump(&s->run_in_range, level == LimitState::IN_RANGE);
}

// The state once the last `persistence` frames are counted: it moves to the
// mildest level they all reached when that is worse, or to the worst when
// that is better. A red frame among yellow ones is still beyond yellow, so
// it does not restart the count towards yellow.
LimitState next_state(const LimitStatus& s, int32_t persistence) {
    if (s.run_red >= persistence) return LimitState::RED;
    if (s.run_in_range >= persistence) return LimitState::IN_RANGE;
    if (s.state == LimitState::IN_RANGE && s.run_yellow_or_worse >= persistence)
        return LimitState::YELLOW;
    if (s.state == LimitState::RED && s.run_yellow_or_better >= persistence)
        return LimitState::YELLOW;
    return s.state;
}

// Counts a frame spent out of range; only a value beyond a limit can be the worst.
void note_out_of_range(const LimitRule& r, LimitStatus* s, double v, int64_t time) {
    if (s->frames_yellow + s->frames_red == 0) s->first_time = time;
    s->last_time = time;
    (s->state == LimitState::RED ? s->frames_red : s->frames_yellow) += 1;
    double beyond = excess(r, v);
    if (beyond > 0 && (!s->has_worst || beyond > s->worst_excess)) {
        s->has_worst = true;
        s->worst = v;
        s->worst_excess = beyond;
    }
}

// One frame's value; true when the state changed.
bool step(const LimitRule& r, LimitStatus* s, double v, int64_t time) {
    count_runs(s, level_of(r, v), r.persistence);
    LimitState before = s->state;
    s->state = next_state(*s, r.persistence);
    if (s->state > before) s->acknowledged = false;
    if (before == LimitState::IN_RANGE && s->state != LimitState::IN_RANGE) ++s->excursions;
    if (s->state != LimitState::IN_RANGE) note_out_of_range(r, s, v, time);
    return s->state != before;
}

} // namespace

const char* limit_state_text(LimitState state) {
    switch (state) {
    case LimitState::IN_RANGE: return "in range";
    case LimitState::YELLOW: return "yellow";
    case LimitState::RED: return "red";
    }
    return "?";
}

void reset_limits(Limits* limits) { limits->status.assign(limits->rules.size(), LimitStatus{}); }

int evaluate_frame(Limits* limits, const FrameValues& values, int64_t time, LimitChange* changes,
                   int capacity) {
    int count = 0;
    const int n = static_cast<int>(limits->rules.size());
    for (int i = 0; i < n; ++i) {
        const LimitRule& rule = limits->rules[i];
        LimitStatus* status = &limits->status[i];
        double v = 0.0;
        if (!read_watched(values, rule.value, &v)) continue;
        LimitState before = status->state;
        if (!step(rule, status, v, time)) continue;
        if (count < capacity) changes[count] = {i, before, status->state, v};
        ++count;
    }
    return count;
}
