#include "strip_history.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

#include "frame_format.h"
#include "serial_line.h"

namespace kxqt {
namespace {

constexpr double NONE = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

// Up to this many rows in a column are drawn as they are: a line through
// them shows more than their extent would.
constexpr int64_t RAW_ROWS = 4;

// A frame's `j`th row's x, as row_at inverts it.
double row_key(const StripHistory::Frame& f, int64_t j) {
    return f.rows > 0 ? f.key + f.span * static_cast<double>(j) / f.rows : f.key;
}

template <class Value> void fold(const Value* values, int count, double* low, double* high) {
    for (int t = 0; t < count; ++t) {
        // NaN (no value) fails both comparisons.
        if (values[t] < low[t]) low[t] = values[t];
        if (values[t] > high[t]) high[t] = values[t];
    }
}

} // namespace

const double StripHistory::LINE_FRAME_PERIOD_S = FRAME_SIZE * CHARACTER_TIME;

StripHistory::StripHistory(int traces, int frames)
    : traces_(std::max(traces, 1)), capacity_(std::max(frames, 1)) {}

void StripHistory::clear(int64_t first_number) {
    frames_.clear();
    first_row_ = end_row_ = 0;
    next_number_ = first_number;
    timed_frames_ = 0;
}

void StripHistory::set_capacity(int frames) {
    capacity_ = std::max(frames, 1);
    bool was_timed = timed();
    while (static_cast<int>(frames_.size()) > capacity_)
        drop_oldest();
    if (timed() != was_timed) relabel();
}

void StripHistory::append(const double* values, int count, int64_t time_us) {
    count = std::max(count, 0);
    bool was_timed = timed();
    int rows = (count + traces_ - 1) / traces_;
    reserve_rows(rows);
    rows = static_cast<int>(std::min<int64_t>(rows, row_capacity_));
    count = std::min(count, rows * traces_);
    while (!frames_.empty() && (static_cast<int>(frames_.size()) >= capacity_ ||
                                end_row_ - first_row_ + rows > row_capacity_))
        drop_oldest();
    for (int r = 0; r < rows; ++r)
        write_row(end_row_ + r, values + r * traces_, std::min(traces_, count - r * traces_));
    frames_.push_back({0.0, 0.0, end_row_, rows, next_number_++, time_us});
    end_row_ += rows;
    if (time_us != NO_TIME) ++timed_frames_;
    if (timed() != was_timed)
        relabel();
    else
        place(frames_.size() - 1);
}

void StripHistory::drop_oldest() {
    if (frames_.front().time_us != NO_TIME) --timed_frames_;
    frames_.pop_front();
    first_row_ = frames_.empty() ? end_row_ : frames_.front().first_row;
}

// The ring holds the history's frames at the most rows a frame brought; it
// is sized again only when that most or the history length changes.
void StripHistory::reserve_rows(int rows_per_frame) {
    rows_per_frame_ = std::max(rows_per_frame_, rows_per_frame);
    int64_t wanted = std::min<int64_t>(int64_t{capacity_} * rows_per_frame_, MAX_VALUES / traces_);
    wanted = std::max<int64_t>(wanted, BLOCK);
    wanted = (wanted + BLOCK - 1) / BLOCK * BLOCK;
    if (wanted != row_capacity_) reallocate(wanted, wide_);
}

template <class Use> void StripHistory::visit_row(int64_t row, Use&& use) const {
    int64_t at = (row % row_capacity_) * traces_;
    if (wide_)
        use(doubles_.get() + at);
    else
        use(floats_.get() + at);
}

// Moves the rows held to a new ring.
void StripHistory::reallocate(int64_t row_capacity, bool wide) {
    std::unique_ptr<float[]> floats;
    std::unique_ptr<double[]> doubles;
    auto size = static_cast<std::size_t>(row_capacity * traces_);
    if (wide)
        doubles.reset(new double[size]);
    else
        floats.reset(new float[size]);
    for (int64_t row = first_row_; row < end_row_; ++row) {
        int64_t to = (row % row_capacity) * traces_;
        visit_row(row, [&](const auto* values) {
            if (wide)
                std::copy(values, values + traces_, doubles.get() + to);
            else
                std::copy(values, values + traces_, floats.get() + to);
        });
    }
    floats_ = std::move(floats);
    doubles_ = std::move(doubles);
    wide_ = wide;
    row_capacity_ = row_capacity;
    block_capacity_ = row_capacity / BLOCK + 1;
    blocks_.reset(new double[static_cast<std::size_t>(block_capacity_ * 2 * traces_)]);
    for (int64_t row = first_row_; row < end_row_; ++row)
        summarise(row);
}

void StripHistory::write_row(int64_t row, const double* values, int count) {
    bool fits = wide_ || std::all_of(values, values + count, [](double v) {
                    if (!std::isfinite(v)) return true; // NaN and infinities are floats too
                    return std::abs(v) <= std::numeric_limits<float>::max() &&
                           static_cast<double>(static_cast<float>(v)) == v;
                });
    if (!fits) reallocate(row_capacity_, true);
    visit_row(row, [&](auto* slot) {
        using Value = std::remove_pointer_t<decltype(slot)>;
        for (int t = 0; t < traces_; ++t)
            slot[t] = static_cast<Value>(t < count ? values[t] : NONE);
    });
    summarise(row);
}

// Takes the row into its block's extent; a block's first row held starts it.
void StripHistory::summarise(int64_t row) {
    double* block = block_slot(row / BLOCK);
    if (row % BLOCK == 0 || row == first_row_) {
        std::fill(block, block + traces_, INF);
        std::fill(block + traces_, block + 2 * traces_, -INF);
    }
    visit_row(row, [&](const auto* values) { fold(values, traces_, block, block + traces_); });
}

// A frame's x: its arrival time, else the previous frame's one frame
// period on, or its number when no frame held has a time. Never before
// the previous frame, so that the x of the rows only grows (a clock set
// back piles frames up rather than folding the lines back); the previous
// frame's rows spread up to this one, a period at most.
void StripHistory::place(std::size_t index) {
    Frame& f = frames_[index];
    Frame* previous = index > 0 ? &frames_[index - 1] : nullptr;
    double p = period();
    if (!timed())
        f.key = static_cast<double>(f.number);
    else if (f.time_us != NO_TIME)
        f.key = static_cast<double>(f.time_us) / 1e6;
    else if (previous)
        f.key = previous->key + p;
    f.span = p;
    if (!previous) return;
    f.key = std::max(f.key, previous->key);
    previous->span = std::min(f.key - previous->key, p);
    f.span = previous->span;
}

// The axis changed between frame numbers and times: every frame is placed
// again. Frames without a time before the first with one are counted back
// from it at the line's pace.
void StripHistory::relabel() {
    if (frames_.empty()) return;
    if (timed()) {
        auto first = std::find_if(frames_.begin(), frames_.end(),
                                  [](const Frame& f) { return f.time_us != NO_TIME; });
        frames_.front().key = static_cast<double>(first->time_us) / 1e6 -
                              static_cast<double>(first - frames_.begin()) * LINE_FRAME_PERIOD_S;
    }
    for (std::size_t i = 0; i < frames_.size(); ++i)
        place(i);
}

double StripHistory::first_key() const { return frames_.empty() ? 0.0 : frames_.front().key; }

double StripHistory::end_key() const {
    return frames_.empty() ? 0.0 : frames_.back().key + frames_.back().span;
}

const StripHistory::Frame& StripHistory::frame_of(int64_t row) const {
    auto after = std::upper_bound(frames_.begin(), frames_.end(), row,
                                  [](int64_t r, const Frame& f) { return r < f.first_row; });
    return *(after - 1);
}

double StripHistory::key(int64_t row) const {
    const Frame& f = frame_of(row);
    return row_key(f, row - f.first_row);
}

double StripHistory::value(int64_t row, int trace) const {
    double value = 0.0;
    visit_row(row, [&](const auto* values) { value = values[trace]; });
    return value;
}

int64_t StripHistory::row_at(double key) const {
    auto at = std::lower_bound(frames_.begin(), frames_.end(), key,
                               [](const Frame& f, double k) { return f.key < k; });
    if (at != frames_.begin()) {
        const Frame& before = *(at - 1);
        if (before.rows > 0 && before.span > 0) {
            double place = std::ceil((key - before.key) / before.span * before.rows);
            int64_t j = static_cast<int64_t>(std::clamp(place, 0.0, double(before.rows)));
            // Rounding may put the row found one off the one row_key gives.
            while (j > 0 && row_key(before, j - 1) >= key)
                --j;
            while (j < before.rows && row_key(before, j) < key)
                ++j;
            if (j < before.rows) return before.first_row + j;
        }
    }
    return at == frames_.end() ? end_row_ : at->first_row;
}

void StripHistory::extent(int64_t from, int64_t to, double* low, double* high) const {
    int64_t row = from;
    auto fold_row = [&](const auto* values) { fold(values, traces_, low, high); };
    for (; row < to && row % BLOCK != 0; ++row)
        visit_row(row, fold_row);
    for (; row + BLOCK <= to; row += BLOCK) {
        const double* block = block_slot(row / BLOCK);
        fold(block, traces_, low, high);
        fold(block + traces_, traces_, low, high);
    }
    for (; row < to; ++row)
        visit_row(row, fold_row);
}

void StripHistory::value_extent(double lo, double hi, double& low, double& high) const {
    std::vector<double> lows(traces_, INF), highs(traces_, -INF);
    if (!frames_.empty()) extent(row_at(lo), row_at(hi), lows.data(), highs.data());
    low = *std::min_element(lows.begin(), lows.end());
    high = *std::max_element(highs.begin(), highs.end());
}

void StripHistory::envelope(double lo, double hi, int buckets,
                            std::vector<std::vector<Point>>& points, double& low,
                            double& high) const {
    points.resize(traces_);
    for (auto& trace : points)
        trace.clear();
    low = INF;
    high = -INF;
    if (frames_.empty()) return;
    auto raw = [&](int64_t row, bool inside) {
        double k = key(row);
        for (int t = 0; t < traces_; ++t) {
            double v = value(row, t);
            if (std::isnan(v)) continue;
            points[t].push_back({k, v});
            if (!inside) continue;
            low = std::min(low, v);
            high = std::max(high, v);
        }
    };
    int64_t begin = row_at(lo), end = row_at(hi);
    if (begin > first_row_) raw(begin - 1, false);
    buckets = std::max(buckets, 1);
    std::vector<double> lows(traces_), highs(traces_);
    int64_t from = begin;
    for (int b = 1; b <= buckets; ++b) {
        int64_t to = b == buckets ? end : row_at(lo + (hi - lo) * b / buckets);
        if (to - from <= RAW_ROWS) {
            for (int64_t row = from; row < to; ++row)
                raw(row, true);
        } else {
            std::fill(lows.begin(), lows.end(), INF);
            std::fill(highs.begin(), highs.end(), -INF);
            extent(from, to, lows.data(), highs.data());
            double k = key(from);
            for (int t = 0; t < traces_; ++t) {
                if (lows[t] > highs[t]) continue;
                // From the end nearer the line so far: the line joining two
                // columns stays short, and drawing it cheap.
                bool down = !points[t].empty() && std::abs(points[t].back().value - highs[t]) <
                                                      std::abs(points[t].back().value - lows[t]);
                points[t].push_back({k, down ? highs[t] : lows[t]});
                points[t].push_back({k, down ? lows[t] : highs[t]});
                low = std::min(low, lows[t]);
                high = std::max(high, highs[t]);
            }
        }
        from = std::max(from, to);
    }
    if (end < end_row_) raw(end, false);
}

} // namespace kxqt
