// kxview's start and end: for its arguments and for each source, display or
// panel that fails, what it prints, returns, opens and closes, and what is
// left of the raw log.
#include "kxview_main.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "controls.h"
#include "fake_runtime.h"
#include "files.h"
#include "frames.h"
#include "kxview_storage.h"

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

const std::string OPEN_PORT = R"(OpenComConfig(1, "COM1", 19200, 0, 8, 1, 0, 0))";
const std::string CLOSE_PORT = "CloseCom(1)";
const std::string OPEN_DISPLAY = "OpenDisplay()";
const std::string LOAD_PANEL = R"(LoadPanel(0, "kx.uir", 1))";
const std::string POLL = "GetUserEvent(0)";
// A frame shown, on panel 1 or 4.
const std::string SHOWN[] = {R"(SetCtrlVal(1, PANEL_STATUS, " "))",
                             R"(SetCtrlVal(4, PANEL_STATUS, " "))"};
const std::string NO_DISPLAY =
    "kxview: cannot open the display (set DISPLAY, or QT_QPA_PLATFORM=offscreen)\n";
const Frame FRAME = sealed(frame_with(0, {0xEB, 0x90, 0x00, 0x01}));
const std::string FRAME_BYTES(FRAME.begin(), FRAME.end());

// An earlier session's raw log, last written at 2026-03-04 05:06:07 local
// time, and the names it is moved aside to.
const std::string EARLIER(512, '3');
std::string aside(int suffix, const std::string& extension = ".dat") {
    return "varno-20260304-050607" + (suffix == 0 ? "" : "-" + std::to_string(suffix)) + extension;
}

void write_earlier(const std::string& name, const std::string& bytes) {
    std::tm local{};
    strptime("2026-03-04 05:06:07", "%Y-%m-%d %H:%M:%S", &local);
    local.tm_isdst = -1;
    write_file(name, bytes);
    fs::last_write_time(name, std::chrono::file_clock::from_sys(
                                  std::chrono::system_clock::from_time_t(std::mktime(&local))));
}

void write_earlier_log() { write_earlier("varno.dat", EARLIER); }

// The journal of the live run case: its start, the pass, the frame, the quit.
const std::string JOURNAL =
    "time\toffset\tkind\ttext\n"
    "2026-03-04T05:06:07.000000Z\t0\tstart\tkxview " KX_VERSION " COM1 19200 8N1\n"
    "2026-03-04T05:06:07.100000Z\t0\tpass\tx 0 4095 y 0.001 10 add 1000\n"
    "2026-03-04T05:06:07.233333Z\t0\tframe\t\n"
    "2026-03-04T05:06:07.233333Z\t256\tquit\t\n";

std::string moved_to(const std::string& name) {
    return "kxview: earlier raw log varno.dat moved to " + name + "\n";
}

std::string port_error(int result, int error) {
    return std::to_string(result) + " COM1 port error " + std::to_string(error) + "\n";
}

struct StartCase {
    const char* name;
    std::vector<std::string> argv; // the program's name first
    std::function<void()> prepare; // the files there, the fake's results and script
    int status;
    std::string out, err;
    Texts calls;                    // what was opened, polled and closed; frames shown
    std::optional<std::string> log; // varno.dat's bytes; none: no such file
    std::vector<std::pair<std::string, std::string>> kept = {}; // other files and their bytes
};

// clang-format off
const StartCase START_CASES[] = {
    // The files are those of the kxview that holds the line: left alone.
    {"the line in use: its reason said, the logs untouched", {"kxview"},
     [] { write_earlier_log(); write_file("varno.tsv", "journal");
          fake::set_open_result(-1, EBUSY, "./COM1 -> /dev/pts/3: in use"); },
     1, port_error(-1, EBUSY), "kxview: ./COM1 -> /dev/pts/3: in use\n",
     {OPEN_PORT}, EARLIER, {{"varno.tsv", "journal"}}},
    {"a port failure: an empty log, the earlier one moved aside", {"kxview"},
     [] { write_earlier_log(); fake::set_open_result(-2, ENOENT); },
     1, port_error(-2, ENOENT), moved_to(aside(0)) + "kxview: COM1: No such file or directory\n",
     {OPEN_PORT}, "", {{aside(0), EARLIER}}},
    {"a raw log that cannot be created", {"kxview"}, [] { fs::create_directory("varno.dat"); },
     1, "Cannot create raw log varno.dat\n", "kxview: varno.dat: Is a directory\n", {OPEN_PORT, CLOSE_PORT}, std::nullopt},
    // Rather than empty the earlier log, no live start.
    {"an earlier log with every name for it taken", {"kxview"},
     [] {
         for (int suffix = 0; suffix <= 99; ++suffix)
             write_file(aside(suffix), "");
         write_earlier_log();
     },
     1, "Cannot move earlier raw log varno.dat aside: every name for it is taken\n",
     "kxview: varno.dat: every name for it is taken\n",
     {OPEN_PORT, CLOSE_PORT}, EARLIER},
    {"no display", {"kxview"}, [] { fake::set_display_result(-1); },
     1, NO_DISPLAY, "", {OPEN_PORT, OPEN_DISPLAY, CLOSE_PORT}, ""},
    {"panel load failure", {"kxview"}, [] { fake::set_load_result(-1, "no such file"); },
     1, "Cannot load panel kx.uir: no such file\n", "kxview: kx.uir: no such file\n",
     {OPEN_PORT, OPEN_DISPLAY, LOAD_PANEL, CLOSE_PORT}, ""},
    {"missing recording", {"kxview", "missing.dat"}, [] {},
     1, "Cannot open input file missing.dat\n", "kxview: missing.dat: No such file or directory\n", {}, std::nullopt},
    // A directory opens as a stream, but would replay as an empty recording.
    {"a directory as the recording", {"kxview", "recordings"}, [] { fs::create_directory("recordings"); },
     1, "Cannot open input file recordings\n", "kxview: recordings: Is a directory\n", {}, std::nullopt},
    // Frames go to a fresh raw log; the earlier one takes the first free name,
    // here the last of the series.
    // The panel is discarded before the port is closed.
    {"live run", {"kxview"},
     [] {
         for (int suffix = 0; suffix <= 98; ++suffix)
             write_file(aside(suffix), std::to_string(suffix));
         write_earlier_log();
         fake::set_load_result(4);
         fake::push_events({0});
         fake::push_read(joined(FRAME));
     },
     0, "", moved_to(aside(99)),
     {OPEN_PORT, OPEN_DISPLAY, LOAD_PANEL, "DisplayPanel(4)", POLL, SHOWN[1], POLL, "DiscardPanel(4)",
      CLOSE_PORT},
     FRAME_BYTES,
     {{aside(0), "0"}, {aside(98), "98"}, {aside(99), EARLIER}, {"varno.tsv", JOURNAL}}},
    // A journal goes with its raw log, under the same name.
    {"the earlier journal goes with its log", {"kxview"},
     [] { write_earlier_log(); write_earlier("varno.tsv", "journal"); fake::set_open_result(-2, ENOENT); },
     1, port_error(-2, ENOENT),
     moved_to(aside(0)) + "kxview: its journal varno.tsv moved to " + aside(0, ".tsv") + "\n" +
         "kxview: COM1: No such file or directory\n",
     {OPEN_PORT}, "", {{aside(0), EARLIER}, {aside(0, ".tsv"), "journal"}}},
    // A run that read nothing keeps its notes; a name whose recording is
    // another run's is passed over.
    {"a journal alone", {"kxview"},
     [] { write_earlier("varno.tsv", "notes"); write_file(aside(0), "older"); fake::set_open_result(-2, ENOENT); },
     1, port_error(-2, ENOENT),
     "kxview: its journal varno.tsv moved to " + aside(1, ".tsv") + "\n" +
         "kxview: COM1: No such file or directory\n",
     {OPEN_PORT}, "", {{aside(1, ".tsv"), "notes"}, {aside(0), "older"}}},
    // An empty earlier log is reused without a word.
    {"a new pass tears nothing down", {"kxview"},
     [] { write_file("varno.dat", ""); fake::push_events({PANEL_RESTART}); },
     0, "", "",
     {OPEN_PORT, OPEN_DISPLAY, LOAD_PANEL, "DisplayPanel(1)", POLL, POLL, "DiscardPanel(1)", CLOSE_PORT},
     ""},
    // A journal that names records past the recording's end: five problems
    // said, then how many more; the frame is still shown.
    {"a replay's journal longer than its recording", {"kxview", "rec.dat"},
     [] {
         std::string journal = "time\toffset\tkind\ttext\n";
         for (int record = 0; record < 7; ++record)
             journal += "2026-03-04T05:06:07Z\t" + std::to_string(256 * (record + 1)) + "\tframe\t\n";
         write_file("rec.dat", FRAME_BYTES);
         write_file("rec.tsv", journal);
         fake::push_events({0});
     },
     0, "",
     "kxview: rec.tsv: line 2: offset 256 past the recording's end (256 bytes)\n"
     "kxview: rec.tsv: line 3: offset 512 past the recording's end (256 bytes)\n"
     "kxview: rec.tsv: line 4: offset 768 past the recording's end (256 bytes)\n"
     "kxview: rec.tsv: line 5: offset 1024 past the recording's end (256 bytes)\n"
     "kxview: rec.tsv: line 6: offset 1280 past the recording's end (256 bytes)\n"
     "kxview: rec.tsv: 2 more problems\n",
     {OPEN_DISPLAY, LOAD_PANEL, "DisplayPanel(1)", POLL, SHOWN[0], POLL, "DiscardPanel(1)"}, std::nullopt},
    {"a recording named like an option, reached through its path", {"kxview", "./--help"},
     [] { write_file("--help", FRAME_BYTES); fake::push_events({0}); },
     0, "", "",
     {OPEN_DISPLAY, LOAD_PANEL, "DisplayPanel(1)", POLL, SHOWN[0], POLL, "DiscardPanel(1)"}, std::nullopt},
    {"a recording named like an option, after --", {"kxview", "--", "--version"},
     [] { write_file("--version", FRAME_BYTES); fake::push_events({0}); },
     0, "", "",
     {OPEN_DISPLAY, LOAD_PANEL, "DisplayPanel(1)", POLL, SHOWN[0], POLL, "DiscardPanel(1)"}, std::nullopt},
};
// clang-format on

// Each case runs in a fresh, empty working directory, where varno.dat lands.
TEST(KxviewMain, StartsAndEndsAsItsArgumentsAndItsSourcesAllow) {
    for (const StartCase& c : START_CASES) {
        SCOPED_TRACE(c.name);
        ScratchDirectory dir;
        WorkingDirectory here(dir.root());
        fresh_storage();
        fake::reset();
        c.prepare();
        std::vector<std::string> args = c.argv;
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int status = kxview_main(static_cast<int>(args.size()), argv.data());
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(
            fake::texts({"OpenComConfig(", "CloseCom(", "OpenDisplay(", "LoadPanel(",
                         "DisplayPanel(", "DiscardPanel(", "GetUserEvent(", SHOWN[0], SHOWN[1]}),
            c.calls);
        EXPECT_EQ(fs::is_regular_file("varno.dat") ? std::optional(read_file("varno.dat"))
                                                   : std::nullopt,
                  c.log);
        for (const auto& [name, bytes] : c.kept)
            EXPECT_EQ(read_file(name), bytes) << name;
    }
}

} // namespace
