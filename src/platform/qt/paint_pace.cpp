#include "paint_pace.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <utility>
#include <vector>

#include "field_limit_state.h"
#include "limit_look.h"
#include "plot_view.h"
#include "text_picture.h"

namespace kxqt {
namespace {

// About thirty pictures a second: as smooth as the screen, and the
// replotting of the graph and strip charts costs at most that many times.
constexpr qint64 PAINT_INTERVAL_MS = 33;
// A window's pacer is its child of this name; the pacer's timer, its child
// of the other, is active while a paint is due.
const QString PACER_NAME = QStringLiteral("kx paint pacer");
const QString PACER_TIMER_NAME = QStringLiteral("kx paint pacer timer");

// What waits for the next paint, one value a widget: a newer one replaces
// the one not yet shown.
template <class Widget, class Value>
void keep_latest(std::vector<std::pair<QPointer<Widget>, Value>>& pending, Widget* widget,
                 const Value& value) {
    auto held = std::find_if(pending.begin(), pending.end(),
                             [&](const auto& waiting) { return waiting.first == widget; });
    if (held != pending.end())
        held->second = value;
    else
        pending.emplace_back(widget, value);
}

// Qt asks a window to paint with an UpdateRequest event whenever one of its
// widgets changed. The pacer holds those requests back and delivers one
// itself when the interval since the last paint has passed, with every plot
// that changed replotted first.
class PaintPacer : public QObject {
  public:
    explicit PaintPacer(QWidget* window) : QObject(window), window_(window) {
        setObjectName(PACER_NAME);
        timer_->setObjectName(PACER_TIMER_NAME);
        timer_->setSingleShot(true);
        timer_->setTimerType(Qt::PreciseTimer);
        connect(timer_, &QTimer::timeout, this, &PaintPacer::paint);
        clock_.start();
        window->installEventFilter(this);
    }

    void show_at_paint(QPlainTextEdit* box, const QString& text) {
        keep_latest(texts_, box, text);
        request();
    }

    void state_at_paint(QLineEdit* field, int state) {
        keep_latest(states_, field, state);
        request();
    }

    void refresh_at_paint(PlotView* view) {
        if (std::find(views_.begin(), views_.end(), view) == views_.end())
            views_.emplace_back(view);
        request();
    }

    void request() {
        if (timer_->isActive()) return;
        qint64 since = clock_.elapsed() - last_paint_;
        timer_->start(static_cast<int>(std::max<qint64>(PAINT_INTERVAL_MS - since, 0)));
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_) return false;
        switch (event->type()) {
        case QEvent::UpdateRequest:
            if (painting_) return false;
            request();
            return true;
        case QEvent::Show:
        case QEvent::WindowStateChange:
            // Plots that changed while hidden or minimised are still stale.
            request();
            return false;
        default: return false;
        }
    }

  private:
    void paint() {
        // Also while hidden: what a field's state is stays true of it when
        // it is read, and is set at most once a pace interval.
        for (const auto& [field, state] : std::exchange(states_, {}))
            if (!field.isNull()) show_limit_state(field, state);
        // Qt keeps what is dirty meanwhile; showing the window asks again.
        if (!window_->isVisible() || window_->isMinimized()) return;
        for (const auto& [box, text] : texts_)
            if (!box.isNull() && !show_as_picture(box, text)) box->setPlainText(text);
        texts_.clear();
        for (const auto& view : std::exchange(views_, {}))
            if (!view.isNull()) view->refresh();
        // A widget shown since the last paint (a field's limit mark) posts
        // itself an update for later: taken now, it joins this paint rather
        // than asking for a second one a pace interval on. So do the
        // window's own requests made until now, which this paint answers.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
        QCoreApplication::removePostedEvents(window_, QEvent::UpdateRequest);
        painting_ = true;
        QEvent update(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(window_, &update);
        painting_ = false;
        last_paint_ = clock_.elapsed();
    }

    QWidget* window_;
    QTimer* timer_ = new QTimer(this);
    QElapsedTimer clock_;
    qint64 last_paint_ = -PAINT_INTERVAL_MS;
    bool painting_ = false;
    // The plots changed since the last paint, to be replotted before the
    // next.
    std::vector<QPointer<PlotView>> views_;
    // The latest text of each box, not yet shown.
    std::vector<std::pair<QPointer<QPlainTextEdit>, QString>> texts_;
    // The latest limit state of each field, not yet shown.
    std::vector<std::pair<QPointer<QLineEdit>, int>> states_;
};

PaintPacer* pacer_of(QWidget* window) {
    return static_cast<PaintPacer*>(
        window->findChild<QObject*>(PACER_NAME, Qt::FindDirectChildrenOnly));
}

} // namespace

void pace_painting(QWidget* window) {
    if (!pacer_of(window)) new PaintPacer(window);
}

bool request_paint(PlotView* view) {
    PaintPacer* pacer = pacer_of(view->window());
    if (!pacer) return false;
    pacer->refresh_at_paint(view);
    return true;
}

bool show_at_paint(QPlainTextEdit* box, const QString& text) {
    PaintPacer* pacer = pacer_of(box->window());
    if (!pacer) return false;
    pacer->show_at_paint(box, text);
    return true;
}

bool show_limit_state_at_paint(QLineEdit* field, int state) {
    if (!is_limit_state(state)) return false;
    PaintPacer* pacer = pacer_of(field->window());
    if (!pacer) return show_limit_state(field, state);
    pacer->state_at_paint(field, state);
    return true;
}

} // namespace kxqt
