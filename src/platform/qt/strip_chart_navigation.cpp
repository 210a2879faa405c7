// The strip chart's ways back: zoom and pan along x, "Follow latest", the
// readout under the pointer, and the axis of times of day.
#include <QDateTime>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

#include "number_text.h"
#include "strip_chart.h"
#include "tick_labels.h"

namespace kxqt {
namespace {

// How far the operator may zoom in and out, in frame periods and in
// history lengths.
constexpr double NARROWEST = 0.01;
constexpr double WIDEST = 2.0;
// How far the width of the frames followed may stray from the width they
// are shown over.
constexpr double FOLLOW_SLACK = 0.02;

const QString READOUT_LAYER = QStringLiteral("readout");

// Time of day, UTC; to the millisecond once ticks come closer than a
// second.
class TimeOfDayTicker : public LabelsOnce<QCPAxisTickerDateTime> {
  public:
    TimeOfDayTicker() { setDateTimeSpec(Qt::UTC); }
    void generate(const QCPRange& range, const QLocale& locale, QChar format_char, int precision,
                  QVector<double>& ticks, QVector<double>* sub_ticks,
                  QVector<QString>* tick_labels) override {
        QString format =
            range.size() < 4 ? QStringLiteral("hh:mm:ss.z") : QStringLiteral("hh:mm:ss");
        if (format != dateTimeFormat()) {
            setDateTimeFormat(format);
            forget_labels();
        }
        QCPAxisTickerDateTime::generate(range, locale, format_char, precision, ticks, sub_ticks,
                                        tick_labels);
    }
};

QDateTime utc(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(std::llround(seconds * 1e3), Qt::UTC);
}

} // namespace

void StripChart::set_up_going_back(const QFont& small) {
    time_ticker_.reset(new TimeOfDayTicker);
    // Going back: time runs along x only, the values follow what is shown.
    plot()->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    axis_rect()->setRangeDrag(Qt::Horizontal);
    axis_rect()->setRangeZoom(Qt::Horizontal);
    connect(plot()->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &StripChart::operator_moved);
    // The operator's own replots (drag, wheel) as well as the paced ones.
    connect(plot(), &QCustomPlot::beforeReplot, this, &StripChart::fill);
    connect(plot(), &QCustomPlot::afterLayout, this, &StripChart::place_follow_button);

    follow_button_ = new QToolButton(plot());
    follow_button_->setText(tr("Follow latest"));
    follow_button_->setToolTip(tr("Show the latest samples again, as they come"));
    follow_button_->setCursor(Qt::ArrowCursor);
    follow_button_->setFont(small);
    follow_button_->adjustSize();
    follow_button_->hide();
    connect(follow_button_, &QToolButton::clicked, this, &StripChart::follow_latest);

    // The readout changes with every move of the pointer: on a layer of its
    // own, buffered while it shows (replot_readout), it is drawn again
    // without the traces.
    plot()->addLayer(READOUT_LAYER, plottables_layer(), QCustomPlot::limBelow);
    readout_dot_ = new QCPItemTracer(plot());
    readout_dot_->setLayer(READOUT_LAYER);
    readout_dot_->setStyle(QCPItemTracer::tsCircle);
    readout_dot_->setSize(7);
    readout_dot_->setVisible(false);
    readout_ = new QCPItemText(plot());
    readout_->setLayer(READOUT_LAYER);
    readout_->position->setType(QCPItemPosition::ptAbsolute);
    readout_->setTextAlignment(Qt::AlignLeft);
    readout_->setPadding(QMargins(3, 1, 3, 1));
    readout_->setBrush(QColor(255, 255, 255, 220));
    readout_->setPen(QPen(Qt::gray));
    readout_->setFont(small);
    readout_->setClipToAxisRect(false);
    readout_->setVisible(false);
    plot()->setMouseTracking(true);
    plot()->installEventFilter(this);
}

// The axis counts frames or shows times as the history has them; when that
// changes, the place the operator had gone to means nothing any more.
void StripChart::match_axis_kind() {
    if (history_.timed() == time_axis_) return;
    time_axis_ = history_.timed();
    plot()->xAxis->setTicker(time_axis_ ? time_ticker_ : frame_ticker_);
    x_name_->setText(time_axis_ ? tr("time (UTC)") : tr("frame"));
    following_ = true;
    follow_button_->hide();
}

// The paper fills from the left, at the line's pace, until the history
// holds the frames followed, then scrolls.
QCPRange StripChart::follow_range() {
    int held = history_.frames();
    double end = history_.end_key();
    if (held >= follow_frames_) {
        double width = end - history_.frame(held - follow_frames_).key;
        if (std::abs(width - follow_width_) > FOLLOW_SLACK * follow_width_) follow_width_ = width;
        return QCPRange(end - follow_width_, end);
    }
    double first = history_.first_key();
    return QCPRange(first, std::max(end, first + follow_frames_ * history_.period()));
}

void StripChart::set_x_range(const QCPRange& range) {
    setting_range_ = true;
    plot()->xAxis->setRange(range);
    setting_range_ = false;
}

// The operator dragged or zoomed: the chart stays there, within what can
// be drawn and read.
void StripChart::operator_moved(const QCPRange& range) {
    if (setting_range_) return;
    following_ = false;
    double narrowest = NARROWEST * history_.period();
    double widest = std::max(WIDEST * history_.capacity() * history_.period(),
                             history_.end_key() - history_.first_key());
    double size = std::clamp(range.size(), narrowest, widest);
    if (size != range.size()) {
        double middle = range.center();
        set_x_range(QCPRange(middle - size / 2, middle + size / 2));
    }
    follow_button_->show();
    follow_button_->raise();
}

// The width shown becomes the frames followed, at the pace the history
// came at.
void StripChart::follow_latest() {
    int held = history_.frames();
    double spacing =
        held > 1 ? (history_.end_key() - history_.first_key()) / held : history_.period();
    double frames = plot()->xAxis->range().size() / std::max(spacing, 1e-9);
    follow_frames_ =
        static_cast<int>(std::clamp(std::round(frames), 1.0, 1.0 * history_.capacity()));
    following_ = true;
    follow_button_->hide();
    changed();
}

void StripChart::place_follow_button() {
    QRect paper = axis_rect()->rect();
    follow_button_->move(paper.right() - follow_button_->width() - 2, paper.top() + 2);
}

bool StripChart::eventFilter(QObject* watched, QEvent* event) {
    if (watched == plot()) {
        if (event->type() == QEvent::MouseMove) {
            pointer_ = static_cast<QMouseEvent*>(event)->position().toPoint();
            show_readout();
        } else if (event->type() == QEvent::Leave && readout_->visible()) {
            readout_->setVisible(false);
            readout_dot_->setVisible(false);
            replot_readout();
        }
    }
    return PlotView::eventFilter(watched, event);
}

void StripChart::show_readout() {
    bool was_visible = readout_->visible();
    update_readout();
    if (readout_->visible() || was_visible) replot_readout();
}

void StripChart::replot_readout() {
    QCPLayer* layer = plot()->layer(READOUT_LAYER);
    QCPLayer::LayerMode mode = readout_->visible() ? QCPLayer::lmBuffered : QCPLayer::lmLogical;
    if (layer->mode() == mode) {
        layer->replot();
        return;
    }
    // Shown, above the traces on a buffer of its own. Hidden, below them on
    // the lowest buffer: a buffer of its own would still be cleared at every
    // replot and copied at every paint, and above the traces' buffer it
    // would need one.
    layer->setMode(mode);
    plot()->moveLayer(layer, plottables_layer(),
                      readout_->visible() ? QCustomPlot::limAbove : QCustomPlot::limBelow);
    plot()->replot();
}

// The sample nearest the pointer along x, of the trace nearest it along y.
void StripChart::update_readout() {
    readout_->setVisible(false);
    readout_dot_->setVisible(false);
    QRect paper = axis_rect()->rect();
    if (!paper.contains(pointer_) || history_.end_row() == history_.first_row()) return;
    double key = plot()->xAxis->pixelToCoord(pointer_.x());
    int64_t row = std::min(history_.row_at(key), history_.end_row() - 1);
    if (row > history_.first_row() && key - history_.key(row - 1) < history_.key(row) - key) --row;
    int nearest = -1;
    double distance = 0.0;
    for (int trace = 0; trace < traces(); ++trace) {
        double value = history_.value(row, trace);
        if (std::isnan(value)) continue;
        double d = std::abs(plot()->yAxis->coordToPixel(value) - pointer_.y());
        if (nearest < 0 || d < distance) nearest = trace, distance = d;
    }
    if (nearest < 0) return;
    double value = history_.value(row, nearest);
    readout_->setText(x_text(row) + '\n' + plot()->graph(nearest)->name() + ": " +
                      number_text(value, single_));
    // Beside the pointer, on the side with more room, and whole on the
    // widget: the charts are narrow.
    QSize size = QFontMetrics(readout_->font())
                     .boundingRect(QRect(), Qt::AlignLeft, readout_->text())
                     .size() +
                 QSize(8, 4);
    bool left = pointer_.x() > paper.center().x();
    bool up = pointer_.y() > paper.center().y();
    int x = left ? pointer_.x() - 8 - size.width() : pointer_.x() + 12;
    int y = up ? pointer_.y() - 8 - size.height() : pointer_.y() + 12;
    x = std::clamp(x, 0, std::max(plot()->width() - size.width(), 0));
    y = std::clamp(y, 0, std::max(plot()->height() - size.height(), 0));
    readout_->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    readout_->position->setCoords(x, y);
    readout_dot_->position->setCoords(history_.key(row), value);
    readout_dot_->setPen(plot()->graph(nearest)->pen());
    readout_->setVisible(true);
    readout_dot_->setVisible(true);
}

QString StripChart::readout() const { return readout_->visible() ? readout_->text() : QString(); }

QString StripChart::x_text(int64_t row) const {
    QString frame = tr("frame %1").arg(history_.frame_of(row).number);
    if (!time_axis_) return frame;
    return utc(history_.key(row)).toString(QStringLiteral("hh:mm:ss.zzz")) + '\n' + frame;
}

} // namespace kxqt
