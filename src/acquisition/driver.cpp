#include "driver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "controls.h"
#include "earlier_log.h"
#include "frame_source.h"
#include "record_reader.h"
#include "runtime.h"
#include "service.h"

namespace {

constexpr int PORT = 1;
constexpr const char* RAW_LOG = "varno.dat";
constexpr const char* PANEL_FILE = "kx.uir";
// A wrong command line gets the first line alone, on standard error; --help
// gets all of it.
constexpr const char* USAGE_LINE = "usage: kxview [RECORDING]\n";
constexpr const char* USAGE_DETAILS =
    "  without RECORDING: live from COM1, logging every frame to varno.dat\n"
    "  with RECORDING: replay of a recorded file of 256-byte frames\n";

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
    int result = OpenComConfig(PORT, "COM1", 19200, 0, 8, 1, 0, 0);
    int port_errno = errno;
    std::string kept_error;
    bool kept = move_earlier_log_aside(RAW_LOG, &kept_error);
    if (kept) s->raw_log = std::fopen(RAW_LOG, "wb");
    if (result < 0) {
        std::printf("%d COM1 port error %d\n", result, port_errno);
    } else if (!kept) {
        std::printf("Cannot move earlier raw log %s aside: %s\n", RAW_LOG, kept_error.c_str());
        CloseCom(PORT);
    } else if (s->raw_log == nullptr) {
        std::printf("Cannot create raw log %s\n", RAW_LOG);
        CloseCom(PORT);
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
        CloseCom(PORT);
        std::fclose(s.raw_log);
    } else {
        std::fclose(s.replay);
    }
}

// Options are taken only where a recording could not be meant; a recording
// named like one can be given as ./--help.
int answer_options(int argc, char** argv) {
    if (argc > 2) {
        std::fputs(USAGE_LINE, stderr);
        return 2;
    }
    if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        std::fputs(USAGE_LINE, stdout);
        std::fputs(USAGE_DETAILS, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("kxview %s\n", KX_VERSION);
        return 0;
    }
    return -1;
}

} // namespace

int kxview_main(int argc, char** argv) {
    int status = answer_options(argc, argv);
    if (status >= 0) return status;
    Sources sources;
    // argc is 0 when the program is started with an empty argument vector.
    if (!(argc <= 1 ? open_live(&sources) : open_replay(&sources, argv[1]))) return 1;
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
