#include "painted_wait.h"

#include <QEventLoop>
#include <QTimer>
#include <cmath>

#include "runtime.h"

namespace kxqt {

void run_painted(QEventLoop& loop, int milliseconds) {
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(milliseconds);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

int milliseconds_until(double deadline) {
    // Waits longer than a day are taken in day-long turns.
    constexpr double longest = 86400000.0;
    double left = std::ceil((deadline - Timer()) * 1000.0);
    return left > 0 ? static_cast<int>(left < longest ? left : longest) : 0;
}

} // namespace kxqt
