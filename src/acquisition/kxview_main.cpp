#include "kxview_main.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "command_line.h"
#include "controls.h"
#include "earlier_log.h"
#include "frame_source.h"
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

SpectrumStore store; // the one store of the run, all zero at start

// The sources of one run: the port and the raw log (live), or the recording.
struct Sources {
    int source = SOURCE_LIVE;
    std::FILE* raw_log = nullptr;
    std::FILE* replay = nullptr;
};

// Opens the port and creates the raw log, empty, even when the port fails;
// an earlier log is moved aside first and never emptied. Prints the reason
// and returns false on failure, leaving nothing open.
bool open_live(Sources* s) {
    int result = OpenComConfig(LINE_PORT, LINE_NAME, LINE_BAUD, 0, 8, 1, 0, 0);
    int port_errno = errno;
    std::string kept_error;
    bool kept = move_earlier_log_aside(RAW_LOG, &kept_error);
    if (kept) s->raw_log = std::fopen(RAW_LOG, "wb");
    if (result < 0) {
        std::printf("%d COM1 port error %d\n", result, port_errno);
    } else if (!kept) {
        std::printf("Cannot move earlier raw log %s aside: %s\n", RAW_LOG, kept_error.c_str());
        CloseCom(LINE_PORT);
    } else if (s->raw_log == nullptr) {
        std::printf("Cannot create raw log %s\n", RAW_LOG);
        CloseCom(LINE_PORT);
    } else {
        return true;
    }
    if (s->raw_log != nullptr) std::fclose(s->raw_log);
    return false;
}

bool open_replay(Sources* s, const char* path) {
    // A directory opens as a stream on this system, but its first read fails,
    // which the operator would see only as "EOF on input file".
    std::error_code ignored;
    if (!std::filesystem::is_directory(path, ignored)) s->replay = std::fopen(path, "rb");
    if (s->replay == nullptr) {
        std::printf("Cannot open input file %s\n", path);
        return false;
    }
    s->source = SOURCE_REPLAY;
    return true;
}

void close_sources(const Sources& s) {
    if (s.source == SOURCE_LIVE) {
        CloseCom(LINE_PORT);
        std::fclose(s.raw_log);
    } else {
        std::fclose(s.replay);
    }
}

} // namespace

int kxview_main(int argc, char** argv) {
    std::string recording;
    CLI::App app(DESCRIPTION, "kxview");
    CLI::Option* replay =
        app.add_option("RECORDING", recording,
                       "replay this recording of 256-byte frames, five a second;\n"
                       "without it, live from COM1");
    set_up_command_line(&app, FOOTER);
    int status = parse_command_line(&app, argc, argv);
    if (status != KEEP_RUNNING) return status;
    Sources sources;
    if (!(*replay ? open_replay(&sources, recording.c_str()) : open_live(&sources))) return 1;
    // Only now: a port or file that fails is reported without a display.
    if (OpenDisplay() < 0) {
        std::printf(
            "kxview: cannot open the display (set DISPLAY, or QT_QPA_PLATFORM=offscreen)\n");
        close_sources(sources);
        return 1;
    }
    init(&store);
    int panel = LoadPanel(0, PANEL_FILE, PANEL);
    if (panel < 0) {
        std::printf("Cannot load panel %s: %s\n", PANEL_FILE, PanelLoadError());
        close_sources(sources);
        return 1;
    }
    DisplayPanel(panel);
    set_raw_log(sources.raw_log);
    set_replay_stream(sources.replay);
    while (service(panel, sources.source, &store) == 0) {
    }
    DiscardPanel(panel);
    close_sources(sources);
    return 0;
}
