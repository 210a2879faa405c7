// What a strip chart holds: its latest frames, each with the rows of samples
// it brought (one value per trace in a row) and where they lie on the x
// axis. The memory is bounded by the history length: the oldest frame goes
// as a new one comes, and nothing a frame adds costs more than its own
// values, however long the history.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace kxqt {

class StripHistory {
  public:
    // A known arrival time, or its absence, in microseconds since 1970 UTC.
    static constexpr int64_t NO_TIME = INT64_MIN;
    // The x distance between two frames when nothing tells it: a frame's
    // time on the line, or one frame when the axis counts frames.
    static const double LINE_FRAME_PERIOD_S;

    struct Frame {
        double key;        // x of its first row
        double span;       // its rows spread evenly over [key, key + span)
        int64_t first_row; // absolute row index, counted since the last clear
        int rows;
        int64_t number;  // frames appended since the last clear, from 0
        int64_t time_us; // arrival time, or NO_TIME
    };
    // One point of a trace as drawn.
    struct Point {
        double key, value;
    };

    explicit StripHistory(int traces = 1, int frames = 500);

    // Forgets every frame; the next is numbered `first_number`.
    void clear(int64_t first_number = 0);
    int traces() const { return traces_; }
    int capacity() const { return capacity_; }
    // Drops the oldest frames beyond `frames`.
    void set_capacity(int frames);

    // Spreads `values` over the traces in turn, one row per round; a last
    // row left short has no value (NaN) for the traces after the last value.
    void append(const double* values, int count, int64_t time_us);

    // The x axis counts seconds since 1970 (UTC) while at least one frame
    // held has its arrival time, frame numbers otherwise.
    bool timed() const { return timed_frames_ > 0; }
    double period() const { return timed() ? LINE_FRAME_PERIOD_S : 1.0; }
    int frames() const { return static_cast<int>(frames_.size()); }
    const Frame& frame(int index) const { return frames_[index]; }
    int64_t first_row() const { return first_row_; }
    int64_t end_row() const { return end_row_; }
    // The x extent of the history: the oldest frame's key, the end of the
    // latest one's span; both 0 when empty.
    double first_key() const;
    double end_key() const;

    // The frame that brought `row` (a held row).
    const Frame& frame_of(int64_t row) const;
    double key(int64_t row) const;
    double value(int64_t row, int trace) const;
    // The first held row at or after `key`; end_row() when none.
    int64_t row_at(double key) const;

    // The least and greatest value of the samples in [lo, hi) (low > high
    // when there is none).
    void value_extent(double lo, double hi, double& low, double& high) const;

    // The samples in [lo, hi) as each trace is drawn over `buckets` columns:
    // a column of more than a few rows keeps only its least and greatest
    // value. The rows just outside the range are added, so that the lines
    // run to the edges. `low` and `high` get the value extent inside the
    // range (low > high when it holds no value).
    void envelope(double lo, double hi, int buckets, std::vector<std::vector<Point>>& points,
                  double& low, double& high) const;

  private:
    // Rows are summarised per block of this many, so that a column of many
    // rows costs a block's summary, not every row.
    static constexpr int BLOCK = 64;
    // Values held at most, whatever a caller appends: a frame of absurd
    // size costs older frames and its own tail, not all the memory.
    static constexpr int64_t MAX_VALUES = int64_t{1} << 24;

    void drop_oldest();
    void reserve_rows(int rows_per_frame);
    void reallocate(int64_t row_capacity, bool wide);
    void write_row(int64_t row, const double* values, int count);
    void summarise(int64_t row);
    void place(std::size_t index);
    void relabel();
    // Calls `use` with the row's values, floats or doubles.
    template <class Use> void visit_row(int64_t row, Use&& use) const;
    // A block's least values then its greatest, a pair per trace.
    double* block_slot(int64_t block) const {
        return blocks_.get() + (block % block_capacity_) * 2 * traces_;
    }
    // Widens `low`/`high` (a value per trace) to the values of rows [from, to).
    void extent(int64_t from, int64_t to, double* low, double* high) const;

    int traces_;
    int capacity_; // frames kept
    std::deque<Frame> frames_;
    int64_t first_row_ = 0, end_row_ = 0;
    int64_t next_number_ = 0;
    int timed_frames_ = 0;     // frames held with an arrival time
    int rows_per_frame_ = 0;   // the most a frame brought, which sizes the ring
    int64_t row_capacity_ = 0; // rows the ring holds
    int64_t block_capacity_ = 0;
    // The rows, in floats while every value is one (the program's 12- and
    // 16-bit values are), half the memory of doubles; in doubles from the
    // first value a float would change. Allocated without initialisation:
    // pages become resident as rows fill them, so a short run costs what it
    // holds.
    bool wide_ = false;
    std::unique_ptr<float[]> floats_;
    std::unique_ptr<double[]> doubles_;
    std::unique_ptr<double[]> blocks_;
};

} // namespace kxqt
