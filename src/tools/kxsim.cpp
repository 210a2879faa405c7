// kxsim: the instrument on a desk. Writes a recording at full speed, or
// streams frames over a pseudo-terminal, paced like the real serial line or
// as fast as the reader takes them.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "faults.h"
#include "instrument.h"
#include "pty_link.h"
#include "serial_line.h"

namespace {

constexpr const char* TOOL = "kxsim";
constexpr const char* DESCRIPTION =
    "Simulates the instrument: realistic 256-byte telemetry frames, with faults on request.\n";
constexpr const char* FOOTER =
    "At the end it reports on standard error how many records were sent good, corrupted\n"
    "or dropped, and how much junk. Ctrl-Z (SIGTSTP) pauses it between two records,\n"
    "after the same report; fg (SIGCONT) resumes.\n";

constexpr int64_t DEFAULT_FILE_COUNT = 1000;
// The slowest pace: a frame every 100 s keeps the instrument's clocks sane.
constexpr double MIN_RATE = 0.01;
// 256 bytes of 10 bits (8N1) at 19200 baud.
constexpr double LINE_FRAME_PERIOD_S = FRAME_SIZE * CHARACTER_TIME;
constexpr uint64_t FAULT_SEED_MIX = 0xA5A5A5A5A5A5A5A5ull;
constexpr long NS_PER_S = 1000000000L;
// Unpaced, a reader that takes nothing for this long has stopped reading.
constexpr int STALL_MS = 5000;
// How long a stop or a pause may wait while no reader is there.
constexpr int LOOK_FOR_READER_MS = 100;

struct SimArgs {
    std::optional<std::string> out; // write a recording here
    std::string link = LINE_NAME;   // or stream on a pseudo-terminal linked here
    int64_t count = -1;             // frames; -1: the mode's default
    double rate = 0.0;              // frames a second on the link; 0: the line's pace; inf: unpaced
    int64_t burst = 0;              // frames sent unpaced before the pace
    bool random = false;            // random frames instead of the instrument's
    uint64_t seed = 1;
    FaultRates faults;
};

// "max" stands for an infinite rate: no pacing at all.
CLI::Validator rate_check() {
    CLI::Validator number =
        number_from<double>(MIN_RATE, DBL_MAX, "frames a second, 0.01 or more, or max");
    return CLI::Validator(
        [number](std::string& text) {
            if (text != "max") return number(text);
            text = "inf";
            return std::string();
        },
        "");
}

// The options, each with its help, once.
void define_options(CLI::App* app, SimArgs* args) {
    const auto whole = number_from<int64_t>(0, INT64_MAX, "a whole number, 0 or more");
    const auto probability = number_from<double>(0.0, 1.0, "a probability from 0 to 1");
    CLI::Option* out = app->add_option(
        "--out", args->out, "write a recording to FILE at full speed (1000 frames unless --count)");
    out->type_name("FILE");
    app->add_option("--link", args->link,
                    "stream on a pseudo-terminal linked as NAME in the working directory,\n"
                    "paced like the 19200 baud line (the default, as COM1, until stopped)")
        ->type_name("NAME")
        ->excludes(out);
    app->add_option("--count", args->count, "frames to send")->type_name("N")->check(whole);
    app->add_option("--rate", args->rate,
                    "frames a second on the link, at most the line's 7.5; max: as fast as\n"
                    "the reader takes them, waiting for one when there is none")
        ->type_name("FPS")
        ->transform(rate_check())
        ->excludes(out);
    app->add_option("--burst", args->burst,
                    "the first N frames on the link as fast as the reader takes them,\n"
                    "then the pace (fills a display's charts at once)")
        ->type_name("N")
        ->check(whole)
        ->excludes(out);
    app->add_flag("--random", args->random,
                  "frames of random bytes (checksum correct) instead of the instrument's");
    app->add_option("--seed", args->seed,
                    "the same seed and options give the same bytes (default 1)")
        ->type_name("S")
        ->check(number_from<uint64_t>(0, UINT64_MAX, "a whole number, 0 or more"));
    app->add_option("--bad", args->faults.bad, "probability that a record's checksum is broken")
        ->type_name("P")
        ->check(probability);
    app->add_option("--junk", args->faults.junk, "probability of junk bytes before a record")
        ->type_name("P")
        ->check(probability);
    app->add_option("--drop", args->faults.drop, "probability that a record loses its tail")
        ->type_name("P")
        ->check(probability);
}

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

// The records as the line carries them: the instrument's frames or random
// ones, through the faults asked for. The same seed gives the same records
// to a recording and on a link.
class Records {
  public:
    Records(const SimArgs& args, double frame_period_s)
        : random_content_(args.random), instrument_(args.seed, frame_period_s), random_(args.seed),
          faults_(args.seed ^ FAULT_SEED_MIX, args.faults) {}

    const std::vector<unsigned char>& next() {
        unsigned char frame[FRAME_SIZE];
        if (random_content_)
            random_frame(&random_, frame);
        else
            instrument_.next_frame(frame);
        bytes_.clear();
        faults_.emit(frame, &bytes_, &tally_);
        return bytes_;
    }
    const FaultTally& tally() const { return tally_; }

  private:
    bool random_content_;
    Instrument instrument_;
    SimRandom random_;
    FaultInjector faults_;
    FaultTally tally_;
    std::vector<unsigned char> bytes_;
};

void report(const FaultTally& tally, int64_t undelivered) {
    std::fprintf(stderr, "%s: ", TOOL);
    print_tally(stderr, tally);
    if (undelivered > 0)
        std::fprintf(stderr, "; %lld not delivered (no reader, or one that stopped reading)",
                     static_cast<long long>(undelivered));
    std::fputc('\n', stderr);
}

int write_recording(const SimArgs& args) {
    std::FILE* out = std::fopen(args.out->c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "%s: cannot open %s: %s\n", TOOL, args.out->c_str(),
                     std::strerror(errno));
        return 1;
    }
    Records records(args, LINE_FRAME_PERIOD_S);
    int64_t count = args.count < 0 ? DEFAULT_FILE_COUNT : args.count;
    bool written = true;
    for (int64_t i = 0; i < count && written; ++i) {
        const std::vector<unsigned char>& bytes = records.next();
        written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    }
    written = std::fclose(out) == 0 && written;
    if (!written) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", TOOL, args.out->c_str(),
                     std::strerror(errno));
        return 1;
    }
    report(records.tally(), 0);
    return 0;
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
    report(tally, undelivered);
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

void announce(const SimArgs& args, const PtyLink& link, double period) {
    std::fprintf(stderr, "%s: streaming on %s -> %s ", TOOL, args.link.c_str(),
                 link.device().c_str());
    if (std::isinf(args.rate))
        std::fprintf(stderr, "as fast as the reader takes them");
    else
        std::fprintf(stderr, "at %.3g frames a second", 1.0 / period);
    if (args.burst > 0 && !std::isinf(args.rate))
        std::fprintf(stderr, " after %lld unpaced", static_cast<long long>(args.burst));
    std::fprintf(stderr, "; stop with Ctrl-C\n");
}

int stream_on_link(const SimArgs& args) {
    catch_signals();
    PtyLink link;
    std::string error;
    if (!link.open(args.link.c_str(), &error)) {
        std::fprintf(stderr, "%s: %s\n", TOOL, error.c_str());
        return 1;
    }
    // The clocks in the frames never run faster than the line's.
    double period = args.rate > 0.0 && 1.0 / args.rate > LINE_FRAME_PERIOD_S ? 1.0 / args.rate
                                                                             : LINE_FRAME_PERIOD_S;
    announce(args, link, period);
    Records records(args, period);
    int64_t undelivered = 0;
    // Paced, each record holds the line for its own transmission time,
    // counted from when it really went out: a late start is never made up by
    // sending faster than the line. The last record holds it too, so that it
    // reaches the reader before the link goes away. Unpaced, a record waits
    // for a reader and for room, and the reader is given time to take the
    // last one.
    for (int64_t i = 0; args.count < 0 || i < args.count; ++i) {
        pause_if_asked(records.tally(), undelivered);
        if (stop_requested) break;
        bool unpaced = std::isinf(args.rate) || i < args.burst;
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
    report(records.tally(), undelivered);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    SimArgs args;
    CLI::App app(DESCRIPTION, TOOL);
    define_options(&app, &args);
    set_up_command_line(&app, FOOTER);
    int status = parse_command_line(&app, argc, argv);
    if (status != KEEP_RUNNING) return status;
    return args.out ? write_recording(args) : stream_on_link(args);
}
