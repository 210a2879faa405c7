#include "limit_state.h"

#include <algorithm>
#include <cmath>

#include "limit_values.h"

namespace {

// The level of one frame: 0 within, 1 beyond a yellow limit, 2 beyond a red
// one. Without branches: values that hover at a limit would make each a
// coin toss for the processor, and 200 limits a frame must stay cheap.
int level_of(const LimitRule& r, double v) {
    bool red = (v > r.red_high) | (v < r.red_low);
    bool yellow = (v > r.yellow_high) | (v < r.yellow_low) | red;
    return int{yellow} + int{red};
}

// How far `v` lies beyond the nearest limit on the side it left by; 0 or less
// within them. A rule may give a side only its red limit.
double excess(const LimitRule& r, double v) {
    double high = std::min(r.yellow_high, r.red_high);
    double low = std::max(r.yellow_low, r.red_low);
    return std::max(v - high, low - v);
}

// The state once frame `frame` is counted: it moves to the mildest level
// that the last `persistence` frames all reached when that is worse, or to
// the worst of them when that is better. A red frame among yellow ones is
// still beyond yellow, so it does not restart the count towards yellow.
int next_state(const LimitStatus& s, int64_t frame, int32_t persistence) {
    const int64_t* last = s.last_at;
    bool all_red = frame - std::max(last[0], last[1]) >= persistence;
    bool all_beyond = frame - last[0] >= persistence;
    bool none_red = frame - last[2] >= persistence;
    bool all_within = frame - std::max(last[1], last[2]) >= persistence;
    int state = static_cast<int>(s.state);
    int mildest = all_red ? 2 : all_beyond ? 1 : 0;
    int worst = all_within ? 0 : none_red ? 1 : 2;
    return mildest > state ? mildest : worst < state ? worst : state;
}

// Counts a frame spent in `state`; only a value beyond a limit can be the
// worst, and only a frame out of range has its time kept.
void keep_record(const LimitRule& r, LimitStatus* s, int state, int level, double v, int64_t time) {
    bool out = state != 0;
    bool first = out && s->frames_yellow + s->frames_red == 0;
    s->first_time = first ? time : s->first_time;
    s->last_time = out ? time : s->last_time;
    s->frames_yellow += state == 1;
    s->frames_red += state == 2;
    double beyond = excess(r, v);
    bool worse = out && level != 0 && (!s->has_worst || beyond > s->worst_excess);
    s->has_worst |= worse;
    s->worst = worse ? v : s->worst;
    s->worst_excess = worse ? beyond : s->worst_excess;
}

// One frame's value; true when the state changed. A frame at the level of
// the state cannot change it: most frames of most limits stop early.
bool step(const LimitRule& r, LimitStatus* s, double v, int64_t time) {
    int level = level_of(r, v);
    int64_t frame = s->seen++;
    s->last_at[level] = frame;
    int before = static_cast<int>(s->state);
    if (level == before && before == 0) return false;
    int after = level == before ? before : next_state(*s, frame, r.persistence);
    s->state = static_cast<LimitState>(after);
    s->acknowledged &= after <= before;
    s->excursions += before == 0 && after != 0;
    keep_record(r, s, after, level, v, time);
    return after != before;
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
    double all[WATCHED_VALUE_COUNT];
    read_all_watched(values, all);
    int count = 0;
    const int n = static_cast<int>(limits->rules.size());
    // Held here: the statuses written below might otherwise be the vectors'
    // own pointers, for all the compiler knows, and be read again each time.
    const LimitRule* rules = limits->rules.data();
    LimitStatus* statuses = limits->status.data();
    for (int i = 0; i < n; ++i) {
        const LimitRule& rule = rules[i];
        LimitStatus* status = &statuses[i];
        double v = all[rule.value];
        if (std::isnan(v)) continue; // not in this frame's mode
        LimitState before = status->state;
        if (!step(rule, status, v, time)) continue;
        if (count < capacity) changes[count] = {i, before, status->state, v};
        ++count;
    }
    return count;
}
