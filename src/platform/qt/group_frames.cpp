#include "group_frames.h"

#include <QEvent>
#include <QGroupBox>
#include <QHash>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <utility>
#include <vector>

namespace kxqt {
namespace {

// A group box's own painting and what it was made for; a change of style
// sends the box an event that drops it.
struct Picture {
    QSize size;
    qreal pixel_ratio = 0.0;
    QString title;
    bool enabled = false;
    qint64 palette = 0;
    QFont font;
    QPixmap pixmap;

    bool shows(const QGroupBox* box) const {
        return !pixmap.isNull() && size == box->size() && pixel_ratio == box->devicePixelRatioF() &&
               title == box->title() && enabled == box->isEnabled() &&
               palette == box->palette().cacheKey() && font == box->font();
    }
};

class GroupFrames : public QObject {
  public:
    explicit GroupFrames(QWidget* window) : QObject(window) {
        setObjectName(GROUP_FRAMES_NAME);
        for (QGroupBox* box : window->findChildren<QGroupBox*>()) {
            box->installEventFilter(this);
            const QObject* key = box;
            connect(box, &QObject::destroyed, this, [this, key] { pictures_.remove(key); });
        }
    }

  protected:
    // Events come also while a box is being destroyed: it is a group box
    // only for as long as it paints.
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Paint: {
            auto* box = qobject_cast<QGroupBox*>(watched);
            // A check box in the title shows the pointer over it and the
            // focus: such a box paints itself as it comes.
            if (!box || drawing_ || box->isCheckable()) return false;
            return paint(box, static_cast<QPaintEvent*>(event)->region());
        }
        case QEvent::StyleChange:
        case QEvent::ThemeChange:
        case QEvent::LayoutDirectionChange: pictures_.remove(watched); return false;
        default: return false;
        }
    }

  private:
    // A picture cannot be made while the window paints: a box without an
    // up-to-date one paints itself, and has one made once the paint is over.
    bool paint(QGroupBox* box, const QRegion& region) {
        auto picture = pictures_.constFind(box);
        if (picture == pictures_.cend() || !picture->shows(box)) {
            if (!due_.contains(box)) {
                due_.append(box);
                QMetaObject::invokeMethod(this, &GroupFrames::draw_due, Qt::QueuedConnection);
            }
            return false;
        }
        // Rectangle by rectangle: drawn through a clip region, the picture is
        // blended over the whole box's height, which goes to Qt's thread pool
        // (paint_bands.h); a rectangle of an opaque picture is copied.
        QPainter painter(box);
        for (const QRect& rect : region)
            painter.drawPixmap(rect, picture->pixmap,
                               QRectF(QPointF(rect.topLeft()) * picture->pixel_ratio,
                                      QSizeF(rect.size()) * picture->pixel_ratio));
        return true;
    }

    void draw_due() {
        for (const QPointer<QGroupBox>& box : std::exchange(due_, {}))
            if (!box.isNull()) pictures_.insert(box.data(), draw(box.data()));
    }

    // What the window shows where the box is, before the box's children
    // paint: the window's background and what the box's ancestors draw
    // there, then the box, each as it would paint onto the window. On an
    // opaque picture, the box's smoothed edges come out exactly as there.
    Picture draw(QGroupBox* box) {
        qreal ratio = box->devicePixelRatioF();
        QPixmap pixmap(box->size() * ratio);
        pixmap.setDevicePixelRatio(ratio);
        drawing_ = true;
        std::vector<QWidget*> painters;
        for (QWidget* w = box; w; w = w->isWindow() ? nullptr : w->parentWidget())
            painters.insert(painters.begin(), w);
        for (QWidget* w : painters) {
            QRegion area(QRect(box->mapTo(w, QPoint()), box->size()));
            w->render(&pixmap, QPoint(), area,
                      w->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
        }
        drawing_ = false;
        return {box->size(), ratio, box->title(), box->isEnabled(), box->palette().cacheKey(),
                box->font(), pixmap};
    }

    bool drawing_ = false;
    QHash<const QObject*, Picture> pictures_;
    QList<QPointer<QGroupBox>> due_;
};

} // namespace

void keep_group_frames(QWidget* window) { new GroupFrames(window); }

} // namespace kxqt
