// kx_flood: the instrument's line with no baud rate. Links a pseudo-terminal
// as LINK and, once told "go" on standard input, writes whole frames as fast
// as the reader takes them (or at FPS frames a second after the first N),
// keeping a copy of every byte written in COPY, until told "stop". It then
// prints what it wrote and holds the line open until standard input closes,
// so that the reader loses nothing it had not yet read.
//
//   kx_flood [--random] [--rate FPS [--warm N]] [--bad P] [--junk P] [--drop P]
//            LINK COPY
//   --random: frames of random content (busy traces, the costliest to draw)
//   instead of the simulated instrument's.
//   --warm N: the first N frames as fast as the line takes them, then
//   nothing until told "go" again, then the pace.
//   --bad, --junk, --drop: kxsim's faults, from a fixed seed; with any of
//   them, a few whole frames without faults end the line.
//   stdin: "go", "stop"; stdout after "stop": "written FRAMES records: ..."
//   (kxsim's tally) or "stalled ..." when the reader stopped taking bytes
//   mid-frame.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <poll.h>
#include <unistd.h>

#include "faults.h"
#include "frame_format.h"
#include "instrument.h"
#include "pty_link.h"

namespace {

constexpr const char* TOOL = "kx_flood";
constexpr double LINE_FRAME_PERIOD_S = FRAME_SIZE * 10.0 / 19200.0; // the clocks in the frames
constexpr int STALL_MS = 5000; // a reader that takes nothing for this long has stopped
constexpr uint64_t SEED = 1;
constexpr uint64_t FAULT_SEED = 2;
// A reader that lost step on the last fault finds it again within two frames
// (more only when a frame's data holds the sync pattern), and then reads the
// line to its last byte: a read the quiet line cuts short is not logged.
constexpr int CLEAN_TAIL_FRAMES = 4;
constexpr long NS_PER_S = 1000000000L;

struct Options {
    bool random = false;
    double rate = 0.0; // frames a second; 0: as fast as the line takes them
    long warm = 0;     // frames sent as fast as the line takes them before the pace
    FaultRates faults;
    const char* link = nullptr;
    const char* copy = nullptr;
};

bool faulty(const FaultRates& rates) {
    return rates.bad > 0.0 || rates.junk > 0.0 || rates.drop > 0.0;
}

// The fault rate an option sets, or null.
double* fault_rate(const char* option, FaultRates* rates) {
    if (std::strcmp(option, "--bad") == 0) return &rates->bad;
    if (std::strcmp(option, "--junk") == 0) return &rates->junk;
    if (std::strcmp(option, "--drop") == 0) return &rates->drop;
    return nullptr;
}

bool parse(int argc, char** argv, Options* options) {
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        double* rate = fault_rate(argv[i], &options->faults);
        if (rate != nullptr && i + 1 < argc) {
            *rate = std::strtod(argv[++i], nullptr);
            if (!(*rate >= 0.0 && *rate <= 1.0)) return false;
        } else if (std::strcmp(argv[i], "--random") == 0) {
            options->random = true;
        } else if (std::strcmp(argv[i], "--rate") == 0 && i + 1 < argc) {
            options->rate = std::strtod(argv[++i], nullptr);
            if (!(options->rate > 0.0)) return false;
        } else if (std::strcmp(argv[i], "--warm") == 0 && i + 1 < argc) {
            options->warm = std::strtol(argv[++i], nullptr, 10);
            if (options->warm < 0) return false;
        } else {
            return false;
        }
    }
    if (argc - i != 2) return false;
    options->link = argv[i];
    options->copy = argv[i + 1];
    return true;
}

// Sync pattern, random bytes, and a checksum that holds, so that a replay of
// the raw log takes every frame too.
class RandomFrames {
  public:
    void next_frame(unsigned char* frame) {
        for (int i = 0; i < OFF_CHECKSUM; i += 8) {
            uint64_t bits = random_.next();
            std::memcpy(frame + i, &bits, OFF_CHECKSUM - i < 8 ? OFF_CHECKSUM - i : 8);
        }
        frame[0] = SYNC_FIRST;
        frame[1] = SYNC_SECOND;
        uint16_t sum = frame_checksum(frame);
        frame[OFF_CHECKSUM] = static_cast<unsigned char>(sum >> 8);
        frame[OFF_CHECKSUM + 1] = static_cast<unsigned char>(sum & 0xFF);
    }

  private:
    SimRandom random_{SEED};
};

// Frames from the simulated instrument or of random content.
class FrameMaker {
  public:
    explicit FrameMaker(bool random) : random_content_(random) {}
    void next_frame(unsigned char* frame) {
        if (random_content_)
            random_.next_frame(frame);
        else
            instrument_.next_frame(frame);
    }

  private:
    bool random_content_;
    RandomFrames random_;
    Instrument instrument_{SEED, LINE_FRAME_PERIOD_S};
};

// The bytes of frames on their way: through the faults asked for, or with
// none, each written whole to the line and to the copy.
class Line {
  public:
    Line(const Options& options, PtyLink* link, std::FILE* copy)
        : maker_(options.random), faults_(FAULT_SEED, options.faults), link_(link), copy_(copy) {}

    // False when the reader stalled, leaving part of the bytes on the line
    // and out of the copy.
    bool send(bool clean) {
        unsigned char frame[FRAME_SIZE];
        maker_.next_frame(frame);
        bytes_.clear();
        (clean ? clean_ : faults_).emit(frame, &bytes_, &tally_);
        return link_->send(bytes_.data(), bytes_.size(), STALL_MS) == Delivery::sent &&
               std::fwrite(bytes_.data(), 1, bytes_.size(), copy_) == bytes_.size();
    }

    const FaultTally& tally() const { return tally_; }

  private:
    FrameMaker maker_;
    FaultInjector faults_;
    FaultInjector clean_{FAULT_SEED, FaultRates{}};
    FaultTally tally_;
    std::vector<unsigned char> bytes_;
    PtyLink* link_;
    std::FILE* copy_;
};

// Holds the next frame back until its time when frames are paced; the pace
// starts with the first wait.
class Pace {
  public:
    explicit Pace(double rate) : period_ns_(rate > 0.0 ? static_cast<long>(NS_PER_S / rate) : 0) {}
    void wait() {
        if (period_ns_ == 0) return;
        if (!started_) clock_gettime(CLOCK_MONOTONIC, &next_);
        started_ = true;
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next_, nullptr) == EINTR) {
        }
        next_.tv_nsec += period_ns_;
        next_.tv_sec += next_.tv_nsec / NS_PER_S;
        next_.tv_nsec %= NS_PER_S;
    }

  private:
    long period_ns_;
    bool started_ = false;
    timespec next_{};
};

enum class Command { none, go, stop, closed };

// The next command on standard input, without waiting unless `wait`.
Command next_command(bool wait) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, wait ? -1 : 0) <= 0) return Command::none;
    char line[64];
    ssize_t got = read(STDIN_FILENO, line, sizeof line - 1);
    if (got <= 0) return Command::closed;
    line[got] = '\0';
    if (std::strncmp(line, "go", 2) == 0) return Command::go;
    if (std::strncmp(line, "stop", 4) == 0) return Command::stop;
    return Command::none;
}

// Writes frames until told "stop", waiting for a second "go" after the
// warm-up when paced, then the clean tail when faults are on. False when the
// reader stalled, leaving part of a frame on the line.
bool flood(const Options& options, Line* line, Command* last) {
    Pace pace(options.rate);
    bool held = options.rate > 0.0 && options.warm > 0; // until the second "go"
    for (long frames = 0;; ++frames) {
        *last = next_command(false);
        while (held && frames == options.warm && *last == Command::none)
            *last = next_command(true);
        if (*last == Command::go) held = false;
        if (frames >= options.warm) pace.wait();
        if (*last == Command::stop || *last == Command::closed) break;
        if (!line->send(false)) return false;
    }
    for (int i = 0; i < (faulty(options.faults) ? CLEAN_TAIL_FRAMES : 0); ++i)
        if (!line->send(true)) return false;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: %s [--random] [--rate FPS [--warm N]] [--bad P] [--junk P] "
                     "[--drop P] LINK COPY\n",
                     TOOL);
        return 2;
    }
    PtyLink link;
    std::string error;
    if (!link.open(options.link, &error)) {
        std::fprintf(stderr, "%s: %s\n", TOOL, error.c_str());
        return 1;
    }
    std::FILE* copy = std::fopen(options.copy, "wb");
    if (copy == nullptr) {
        std::fprintf(stderr, "%s: cannot open %s: %s\n", TOOL, options.copy, std::strerror(errno));
        return 1;
    }
    Command command = next_command(true);
    while (command == Command::none)
        command = next_command(true);
    if (command == Command::go) {
        Line line(options, &link, copy);
        bool whole = flood(options, &line, &command);
        std::fclose(copy);
        std::printf("%s ", whole ? "written" : "stalled");
        print_tally(stdout, line.tally());
        std::printf("\n");
        std::fflush(stdout);
    } else {
        std::fclose(copy);
    }
    while (command != Command::closed)
        command = next_command(true);
    return 0;
}
