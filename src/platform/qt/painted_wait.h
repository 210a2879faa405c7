// Waiting that keeps the window painted: paint, timer and socket events are
// handled, operator input stays queued for the next event poll.
#pragma once

class QEventLoop;

namespace kxqt {

// Runs `loop` until something quits it or `milliseconds` have passed.
void run_painted(QEventLoop& loop, int milliseconds);

// Milliseconds left until `deadline` (seconds of Timer()), never negative.
int milliseconds_until(double deadline);

} // namespace kxqt
