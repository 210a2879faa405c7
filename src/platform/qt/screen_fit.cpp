#include "screen_fit.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace kxqt {
namespace {

QMargins frame_of(const QWidget* window) {
    const QWindow* handle = window->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

// Shrinks the window so that it fits the screen's free area (the area left
// by docks and panels) with `frame` around it, and moves it inside that area.
void fit(QWidget* window, QMargins frame) {
    QRect area = window->screen()->availableGeometry();
    QSize room = area.size().shrunkBy(frame);
    QSize size = window->size().boundedTo(room).expandedTo(window->minimumSizeHint());
    if (size != window->size()) window->resize(size);
    QSize outer = size.grownBy(frame);
    QPoint corner = window->frameGeometry().topLeft();
    // Placed where the whole frame shows, the top left corner first: the
    // title bar is what the operator moves the window by.
    int x = std::max(std::min(corner.x(), area.right() + 1 - outer.width()), area.left());
    int y = std::max(std::min(corner.y(), area.bottom() + 1 - outer.height()), area.top());
    // A top-level window's position is that of its frame.
    if (QPoint(x, y) != corner) window->move(x, y);
}

// Fits the window once its frame is known, then leaves it to the operator.
class FrameWatch : public QObject {
  public:
    explicit FrameWatch(QWidget* window) : QObject(window) { window->installEventFilter(this); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto type = event->type();
        if (type != QEvent::Show && type != QEvent::Move && type != QEvent::Resize) return false;
        auto* window = static_cast<QWidget*>(watched);
        QMargins frame = frame_of(window);
        if (frame.isNull()) return false;
        deleteLater();
        window->removeEventFilter(this);
        fit(window, frame);
        return false;
    }
};

} // namespace

void fit_on_screen(QWidget* window) {
    fit(window, frame_of(window));
    new FrameWatch(window);
}

} // namespace kxqt
