#include "kxview_main.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "alarm_display.h"
#include "broker_command_line.h"
#include "broker_start.h"
#include "command_line.h"
#include "controls.h"
#include "earlier_log.h"
#include "frame_source.h"
#include "journal_format.h"
#include "kxview_storage.h"
#include "limits_watch.h"
#include "replay_positions.h"
#include "replay_transport.h"
#include "run_journal.h"
#include "runtime.h"
#include "serial_line.h"
#include "service.h"

namespace {

constexpr const char* RAW_LOG = "varno.dat";
constexpr const char* PANEL_FILE = "kx.uir";
constexpr const char* DESCRIPTION =
    "Shows the instrument's telemetry frames on the operator panel and accumulates their\n"
    "spectrum: live from COM1 at 19200 baud, logging every byte read to varno.dat in the\n"
    "working directory, or the replay of a recording.\n";
constexpr const char* FOOTER =
    "A recording named like an option is given as ./NAME, or after --.\n"
    "Exit status: 0 on quit, 1 when the port, the raw log, the recording, the display or\n"
    "the panel cannot be opened, 2 on a usage error.\n";

// The sources of one run: the port and the raw log (live), or the recording.
struct Sources {
    int source = SOURCE_LIVE;
    std::FILE* raw_log = nullptr;
    std::FILE* journal = nullptr; // the raw log's; none when it cannot be created
    std::FILE* replay = nullptr;
};

// Start-up failures keep their line on standard output, which scripts read,
// and give the path and the reason on standard error.
void say_why(const char* path, const char* reason) {
    std::fprintf(stderr, "kxview: %s: %s\n", path, reason);
}

// A journal that cannot be created leaves the raw log to go on alone; the
// status line says so after every frame.
void open_journal(Sources* s) {
    std::string path = journal_path_for(RAW_LOG);
    s->journal = std::fopen(path.c_str(), "wb");
    if (s->journal == nullptr) say_why(path.c_str(), std::strerror(errno));
}

// Opens the port and creates the raw log, empty, even when the port fails;
// an earlier log is moved aside first and never emptied. A line that another
// kxview holds leaves the files alone: in the same folder they are that
// kxview's, still being written. Prints the reason and returns false on
// failure, leaving nothing open.
bool open_live(Sources* s) {
    int result = OpenComConfig(LINE_PORT, LINE_NAME, LINE_BAUD, 0, 8, 1, 0, 0);
    int port_errno = errno;
    if (result < 0 && port_errno == EBUSY) {
        std::printf("%d COM1 port error %d\n", result, port_errno);
        std::fprintf(stderr, "kxview: %s\n", ComOpenError());
        return false;
    }
    std::string kept_error;
    bool kept = move_earlier_log_aside(RAW_LOG, &kept_error);
    if (kept) s->raw_log = std::fopen(RAW_LOG, "wb");
    int log_errno = errno;
    if (result < 0) {
        std::printf("%d COM1 port error %d\n", result, port_errno);
        std::fprintf(stderr, "kxview: %s\n", ComOpenError());
    } else if (!kept) {
        std::printf("Cannot move earlier raw log %s aside: %s\n", RAW_LOG, kept_error.c_str());
        say_why(RAW_LOG, kept_error.c_str());
        CloseCom(LINE_PORT);
    } else if (s->raw_log == nullptr) {
        std::printf("Cannot create raw log %s\n", RAW_LOG);
        say_why(RAW_LOG, std::strerror(log_errno));
        CloseCom(LINE_PORT);
    } else {
        open_journal(s);
        return true;
    }
    if (s->raw_log != nullptr) std::fclose(s->raw_log);
    return false;
}

// Problems of a recording's journal said on standard error; past this many,
// only how many more there are.
constexpr size_t MOST_PROBLEMS_SAID = 5;

// A recording's journal, when it has one, gives replay its frames' arrival
// times and its notes. One that does not match is used as far as it can be.
void load_replay_journal(const char* recording, std::FILE* stream) {
    std::string path = journal_path_for(recording);
    std::FILE* journal = std::fopen(path.c_str(), "rb");
    if (journal == nullptr) return;
    struct stat status {};
    bool sized = fstat(fileno(stream), &status) == 0 && S_ISREG(status.st_mode);
    read_journal(journal, sized ? status.st_size : -1, &kx.replay_journal);
    std::fclose(journal);
    const std::vector<std::string>& problems = kx.replay_journal.problems;
    for (size_t i = 0; i < problems.size() && i < MOST_PROBLEMS_SAID; ++i)
        say_why(path.c_str(), problems[i].c_str());
    if (problems.size() > MOST_PROBLEMS_SAID)
        std::fprintf(stderr, "kxview: %s: %zu more problems\n", path.c_str(),
                     problems.size() - MOST_PROBLEMS_SAID);
}

bool open_replay(Sources* s, const char* path) {
    // A directory opens as a stream on this system, but its first read fails,
    // which the operator would see only as "EOF on input file".
    std::error_code ignored;
    bool directory = std::filesystem::is_directory(path, ignored);
    if (!directory) s->replay = std::fopen(path, "rb");
    if (s->replay == nullptr) {
        int reason = directory ? EISDIR : errno;
        std::printf("Cannot open input file %s\n", path);
        say_why(path, std::strerror(reason));
        return false;
    }
    s->source = SOURCE_REPLAY;
    load_replay_journal(path, s->replay);
    return true;
}

// A viewer reads no port; its copy of the records, when it keeps one, is
// closed as the raw log is.
void close_sources(const Sources& s) {
    stop_broker_link(&kx.broker);
    if (s.source != SOURCE_REPLAY) {
        if (s.source == SOURCE_LIVE) CloseCom(LINE_PORT);
        // What the last frames left for the next periodic sync goes now.
        for (std::FILE* file : {s.raw_log, s.journal}) {
            if (file == nullptr) continue;
            std::fflush(file);
            fdatasync(fileno(file));
            std::fclose(file);
        }
    } else {
        std::fclose(s.replay);
    }
}

// The replay speeds the command line takes, by name.
const std::map<std::string, int> SPEEDS = {{"1", 1},
                                           {"5", SPEED_STANDARD},
                                           {"25", 25},
                                           {"100", 100},
                                           {"1000", 1000},
                                           {"max", SPEED_FASTEST},
                                           {"1x", SPEED_AS_RECORDED},
                                           {"10x", 10 * SPEED_AS_RECORDED},
                                           {"100x", 100 * SPEED_AS_RECORDED}};

// Turns a speed's name into its value; else says which names there are.
CLI::Validator speed_named() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            auto found = SPEEDS.find(text);
            if (found == SPEEDS.end())
                return "invalid value '" + text +
                       "': expected 1, 5, 25, 100, 1000 (a second), 1x, 10x, 100x (as recorded) or "
                       "max";
            text = std::to_string(found->second);
            return {};
        },
        "");
}

// The replay starts at the frame `start` names; false, said, when none.
bool choose_start(const std::string& start) {
    std::string why;
    kx.transport.start_at = find_start(start, &why);
    if (kx.transport.start_at >= 0) return true;
    std::fprintf(stderr, "kxview: --start %s: %s\n", start.c_str(), why.c_str());
    return false;
}

// The window names the recording it replays, the broker's topic it shows,
// or the line.
std::string window_name(const Sources& s, const std::string& recording) {
    if (s.source == SOURCE_BROKER) return recording;
    return s.source == SOURCE_REPLAY ? std::filesystem::path(recording).filename().string()
                                     : LINE_NAME;
}

} // namespace

int kxview_main(int argc, char** argv) {
    std::string recording;
    CLI::App app(DESCRIPTION, "kxview");
    CLI::Option* replay =
        app.add_option("RECORDING", recording,
                       "replay this recording of 256-byte frames, five a second;\n"
                       "without it, live from COM1");
    std::string start;
    app.add_option("--speed", kx.transport.speed,
                   "replay this many frames a second (1, 5, 25, 100, 1000), as recorded\n"
                   "times 1, 10 or 100 (1x, 10x, 100x), or as fast as possible (max)")
        ->transform(speed_named())
        ->type_name("RATE")
        ->needs(replay);
    app.add_option("--start", start,
                   "replay from frame N (#N, numbered from 0 as kxdump numbers them)\n"
                   "or from a time (YYYY-MM-DDThh:mm:ssZ, or hh:mm:ss on the first day)")
        ->type_name("TIME|#N")
        ->needs(replay);
    app.add_flag("--bell", kx.alarms.bell, "ring the bell when a value goes beyond a red limit");
    BrokerCommandLine broker;
    add_broker_options(&app, replay, &recording, &broker);
    set_up_command_line(&app, FOOTER);
    int status = parse_command_line(&app, argc, argv);
    if (status != KEEP_RUNNING) return status;
    Sources sources;
    if (broker.role == ROLE_VIEWER) {
        sources.source = SOURCE_BROKER;
        if (!start_viewing(broker, &sources.raw_log, &sources.journal)) return 1;
    } else if (broker.role == ROLE_PUBLISHER && !start_publishing(broker)) {
        return 1;
    } else if (!(*replay ? open_replay(&sources, recording.c_str()) : open_live(&sources))) {
        stop_broker_link(&kx.broker);
        return 1;
    }
    start_frames(sources.source, sources.replay);
    if (!start.empty() && !choose_start(start)) {
        close_sources(sources);
        return 2;
    }
    // Only now: a port or file that fails is reported without a display.
    if (OpenDisplay() < 0) {
        std::printf(
            "kxview: cannot open the display (set DISPLAY, or QT_QPA_PLATFORM=offscreen)\n");
        close_sources(sources);
        return 1;
    }
    init(&kx.store);
    int panel = LoadPanel(0, PANEL_FILE, PANEL);
    if (panel < 0) {
        std::printf("Cannot load panel %s: %s\n", PANEL_FILE, PanelLoadError());
        say_why(PANEL_FILE, PanelLoadError());
        close_sources(sources);
        return 1;
    }
    name_window(panel, window_name(sources, recording).c_str());
    offer_transport(panel, sources.source);
    DisplayPanel(panel);
    set_raw_log(sources.raw_log);
    set_journal(sources.journal);
    kx.journal_failing =
        sources.source != SOURCE_REPLAY && sources.raw_log != nullptr && sources.journal == nullptr;
    // A viewer's copy names the broker its records came through.
    journal_event("start", sources.source == SOURCE_BROKER
                               ? "kxview " KX_VERSION " " + recording
                               : std::string("kxview " KX_VERSION " COM1 19200 8N1"));
    start_limits(panel);
    while (service(panel, sources.source, &kx.store) == 0) {
    }
    DiscardPanel(panel);
    close_sources(sources);
    return 0;
}
