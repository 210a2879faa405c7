#include "sim_link.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <vector>

#include "pty_link.h"

namespace {

constexpr long NS_PER_S = 1000000000L;
// Unpaced, a reader that takes nothing for this long has stopped reading.
constexpr int STALL_MS = 5000;
// How long a stop or a pause may wait while no reader is there.
constexpr int LOOK_FOR_READER_MS = 100;

volatile std::sig_atomic_t stop_requested = 0;
volatile std::sig_atomic_t pause_requested = 0;

void request_stop(int) { stop_requested = 1; }
void request_pause(int) { pause_requested = 1; }

// No SA_RESTART: a signal ends the wait for the next frame at once.
void catch_signals() {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = request_stop;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    action.sa_handler = request_pause;
    sigaction(SIGTSTP, &action, nullptr);
}

void add_seconds(timespec* t, double seconds) {
    auto ns = static_cast<long>(seconds * NS_PER_S);
    t->tv_sec += ns / NS_PER_S;
    t->tv_nsec += ns % NS_PER_S;
    if (t->tv_nsec >= NS_PER_S) {
        t->tv_nsec -= NS_PER_S;
        ++t->tv_sec;
    }
}

// False when a stop signal ended the wait; a pause ends it too.
bool wait_until(const timespec& deadline) {
    while (!stop_requested && !pause_requested) {
        int result = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
        if (result == 0) return !stop_requested;
        if (result != EINTR) return false;
    }
    return !stop_requested;
}

// Stops between two records, so that the line never holds part of one while
// kxsim is stopped, after saying what went out so far.
void pause_if_asked(const FaultTally& tally, int64_t undelivered) {
    if (!pause_requested) return;
    pause_requested = 0;
    report_records(tally, undelivered);
    std::raise(SIGSTOP);
}

// False when a stop signal came first.
bool wait_for_reader(PtyLink* link, const Records& records, int64_t undelivered) {
    while (!link->wait_for_reader(LOOK_FOR_READER_MS)) {
        if (stop_requested) return false;
        pause_if_asked(records.tally(), undelivered);
    }
    return true;
}

void announce(const LinkOptions& options, const PtyLink& link, double period) {
    std::fprintf(stderr, "kxsim: streaming on %s -> %s ", options.name.c_str(),
                 link.device().c_str());
    if (std::isinf(options.rate))
        std::fprintf(stderr, "as fast as the reader takes them");
    else
        std::fprintf(stderr, "at %.3g frames a second", 1.0 / period);
    if (options.burst > 0 && !std::isinf(options.rate))
        std::fprintf(stderr, " after %lld unpaced", static_cast<long long>(options.burst));
    std::fprintf(stderr, "; stop with Ctrl-C\n");
}

} // namespace

int stream_on_link(const LinkOptions& options, const RecordOptions& content) {
    catch_signals();
    PtyLink link;
    std::string error;
    if (!link.open(options.name.c_str(), &error)) {
        std::fprintf(stderr, "kxsim: %s\n", error.c_str());
        return 1;
    }
    double rate = options.rate;
    double period =
        rate > 0.0 && 1.0 / rate > LINE_FRAME_PERIOD_S ? 1.0 / rate : LINE_FRAME_PERIOD_S;
    announce(options, link, period);
    Records records(content, period);
    int64_t undelivered = 0;
    // Paced, each record holds the line for its own transmission time,
    // counted from when it really went out: a late start is never made up by
    // sending faster than the line. The last record holds it too, so that it
    // reaches the reader before the link goes away. Unpaced, a record waits
    // for a reader and for room, and the reader is given time to take the
    // last one.
    for (int64_t i = 0; content.count < 0 || i < content.count; ++i) {
        pause_if_asked(records.tally(), undelivered);
        if (stop_requested) break;
        bool unpaced = std::isinf(rate) || i < options.burst;
        if (unpaced && !wait_for_reader(&link, records, undelivered)) break;
        const std::vector<unsigned char>& bytes = records.next();
        timespec next;
        clock_gettime(CLOCK_MONOTONIC, &next);
        int wait_ms = unpaced ? STALL_MS : static_cast<int>(period * 1000.0);
        if (link.send(bytes.data(), bytes.size(), wait_ms) != Delivery::sent) ++undelivered;
        if (unpaced) continue;
        double line_time = static_cast<double>(bytes.size()) * CHARACTER_TIME;
        add_seconds(&next, line_time > period ? line_time : period);
        if (!wait_until(next)) break;
    }
    link.drain(STALL_MS);
    link.close();
    report_records(records.tally(), undelivered);
    return 0;
}
