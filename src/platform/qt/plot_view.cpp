#include "plot_view.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMessageBox>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QVBoxLayout>
#include <cmath>
#include <functional>
#include <optional>
#include <qcustomplot.h>
#include <utility>

#include "number_text.h"
#include "paint_bands.h"
#include "paint_pace.h"

namespace kxqt {
namespace {

// Draws a buffer over what lies beneath it, or in its place when it is
// opaque: a copy, not a blend.
void lay_down(QCPPainter* painter, bool opaque, const std::function<void()>& draw) {
    if (!opaque) {
        draw();
        return;
    }
    QPainter::CompositionMode mode = painter->compositionMode();
    painter->setCompositionMode(QPainter::CompositionMode_Source);
    draw();
    painter->setCompositionMode(mode);
}

// A plot's lowest buffer, which its background, grid and axes are drawn
// on, cleared to the plot's background when that is one opaque colour: a
// paint then copies it onto the window, instead of filling the background
// and blending the buffer over it, two passes over every pixel of the plot.
class GroundBuffer : public QCPPaintBufferPixmap {
  public:
    GroundBuffer(const QSize& size, double ratio, std::function<std::optional<QColor>()> ground)
        : QCPPaintBufferPixmap(size, ratio), ground_(std::move(ground)) {}

    bool opaque() const { return opaque_; }
    const QPixmap& picture() const { return mBuffer; }

    void clear(const QColor& color) override {
        std::optional<QColor> ground = ground_();
        opaque_ = ground.has_value();
        QCPPaintBufferPixmap::clear(ground.value_or(color));
    }

    void draw(QCPPainter* painter) const override {
        lay_down(painter, opaque_, [&] { QCPPaintBufferPixmap::draw(painter); });
    }

  private:
    std::function<std::optional<QColor>()> ground_;
    bool opaque_ = false;
};

// The buffer of a layer drawn alone (PlotView::draw_plottables_apart),
// whose next drawing can be limited to a region: it then renews only that
// region and is drawn on only there, through the paint engine's system
// clip, which the clip rectangles the layer sets for each of its parts
// cannot widen. A curve's change is a few rows: renewing and drawing the
// whole plot's pixels would cost all of them.
//
// Given an opaque ground, it starts from the ground's picture rather than
// from nothing, so that a paint copies it alone instead of copying the
// ground and blending it over: the layer changes at every frame, and a
// paint would otherwise pass twice over every pixel.
class RegionBuffer : public QCPPaintBufferPixmap {
  public:
    RegionBuffer(const QSize& size, double ratio, const GroundBuffer* ground)
        : QCPPaintBufferPixmap(size, ratio), ground_(ground) {}

    // The next drawing only, all of the buffer when `region` is empty.
    void limit_to(const QRegion& region) { limit_ = region; }

    // Whether it holds the ground beneath its own drawing: the buffers
    // below it need not be shown.
    bool grounded() const { return grounded_; }

    void clear(const QColor& color) override {
        // Drawn in part, it holds the ground elsewhere only if it did before.
        grounded_ = ground_ && ground_->opaque() && ground_->picture().size() == mBuffer.size() &&
                    (limit_.isEmpty() || grounded_);
        if (grounded_) return; // laid down once the ground is drawn (startPainting)
        if (limit_.isEmpty()) {
            QCPPaintBufferPixmap::clear(color);
            return;
        }
        QPainter painter(&mBuffer);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect& rect : limit_)
            painter.fillRect(rect, color);
    }

    QCPPainter* startPainting() override {
        if (grounded_) lay_ground();
        if (!limit_.isEmpty())
            mBuffer.paintEngine()->setSystemClip(
                QTransform::fromScale(mDevicePixelRatio, mDevicePixelRatio).map(limit_));
        return QCPPaintBufferPixmap::startPainting();
    }

    void donePainting() override {
        if (!limit_.isEmpty()) mBuffer.paintEngine()->setSystemClip(QRegion());
        limit_ = QRegion();
    }

    void draw(QCPPainter* painter) const override {
        lay_down(painter, grounded_, [&] { QCPPaintBufferPixmap::draw(painter); });
    }

  private:
    void lay_ground() {
        if (limit_.isEmpty()) {
            mBuffer = ground_->picture(); // shared until drawn on
            return;
        }
        QPainter painter(&mBuffer);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        QTransform to_pixels = QTransform::fromScale(mDevicePixelRatio, mDevicePixelRatio);
        for (const QRect& rect : limit_)
            painter.drawPixmap(QRectF(rect), ground_->picture(), to_pixels.mapRect(QRectF(rect)));
    }

    const GroundBuffer* ground_;
    QRegion limit_;
    bool grounded_ = false;
};

// A plot that grounds its lowest buffer (GroundBuffer) and copies its
// buffers onto the window band by band (paint_bands.h).
class Paper : public QCustomPlot {
  public:
    explicit Paper(QWidget* parent) : QCustomPlot(parent) {
        // It paints all of itself: what lies beneath is not painted first.
        setAttribute(Qt::WA_OpaquePaintEvent);
        // QCustomPlot makes its first buffer only when it has none, and
        // keeps it from then on.
        QSharedPointer<QCPAbstractPaintBuffer> lowest(new GroundBuffer(
            viewport().size(), bufferDevicePixelRatio(), [this] { return background_colour(); }));
        if (mPaintBuffers.isEmpty())
            mPaintBuffers.append(lowest);
        else
            mPaintBuffers[0] = lowest;
    }

    // Draws `layer` again and has the window show it where `change` says
    // it changed. The layer is drawn whole, and all of the plot shown,
    // while it has no region buffer yet, while the plot's buffers are out
    // of date (a resize, a layer added: it is replotted whole instead) and
    // at a fractional pixel ratio. `over_ground`: see
    // PlotView::draw_plottables_apart.
    void replot_layer(QCPLayer* layer, const QRegion& change, bool over_ground) {
        RegionBuffer* own = own_buffer(layer, over_ground);
        double ratio = bufferDevicePixelRatio(); // a region at whole pixels
        if (!own || hasInvalidatedPaintBuffers() || ratio != std::round(ratio)) {
            layer->replot();
            return;
        }
        if (change.isEmpty()) return; // its picture stays as it is
        own->limit_to(change);
        // The layer asks for a paint of all of the plot: only `change` is due.
        bool held = testAttribute(Qt::WA_UpdatesDisabled);
        setAttribute(Qt::WA_UpdatesDisabled, true);
        layer->replot();
        setAttribute(Qt::WA_UpdatesDisabled, held);
        own->limit_to(QRegion());
        update(change);
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        if (!qFuzzyCompare(bufferDevicePixelRatio(), devicePixelRatioF())) {
            QCustomPlot::paintEvent(event); // its buffers are made again first
            return;
        }
        QCPPainter painter(this);
        if (!painter.isActive()) return;
        // From the highest buffer that holds all beneath it.
        int first = static_cast<int>(mPaintBuffers.size()) - 1;
        while (first > 0 && !holds_all_beneath(first))
            --first;
        bool grounded = holds_all_beneath(first);
        // Rectangle by rectangle: a curve's change is many small ones.
        for (const QRect& area : event->region())
            paint_in_bands(painter, area, [&] {
                if (!grounded) {
                    if (mBackgroundBrush.style() != Qt::NoBrush)
                        painter.fillRect(mViewport, mBackgroundBrush);
                    drawBackground(&painter);
                }
                for (int index = first; index < mPaintBuffers.size(); ++index)
                    mPaintBuffers[index]->draw(&painter);
            });
    }

  private:
    // The region buffer of a buffered layer, over the ground or not; a
    // plain buffer made by QCustomPlot there is replaced, and null is
    // returned until a replot has given it the layer.
    RegionBuffer* own_buffer(const QCPLayer* layer, bool over_ground) {
        int index = buffer_index(layer);
        if (index < 1 || index >= mPaintBuffers.size()) return nullptr;
        QSharedPointer<QCPAbstractPaintBuffer>& buffer = mPaintBuffers[index];
        if (auto* own = dynamic_cast<RegionBuffer*>(buffer.data())) return own;
        buffer.reset(new RegionBuffer(
            viewport().size(), bufferDevicePixelRatio(),
            over_ground ? dynamic_cast<const GroundBuffer*>(mPaintBuffers[0].data()) : nullptr));
        return nullptr;
    }

    // Whether a buffer is opaque and holds what the buffers below it do.
    bool holds_all_beneath(int index) const {
        const QCPAbstractPaintBuffer* buffer = mPaintBuffers.value(index).data();
        if (index == 0) {
            auto* lowest = dynamic_cast<const GroundBuffer*>(buffer);
            return lowest && lowest->opaque();
        }
        auto* own = dynamic_cast<const RegionBuffer*>(buffer);
        return own && own->grounded();
    }

    // The buffer a buffered layer draws on, as QCustomPlot hands them out:
    // one to each buffered layer, and one more to the logical layers after
    // it; -1 for a logical layer.
    int buffer_index(const QCPLayer* layer) const {
        int index = 0;
        for (int i = 0; i < mLayers.size(); ++i) {
            if (mLayers[i]->mode() != QCPLayer::lmBuffered) continue;
            ++index;
            if (mLayers[i] == layer) return index;
            if (i + 1 < mLayers.size() && mLayers[i + 1]->mode() == QCPLayer::lmLogical) ++index;
        }
        return -1;
    }

    // The background as one opaque colour, if it is one.
    std::optional<QColor> background_colour() const {
        if (!mBackgroundPixmap.isNull() || mBackgroundBrush.style() != Qt::SolidPattern ||
            !mBackgroundBrush.isOpaque())
            return std::nullopt;
        return mBackgroundBrush.color();
    }
};

} // namespace

PlotView::PlotView(QWidget* parent)
    : QWidget(parent), plot_(new Paper(this)), axis_rect_(plot_->axisRect()) {
    // Nothing is drawn on the overlay: without a buffer of its own, a replot
    // clears and a paint copies one pixmap instead of two.
    plot_->layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmLogical);
    // Tick labels are numbers like those of the fields, whatever the locale.
    plot_->setLocale(number_locale());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);

    auto* save = new QAction(tr("Save as image (PNG/PDF)…"), this);
    connect(save, &QAction::triggered, this, &PlotView::ask_and_save);
    auto* copy = new QAction(tr("Copy data as CSV"), this);
    connect(copy, &QAction::triggered, this, &PlotView::copy_csv);
    // On the plot itself: it is what the pointer is over, and it takes the
    // mouse events that would ask the wrapper for a menu.
    plot_->addAction(save);
    plot_->addAction(copy);
    plot_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

bool PlotView::save_image(const QString& path) {
    refresh(); // the image shows the latest data even between two paints
    if (path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) return plot_->savePdf(path);
    return plot_->savePng(path);
}

void PlotView::refresh() {
    if (plottables_stale_ && !stale_ && !ready_plottables()) stale_ = true;
    if (stale_) {
        stale_ = plottables_stale_ = false;
        before_replot();
        plot_->replot(QCustomPlot::rpQueuedRefresh);
        replotted();
    } else if (plottables_stale_) {
        plottables_stale_ = false;
        static_cast<Paper*>(plot_)->replot_layer(plottables_, plottables_change(),
                                                 plottables_over_ground_);
        replotted();
    }
}

QRegion PlotView::plottables_change() const { return QRegion(plot_->rect()); }

void PlotView::draw_plottables_apart(bool over_ground) {
    plottables_ = plot_->layer(QStringLiteral("main"));
    plottables_over_ground_ = over_ground;
    plottables_->setMode(QCPLayer::lmBuffered);
    // Above the axes too: every other layer then shares the lowest buffer,
    // and a paint copies it and blends one more, not two.
    plot_->moveLayer(plottables_, plot_->layer(plot_->layerCount() - 1), QCustomPlot::limAbove);
    changed();
}

void PlotView::plottables_changed() {
    if (!plottables_) {
        changed();
        return;
    }
    plottables_stale_ = true;
    if (!request_paint(this)) changed();
}

void PlotView::changed() {
    stale_ = true;
    // A plot outside a paced window (while its panel is being loaded) is
    // replotted the next time the event loop turns, as QCustomPlot would.
    if (!request_paint(this)) {
        before_replot();
        plot_->replot(QCustomPlot::rpQueuedReplot);
        replotted();
        stale_ = false;
    }
}

void PlotView::ask_and_save() {
    QFileDialog dialog(this, tr("Save as image"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QStringList types{tr("PNG image (*.png)"), tr("PDF document (*.pdf)")};
    dialog.setNameFilters(types);
    // A name typed without an extension gets that of the type chosen.
    dialog.setDefaultSuffix(QStringLiteral("png"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& type) {
        dialog.setDefaultSuffix(type == types[1] ? QStringLiteral("pdf") : QStringLiteral("png"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    QString path = dialog.selectedFiles().constFirst();
    if (!save_image(path))
        QMessageBox::warning(this, tr("Save as image"), tr("Could not write %1").arg(path));
}

void PlotView::copy_csv() { QApplication::clipboard()->setText(csv()); }

QString csv_field(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace kxqt
