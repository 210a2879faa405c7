// Seeking in a long recording as kxview's replay does it, on the real panel
// offscreen: how long the positions of the good records take to be known
// (from the journal when the recording has one, else by the scan), and how
// long a jump of the position slider takes until its frame is painted.
//
//     QT_QPA_PLATFORM=offscreen kx_replay_seek_bench RECORDING [JUMPS]
//
// Prints one figure a line, "name value", for bench/run; exits 1 when the
// recording or the panel cannot be opened or a jump does not show its frame.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPlainTextEdit>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "accumulator.h"
#include "controls.h"
#include "frame_source.h"
#include "journal_format.h"
#include "journal_reader.h"
#include "kxview_storage.h"
#include "panel_registry.h"
#include "replay_positions.h"
#include "replay_transport.h"
#include "runtime.h"
#include "service.h"

namespace {

using Clock = std::chrono::steady_clock;

// What kxview's replay gives the scan while it waits for the next frame.
constexpr size_t SCAN_SLICE = size_t{4} << 20;
constexpr int JUMPS = 20;
// Between jumps, longer than the paint pace (33 ms): each jump starts from a
// window that may paint at once, as an operator's next move finds it.
constexpr int SETTLE_MS = 50;
// A jump that shows nothing within this long has failed.
constexpr int PAINT_LIMIT_MS = 10000;

double milliseconds_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void figure(const char* name, double value) { std::printf("%s %.6g\n", name, value); }

double resident_mb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024;
    return -1;
}

// As kxview does before its window opens: the recording, its journal when
// there is one, and the positions the journal gives.
std::FILE* open_recording(const char* path) {
    std::FILE* recording = std::fopen(path, "rb");
    if (recording == nullptr) return nullptr;
    std::FILE* journal = std::fopen(journal_path_for(path).c_str(), "rb");
    if (journal != nullptr) {
        struct stat status {};
        fstat(fileno(recording), &status);
        read_journal(journal, status.st_size, &kx.replay_journal);
        std::fclose(journal);
    }
    start_frames(SOURCE_REPLAY, recording);
    return recording;
}

// Counts the paints of one widget, so that a jump is timed until its frame
// is on the screen, the paint pace included.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

void run_events_for(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
}

// One slider commit, as the operator's: the frame read, shown and painted.
// Returns the milliseconds it took, or -1 when the frame did not show.
double jump(int panel, int64_t number, PaintCounter* hex_dump) {
    run_events_for(SETTLE_MS);
    int paints = hex_dump->paints;
    Clock::time_point start = Clock::now();
    SetCtrlVal(panel, PANEL_POSITION, static_cast<int>(number));
    answer_transport(panel, PANEL_POSITION, &kx.store);
    frame_turn(panel, SOURCE_REPLAY, &kx.store);
    QElapsedTimer limit;
    limit.start();
    while (hex_dump->paints == paints && limit.elapsed() < PAINT_LIMIT_MS)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, PAINT_LIMIT_MS);
    double took = milliseconds_since(start);
    unsigned char expected[FRAME_SIZE];
    bool shown = hex_dump->paints != paints && kx.transport.frame == number &&
                 read_frame_at(number, expected) &&
                 std::memcmp(expected, kx.frame, FRAME_SIZE) == 0;
    if (!shown)
        std::fprintf(stderr, "kx_replay_seek_bench: frame %lld not shown\n",
                     static_cast<long long>(number));
    return shown ? took : -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: kx_replay_seek_bench RECORDING [JUMPS]\n");
        return 2;
    }
    int jumps = argc == 3 ? std::atoi(argv[2]) : JUMPS;
    if (jumps < 1) {
        std::fprintf(stderr, "kx_replay_seek_bench: JUMPS must be 1 or more\n");
        return 2;
    }
    Clock::time_point start = Clock::now();
    std::FILE* recording = open_recording(argv[1]);
    if (recording == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    figure("startup_ms", milliseconds_since(start));
    figure("journal_frames", static_cast<double>(kx.positions.offsets.size()));

    if (OpenDisplay() < 0) return 1;
    init(&kx.store);
    int panel = LoadPanel(0, KX_BENCH_PANEL_FILE, PANEL);
    if (panel < 0) {
        std::fprintf(stderr, "kx_replay_seek_bench: %s\n", PanelLoadError());
        return 1;
    }
    offer_transport(panel, SOURCE_REPLAY);
    DisplayPanel(panel);
    set_up_pass(panel, SOURCE_REPLAY, &kx.store);
    run_events_for(SETTLE_MS);

    int64_t scan_from = kx.positions.scan_next;
    start = Clock::now();
    while (scan_positions(SCAN_SLICE)) {
    }
    double scan_ms = milliseconds_since(start);
    int64_t frames = static_cast<int64_t>(kx.positions.offsets.size());
    figure("frames", static_cast<double>(frames));
    figure("bytes", static_cast<double>(kx.positions.size));
    figure("scan_bytes", static_cast<double>(kx.positions.size - scan_from));
    figure("scan_ms", scan_ms);
    figure("rss_after_scan_mb", resident_mb());
    show_position(panel);

    auto* hex_dump = qobject_cast<QPlainTextEdit*>(kxqt::control_widget(panel, PANEL_HEXDUMP));
    if (hex_dump == nullptr || frames == 0) return 1;
    PaintCounter painted(hex_dump->viewport());
    std::mt19937_64 random(1);
    std::uniform_int_distribution<int64_t> target(0, frames - 1);
    std::vector<double> times;
    for (int i = 0; i < jumps; ++i) {
        double took = jump(panel, target(random), &painted);
        if (took < 0) return 1;
        times.push_back(took);
    }
    std::sort(times.begin(), times.end());
    size_t half = times.size() / 2;
    figure("jumps", static_cast<double>(times.size()));
    figure("jump_median_ms", times.size() % 2 ? times[half] : (times[half - 1] + times[half]) / 2);
    figure("jump_worst_ms", times.back());
    figure("rss_end_mb", resident_mb());
    DiscardPanel(panel);
    std::fclose(recording);
    return 0;
}
