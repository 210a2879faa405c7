// Delay, Timer and UtcMicroseconds.
#include <QEventLoop>
#include <QSocketNotifier>
#include <chrono>
#include <thread>

#include "application.h"
#include "painted_wait.h"
#include "runtime.h"

void Delay(double seconds) {
    double deadline = Timer() + seconds;
    if (!kxqt::application_exists()) {
        // No window yet, so nothing to keep painted.
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        return;
    }
    // A stray quit of a nested loop must not cut the delay short.
    for (int left = kxqt::milliseconds_until(deadline); left > 0;
         left = kxqt::milliseconds_until(deadline)) {
        QEventLoop loop;
        kxqt::run_painted(loop, left);
    }
}

void DelayUntilReadable(int descriptor, double seconds) {
    if (descriptor < 0 || !kxqt::application_exists()) {
        Delay(seconds);
        return;
    }
    // The notifier is level-triggered: one already readable fires at the
    // loop's first pass.
    QEventLoop loop;
    QSocketNotifier readable(descriptor, QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    kxqt::run_painted(loop, kxqt::milliseconds_until(Timer() + seconds));
}

long long UtcMicroseconds() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

double Timer() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}
