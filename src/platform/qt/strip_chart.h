// A strip chart: each call's values are spread over the traces in turn, one
// sample step per round, and the latest frames are kept. The program plots
// once per good frame, so the calls are counted as frames, from 0, as
// kxdump numbers the good frames of a recording.
//
// The operator goes back over the history with the mouse: the wheel zooms
// the x axis around the pointer and a drag pans it; the chart then stays
// where it was put until "Follow latest" brings it back to the latest
// samples. Hovering shows the sample nearest the pointer.
#pragma once

#include <QPoint>
#include <QSharedPointer>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "plot_view.h"
#include "strip_history.h"
#include "strip_limit_lines.h"
#include "strip_traces.h"

class QCPAxisTicker;
class QCPItemStraightLine;
class QCPItemText;
class QCPItemTracer;
class QCPRange;
class QCPTextElement;
class QFont;
class QToolButton;

namespace kxqt {

class StripChart : public PlotView {
    Q_OBJECT
    // Set in the panel file; the values of one call must be a whole
    // multiple of the trace count.
    Q_PROPERTY(int traces READ traces WRITE set_traces)
    // Frames kept, which the operator can go back over; at the line's
    // pace, 27,000 frames are an hour.
    Q_PROPERTY(int historyLength READ history_length WRITE set_history_length)
    Q_PROPERTY(QStringList traceNames READ trace_names WRITE set_trace_names)
    Q_PROPERTY(QString yLabel READ y_label WRITE set_y_label)
  public:
    explicit StripChart(QWidget* parent = nullptr);

    // The arrival time of the samples of the next append, in microseconds
    // since 1970 UTC, or StripHistory::NO_TIME. While frames with times are
    // held, the x axis shows the time of day.
    void set_time(int64_t utc_microseconds);
    // `single`: the values were floats.
    void append(const std::vector<double>& values, bool single = false);
    // Forgets every sample and mark, and follows the latest samples again.
    void clear(int64_t first_frame = 0);
    // Dashed lines at the finite ones of a trace's limits (strip_limit_lines.h);
    // false for a trace the chart does not have.
    bool set_limits(int trace, const StripLimitLines::Limits& limits);
    // A vertical line at the latest samples, labelled: an operator's note.
    void mark(const QString& label);
    // The labels of the marks still in the history, oldest first.
    QStringList marks() const;
    int frames_held() const { return history_.frames(); }
    // Samples of one trace held (a short last row of a call has none for
    // the traces after its last value).
    int samples_held(int trace) const;
    // The value of the latest sample of a trace.
    double latest(int trace) const;
    // The x of a held sample: seconds since 1970 while the axis shows
    // times, the frame number and the sample's place in its frame otherwise.
    double sample_key(int frame, int sample) const;

    // Whether the x axis keeps the latest samples in view.
    bool following() const { return following_; }
    // Follows the latest samples again, over as many frames as now shown.
    void follow_latest();
    // What the pointer shows of the sample nearest to it; "" when none.
    QString readout() const;

    // A row per sample: the frame it came with, its arrival time when the
    // chart has times, then a column per trace.
    QString csv() const override;

    int traces() const { return history_.traces(); }
    void set_traces(int count);
    int history_length() const { return history_.capacity(); }
    void set_history_length(int frames);
    QStringList trace_names() const { return names_; }
    void set_trace_names(const QStringList& names);
    QString y_label() const;
    void set_y_label(const QString& label);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool ready_plottables() override;

  private:
    struct Mark {
        int64_t row; // the latest sample when the mark was made
        QCPItemStraightLine* line;
        QCPItemText* label;
    };

    void set_up_going_back(const QFont& small);
    void rebuild();
    void remove_marks(std::size_t count);
    void drop_old_marks();
    void data_changed();
    void fill();
    void match_axis_kind();
    QCPRange follow_range();
    void set_x_range(const QCPRange& range);
    void operator_moved(const QCPRange& range);
    void place_follow_button();
    void show_readout();
    void update_readout();
    void replot_readout();
    QString x_text(int64_t row) const;

    StripHistory history_;
    QStringList names_;
    std::vector<Mark> marks_;
    StripLimitLines* limit_lines_;
    // Draws the samples; the graphs, one a trace, give them their pens and
    // names in the legend and hold no data.
    StripTraces* lines_;
    bool single_ = false;
    int64_t next_time_ = StripHistory::NO_TIME;
    // The x axis: what it counts, whether it follows the latest samples,
    // and over how many frames it does: until the operator zooms, 40 s at
    // the line's pace, the same on both charts so that what one shows lines
    // up with the other. Counted in frames, not seconds, so that a flood of
    // frames costs a paint no more than the line's pace does.
    bool time_axis_ = false;
    bool following_ = true;
    int follow_frames_ = 300;
    // The width those frames are shown over: kept while their own width
    // stays within a few per cent of it, so that the arrival times' jitter
    // does not change the scale at every frame and the traces drawn can
    // move along as they are (strip_traces.h).
    double follow_width_ = 0.0;
    bool setting_range_ = false; // the range changes by the program, not the operator
    QSharedPointer<QCPAxisTicker> frame_ticker_, time_ticker_;
    // The x axis's name, which the axis does not draw: it moves with every
    // frame and would lay the name out again each time.
    QCPTextElement* x_name_;
    QToolButton* follow_button_ = nullptr;
    QCPItemText* readout_ = nullptr;
    QCPItemTracer* readout_dot_ = nullptr;
    QPoint pointer_;
};

} // namespace kxqt
