#include "strip_chart.h"

#include <algorithm>
#include <qcustomplot.h>

#include "number_text.h"

namespace kxqt {
namespace {

// Told apart on a white background, also in grey print.
const QColor trace_colours[] = {
    QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
    QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
    QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f), QColor(0xbc, 0xbd, 0x22),
    QColor(0x17, 0xbe, 0xcf),
};

} // namespace

StripChart::StripChart(QWidget* parent) : PlotView(parent) {
    plot()->xAxis->setLabel(tr("sample"));
    // Sample numbers grow long over a run and a chart may be narrow: few ticks
    // keep their labels apart.
    plot()->xAxis->ticker()->setTickCount(2);
    // The legend gets a row of its own above the traces, so that it never
    // hides the latest samples.
    QCPLegend* legend = plot()->legend;
    plot()->axisRect()->insetLayout()->take(legend);
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
    // fraction of smoothed ones and look the same at this density.
    plot()->setNotAntialiasedElements(QCP::aePlottables);
    plot()->setPlottingHint(QCP::phFastPolylines, true);
    rebuild();
}

void StripChart::rebuild() {
    plot()->clearGraphs();
    plot()->clearItems();
    marks_.clear();
    constexpr int colour_count = static_cast<int>(std::size(trace_colours));
    for (int trace = 0; trace < traces_; ++trace) {
        QCPGraph* graph = plot()->addGraph();
        QPen pen(trace_colours[trace % colour_count], 1);
        pen.setCosmetic(true);
        graph->setPen(pen);
        graph->setName(trace < names_.size() ? names_[trace] : tr("trace %1").arg(trace + 1));
    }
    plot()->legend->setVisible(!names_.isEmpty());
    next_sample_ = 0.0;
    frames_.clear();
    frame_count_ = 0;
    changed();
}

void StripChart::append(const std::vector<double>& values, bool single) {
    single_ = single;
    frames_.push_back({next_sample_, frame_count_++});
    int count = static_cast<int>(values.size());
    for (int i = 0; i < count; ++i)
        plot()->graph(i % traces_)->addData(next_sample_ + i / traces_, values[i]);
    next_sample_ += (count + traces_ - 1) / traces_;
    double first_kept = next_sample_ - history_;
    for (int trace = 0; trace < traces_; ++trace)
        plot()->graph(trace)->data()->removeBefore(first_kept);
    while (frames_.size() > 1 && frames_[1].first_sample <= first_kept)
        frames_.pop_front();
    drop_old_marks();
    changed();
}

void StripChart::mark(const QString& label) {
    double sample = std::max(next_sample_ - 1, 0.0);
    auto* line = new QCPItemStraightLine(plot());
    line->point1->setCoords(sample, 0);
    line->point2->setCoords(sample, 1);
    QPen pen(Qt::darkGray, 1, Qt::DashLine);
    pen.setCosmetic(true);
    line->setPen(pen);
    // The label hangs from the top of the paper, beside its line.
    auto* text = new QCPItemText(plot());
    text->position->setTypeX(QCPItemPosition::ptPlotCoords);
    text->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    text->position->setCoords(sample, 0.02);
    text->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setText(label);
    text->setColor(Qt::darkGray);
    text->setClipToAxisRect(true);
    marks_.push_back({sample, line, text});
    changed();
}

QStringList StripChart::marks() const {
    QStringList labels;
    for (const Mark& m : marks_)
        labels << m.label->text();
    return labels;
}

void StripChart::drop_old_marks() {
    auto kept = std::find_if(marks_.begin(), marks_.end(),
                             [&](const Mark& m) { return m.sample >= next_sample_ - history_; });
    for (auto m = marks_.begin(); m != kept; ++m) {
        plot()->removeItem(m->line);
        plot()->removeItem(m->label);
    }
    marks_.erase(marks_.begin(), kept);
}

void StripChart::before_replot() {
    double first = std::max(next_sample_ - history_, 0.0);
    plot()->xAxis->setRange(first, first + history_);
    bool found = false;
    QCPRange values;
    for (int trace = 0; trace < traces_; ++trace) {
        bool trace_found = false;
        QCPRange trace_values = plot()->graph(trace)->getValueRange(trace_found);
        if (!trace_found) continue;
        values = found ? QCPRange(std::min(values.lower, trace_values.lower),
                                  std::max(values.upper, trace_values.upper))
                       : trace_values;
        found = true;
    }
    if (found) {
        double margin = std::max(values.size() * 0.05, 0.5);
        plot()->yAxis->setRange(values.lower - margin, values.upper + margin);
    }
}

int StripChart::samples_held(int trace) const {
    if (trace < 0 || trace >= traces_) return 0;
    return plot()->graph(trace)->dataCount();
}

double StripChart::latest(int trace) const {
    if (samples_held(trace) == 0) return 0.0;
    return (plot()->graph(trace)->data()->constEnd() - 1)->value;
}

QString StripChart::csv() const {
    QString text = QStringLiteral("frame");
    for (int trace = 0; trace < traces_; ++trace)
        text += ',' + csv_field(plot()->graph(trace)->name());
    text += '\n';
    // Every trace holds the same samples: one row per sample.
    const QCPGraphDataContainer& first = *plot()->graph(0)->data();
    auto frame = frames_.cbegin();
    for (int row = 0; row < first.size(); ++row) {
        double sample = (first.constBegin() + row)->key;
        while (frame + 1 != frames_.cend() && (frame + 1)->first_sample <= sample)
            ++frame;
        text += QString::number(frame->number);
        for (int trace = 0; trace < traces_; ++trace) {
            const QCPGraphDataContainer& samples = *plot()->graph(trace)->data();
            text += ',';
            if (row < samples.size())
                text += number_text((samples.constBegin() + row)->value, single_);
        }
        text += '\n';
    }
    return text;
}

void StripChart::set_traces(int count) {
    traces_ = std::max(count, 1);
    rebuild();
}

void StripChart::set_history_length(int samples) {
    history_ = std::max(samples, 2);
    changed();
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
