#include "strip_chart.h"

#include <QDateTime>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

#include "number_text.h"
#include "tick_labels.h"

namespace kxqt {
namespace {

// Told apart on a white background, also in grey print.
const QColor trace_colours[] = {
    QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
    QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
    QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f), QColor(0xbc, 0xbd, 0x22),
    QColor(0x17, 0xbe, 0xcf),
};

// "YYYY-MM-DDTHH:MM:SS.uuuuuuZ", as the journal and kxdump write times.
QString utc_text(int64_t microseconds) {
    int64_t seconds = microseconds / 1000000 - (microseconds % 1000000 < 0);
    int64_t micro = microseconds - seconds * 1000000;
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC)
               .toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")) +
           QStringLiteral(".%1Z").arg(micro, 6, 10, QLatin1Char('0'));
}

// A legend entry that measures its name once: the legend is laid out again
// at every replot, and measuring a text lays it out.
class LegendEntry : public QCPPlottableLegendItem {
  public:
    using QCPPlottableLegendItem::QCPPlottableLegendItem;

  protected:
    QSize minimumOuterSizeHint() const override {
        Measure now{mPlottable ? mPlottable->name() : QString(), getFont(),
                    mParentLegend->iconSize(), mParentLegend->iconTextPadding(), mMargins};
        if (!measured_ || !(now == measure_)) {
            measure_ = now;
            size_ = QCPPlottableLegendItem::minimumOuterSizeHint();
            measured_ = true;
        }
        return size_;
    }

  private:
    // What the size depends on.
    struct Measure {
        QString name;
        QFont font;
        QSize icon;
        int padding;
        QMargins margins;
        bool operator==(const Measure&) const = default;
    };
    mutable Measure measure_;
    mutable QSize size_;
    mutable bool measured_ = false;
};

} // namespace

StripChart::StripChart(QWidget* parent)
    : PlotView(parent), limit_lines_(new StripLimitLines(plot())),
      lines_(new StripTraces(plot(), history_)), frame_ticker_(new LabelsOnce<QCPAxisTicker>),
      x_name_(new QCPTextElement(plot(), tr("frame"), plot()->xAxis->labelFont())) {
    // Frame numbers grow long over a run and a chart may be narrow: few ticks
    // keep their labels apart.
    frame_ticker_->setTickCount(2);
    plot()->xAxis->setTicker(frame_ticker_);
    plot()->yAxis->setTicker(QSharedPointer<LabelsOnce<QCPAxisTicker>>::create());
    // The legend gets a row of its own above the traces, so that it never
    // hides the latest samples.
    QCPLegend* legend = plot()->legend;
    axis_rect()->insetLayout()->take(legend);
    plot()->plotLayout()->insertRow(0);
    plot()->plotLayout()->addElement(0, 0, legend);
    plot()->plotLayout()->setRowStretchFactor(0, 0.001);
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend->setBorderPen(Qt::NoPen);
    legend->setMargins(QMargins(0, 0, 0, 0));
    legend->setIconSize(14, 8);
    legend->setIconTextPadding(3);
    QFont small = legend->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    legend->setFont(small);
    // Thousands of samples a replot: unsmoothed one-pixel polylines cost a
    // fraction of smoothed ones and look the same at this density. A trace
    // drawn as one polyline rather than line by line costs half as much
    // (measured with the raster engine on noisy traces).
    plot()->setNotAntialiasedElements(QCP::aePlottables);
    plot()->setPlottingHint(QCP::phFastPolylines, false);
    plot()->setAutoAddPlottableToLegend(false);
    // Following the latest samples, a frame moves the x axis, its grid and
    // the traces and leaves the rest as it was drawn: those are drawn apart,
    // in that order (ready_plottables), and over the ground, as they are
    // shown whole at each frame and have no fill.
    draw_plottables_apart(true);
    QCPLayer* moving = plottables_layer();
    plot()->xAxis->grid()->setLayer(moving);
    lines_->setLayer(moving); // again, to come after the grid
    plot()->xAxis->setLayer(moving);
    // Its name does not move: it is drawn with the y axis, in a row of its
    // own below, which takes the room the axis made for it (its label
    // padding, less the layout's row spacing, and its padding below), so
    // that the paper keeps its size.
    x_name_->setLayer(plot()->layer(QStringLiteral("axes")));
    x_name_->setAutoMargins(QCP::msNone);
    x_name_->setMargins(QMargins(0,
                                 plot()->xAxis->labelPadding() - plot()->plotLayout()->rowSpacing(),
                                 0, plot()->xAxis->padding()));
    plot()->xAxis->setPadding(0);
    plot()->plotLayout()->addElement(2, 0, x_name_);
    plot()->plotLayout()->setRowStretchFactor(2, 0.001);
    set_up_going_back(small);
    rebuild();
}

void StripChart::rebuild() {
    remove_marks(marks_.size());
    limit_lines_->clear();
    plot()->clearGraphs();
    constexpr int colour_count = static_cast<int>(std::size(trace_colours));
    for (int trace = 0; trace < traces(); ++trace) {
        QCPGraph* graph = plot()->addGraph();
        QPen pen(trace_colours[trace % colour_count], 1);
        pen.setCosmetic(true);
        graph->setPen(pen);
        graph->setName(trace < names_.size() ? names_[trace] : tr("trace %1").arg(trace + 1));
        plot()->legend->addItem(new LegendEntry(plot()->legend, graph));
    }
    plot()->legend->setVisible(!names_.isEmpty());
    clear();
}

void StripChart::remove_marks(std::size_t count) {
    for (std::size_t m = 0; m < count; ++m) {
        plot()->removeItem(marks_[m].line);
        plot()->removeItem(marks_[m].label);
    }
    marks_.erase(marks_.begin(), marks_.begin() + static_cast<std::ptrdiff_t>(count));
}

// Marks go with the samples they were made at.
void StripChart::drop_old_marks() {
    std::size_t gone = 0;
    while (gone < marks_.size() && marks_[gone].row < history_.first_row())
        ++gone;
    remove_marks(gone);
}

// The samples changed otherwise than by new ones coming.
void StripChart::data_changed() {
    lines_->forget();
    changed();
}

void StripChart::set_time(int64_t utc_microseconds) { next_time_ = utc_microseconds; }

void StripChart::append(const std::vector<double>& values, bool single) {
    single_ = single;
    double first = history_.first_key();
    bool held = history_.frames() > 0;
    double latest = held ? history_.frame(history_.frames() - 1).key : 0.0;
    // The latest frame's rows spread up to the new one: they move too.
    int64_t moved = held ? history_.frame(history_.frames() - 1).first_row : history_.end_row();
    bool timed = history_.timed();
    history_.append(values.data(), static_cast<int>(values.size()), next_time_);
    next_time_ = StripHistory::NO_TIME;
    drop_old_marks();
    QCPRange shown = plot()->xAxis->range();
    bool cut_in_sight = history_.first_key() != first && history_.first_key() > shown.lower;
    if (history_.timed() != timed || cut_in_sight)
        lines_->forget();
    else
        lines_->changed_from(moved);
    // While the operator looks at older frames, a frame that comes or goes
    // out of sight costs no replot.
    if (following_ || history_.timed() != time_axis_ || history_.frames() == 1 ||
        latest < shown.upper || cut_in_sight)
        plottables_changed();
}

// The moving parts alone are drawn again while the values shown keep their
// range: the y axis, the legend and the layout are then as they were drawn.
bool StripChart::ready_plottables() {
    QCPRange values = plot()->yAxis->range();
    bool time_axis = time_axis_;
    fill();
    if (plot()->yAxis->range() != values || time_axis_ != time_axis || readout_->visible())
        return false;
    // The ticks, which a whole replot sets up before its layout.
    axis_rect()->update(QCPLayoutElement::upPreparation);
    return true;
}

void StripChart::clear(int64_t first_frame) {
    history_.clear(first_frame);
    next_time_ = StripHistory::NO_TIME;
    remove_marks(marks_.size());
    following_ = true;
    follow_button_->hide();
    readout_->setVisible(false);
    readout_dot_->setVisible(false);
    data_changed();
}

void StripChart::mark(const QString& label) {
    // Before any sample, the mark waits for the first.
    int64_t row = std::max(history_.end_row() - 1, history_.first_row());
    auto* line = new QCPItemStraightLine(plot());
    QPen pen(Qt::darkGray, 1, Qt::DashLine);
    pen.setCosmetic(true);
    line->setPen(pen);
    // The label hangs from the top of the paper, beside its line.
    auto* text = new QCPItemText(plot());
    text->position->setTypeX(QCPItemPosition::ptPlotCoords);
    text->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    text->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setText(label);
    text->setColor(Qt::darkGray);
    text->setClipToAxisRect(true);
    marks_.push_back({row, line, text});
    data_changed();
}

QStringList StripChart::marks() const {
    QStringList labels;
    for (const Mark& m : marks_)
        labels << m.label->text();
    return labels;
}

// Runs before every replot, the operator's drags and zooms included: the
// axes are fitted to what is shown; the traces are drawn from the history
// at most a few points a pixel column, so that a paint costs the width of
// the chart rather than its history.
void StripChart::fill() {
    match_axis_kind();
    if (following_) set_x_range(follow_range());
    QCPRange range = plot()->xAxis->range();
    int width = std::max(axis_rect()->width(), 1);
    // A time of day's label is some 50 pixels wide: a tick every 100 or so
    // keeps them apart.
    time_ticker_->setTickCount(std::clamp(width / 110, 1, 6));
    double low = 0.0, high = 0.0;
    history_.value_extent(range.lower, range.upper, low, high);
    if (low <= high) {
        double margin = std::max((high - low) * 0.05, 0.5);
        plot()->yAxis->setRange(low - margin, high + margin);
    }
    for (const Mark& m : marks_) {
        double key = m.row < history_.end_row() ? history_.key(m.row) : history_.end_key();
        m.line->point1->setCoords(key, 0);
        m.line->point2->setCoords(key, 1);
        m.label->position->setCoords(key, 0.02);
    }
    if (readout_->visible()) update_readout();
}

int StripChart::samples_held(int trace) const {
    if (trace < 0 || trace >= traces()) return 0;
    int count = 0;
    for (int64_t row = history_.first_row(); row < history_.end_row(); ++row)
        count += !std::isnan(history_.value(row, trace));
    return count;
}

double StripChart::latest(int trace) const {
    if (history_.end_row() == history_.first_row() || trace < 0 || trace >= traces()) return 0.0;
    return history_.value(history_.end_row() - 1, trace);
}

double StripChart::sample_key(int frame, int sample) const {
    return history_.key(history_.frame(frame).first_row + sample);
}

QString StripChart::csv() const {
    bool timed = history_.timed();
    QString text = timed ? QStringLiteral("frame,arrival") : QStringLiteral("frame");
    for (int trace = 0; trace < traces(); ++trace)
        text += ',' + csv_field(plot()->graph(trace)->name());
    text += '\n';
    for (int f = 0; f < history_.frames(); ++f) {
        const StripHistory::Frame& frame = history_.frame(f);
        QString start = QString::number(frame.number);
        if (timed)
            start += ',' +
                     (frame.time_us == StripHistory::NO_TIME ? QString() : utc_text(frame.time_us));
        for (int64_t row = frame.first_row; row < frame.first_row + frame.rows; ++row) {
            text += start;
            for (int trace = 0; trace < traces(); ++trace) {
                double value = history_.value(row, trace);
                text += ',';
                if (!std::isnan(value)) text += number_text(value, single_);
            }
            text += '\n';
        }
    }
    return text;
}

void StripChart::set_traces(int count) {
    history_ = StripHistory(count, history_.capacity());
    rebuild();
}

void StripChart::set_history_length(int frames) {
    history_.set_capacity(std::max(frames, 2));
    drop_old_marks();
    data_changed();
}

void StripChart::set_trace_names(const QStringList& names) {
    names_ = names;
    rebuild();
}

QString StripChart::y_label() const { return plot()->yAxis->label(); }
void StripChart::set_y_label(const QString& label) {
    plot()->yAxis->setLabel(label);
    changed();
}

} // namespace kxqt
