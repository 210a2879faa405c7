// A strip chart: each call's values are spread over the traces in turn, one
// sample step per round, and only the latest samples are kept.
#pragma once

#include <QStringList>
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

    void append(const std::vector<double>& values);
    // A vertical line at the latest samples, labelled: an operator's note.
    void mark(const QString& label);
    // The labels of the marks still in the history, oldest first.
    QStringList marks() const;
    // Samples held by one trace (at most the history length).
    int samples_held(int trace) const;
    // The value of the latest sample of a trace.
    double latest(int trace) const;

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
};

} // namespace kxqt
