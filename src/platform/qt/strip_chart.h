// A strip chart: each call's values are spread over the traces in turn, one
// sample step per round, and only the latest samples are kept. The program
// plots once per good frame, so the calls are counted as frames, from 0, as
// kxdump numbers the good frames of a recording.
#pragma once

#include <QStringList>
#include <deque>
#include <vector>

class QCPItemStraightLine;
class QCPItemText;

#include "plot_view.h"

namespace kxqt {

class StripChart : public PlotView {
    Q_OBJECT
    // Set in the panel file; the values of one call must be a whole
    // multiple of the trace count.
    Q_PROPERTY(int traces READ traces WRITE set_traces)
    // Samples kept and shown per trace.
    Q_PROPERTY(int historyLength READ history_length WRITE set_history_length)
    Q_PROPERTY(QStringList traceNames READ trace_names WRITE set_trace_names)
    Q_PROPERTY(QString yLabel READ y_label WRITE set_y_label)
  public:
    explicit StripChart(QWidget* parent = nullptr);

    // `single`: the values were floats.
    void append(const std::vector<double>& values, bool single = false);
    // A vertical line at the latest samples, labelled: an operator's note.
    void mark(const QString& label);
    // The labels of the marks still in the history, oldest first.
    QStringList marks() const;
    // Samples held by one trace (at most the history length).
    int samples_held(int trace) const;
    // The value of the latest sample of a trace.
    double latest(int trace) const;

    // A row per sample: the frame it came with, then a column per trace.
    QString csv() const override;

    int traces() const { return traces_; }
    void set_traces(int count);
    int history_length() const { return history_; }
    void set_history_length(int samples);
    QStringList trace_names() const { return names_; }
    void set_trace_names(const QStringList& names);
    QString y_label() const;
    void set_y_label(const QString& label);

  protected:
    // The paper fills from the left until the history is full, then
    // scrolls; the value axis follows the samples shown.
    void before_replot() override;

  private:
    void rebuild();
    void drop_old_marks();

    struct Mark {
        double sample;
        QCPItemStraightLine* line;
        QCPItemText* label;
    };

    int traces_ = 1;
    int history_ = 500;
    QStringList names_;
    double next_sample_ = 0.0;
    std::vector<Mark> marks_;
    bool single_ = false;
    // The frames whose samples are still held: the first sample of each and
    // its number, oldest first.
    struct Frame {
        double first_sample;
        qint64 number;
    };
    std::deque<Frame> frames_;
    qint64 frame_count_ = 0; // frames plotted since the chart was built
};

} // namespace kxqt
