// The built kxview over the real Qt backend, as an operator starts it: fed
// live by kxsim over ./COM1 and quit by signal, a second kxview on the same
// line, and the start without a display. Start-up's other failures, and
// replay, are checked over the fake backend; the package check replays a
// recording with the installed kxview.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "child_process.h"
#include "files.h"
#include "frame_format.h"
#include "journal_reader.h"
#include "pty_link.h"
#include "refusing_display.h"

namespace {

using namespace std::chrono_literals;

// kxview started live in `dir` with `environment`; in sanitizer builds, with
// leak reports only for our own code.
ChildProcess start_kxview(const ScratchDirectory& dir,
                          std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen"}) {
    environment.push_back("LSAN_OPTIONS=suppressions=" KX_LSAN_SUPPRESSIONS
                          ":print_suppressions=0");
    return ChildProcess({KXVIEW_PATH}, {.directory = dir.root(), .environment = environment});
}

// kxsim's command line for `records` records of seed 7, a third of them
// corrupted, after `args`.
std::vector<std::string> kxsim(int records, std::vector<std::string> args) {
    args.insert(args.begin(), KXSIM_PATH);
    args.insert(args.end(), {"--count", std::to_string(records), "--seed", "7", "--bad", "0.3"});
    return args;
}

} // namespace

// Qt would abort, leaving a core file; the port and the raw log are handled
// as when the port fails. A display can be missing, or there and refusing
// kxview where its socket alone says yes: the socket takes the connection and
// hangs up, or the server turns it down (a wrong authority).
TEST(KxviewStart, WithoutADisplayOrWithOneThatRefusesIsOneLineAndStatusOneWithAnEmptyRawLog) {
    struct Case {
        const char* name;
        std::string display; // when no refusing display is made
        std::optional<Refusal> refusal;
    };
    const Case cases[] = {{"no DISPLAY", "", std::nullopt},
                          {"no server running", ":4093.0", std::nullopt},
                          {"a socket that hangs up", "", Refusal::hang_up},
                          {"a wrong authority", "", Refusal::wrong_authority}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<RefusingDisplay> server;
        if (c.refusal) server.emplace(*c.refusal);
        ScratchDirectory dir;
        PtyLink line;
        std::string error;
        ASSERT_TRUE(line.open((dir / "COM1").c_str(), &error)) << error;
        std::string display = server ? server->display() : c.display;
        ProgramResult result = start_kxview(dir, {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display,
                                                  "WAYLAND_DISPLAY=", "XAUTHORITY=" + dir / "none"})
                                   .finish();
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out,
                  "kxview: cannot open the display (set DISPLAY, or QT_QPA_PLATFORM=offscreen)\n");
        EXPECT_EQ(result.err, "");
        EXPECT_TRUE(entry_exists(dir / "varno.dat"));
        EXPECT_EQ(read_file(dir / "varno.dat"), "");
    }
}

// The main job: kxsim feeding kxview. kxview's raw log is a run of the
// recording that kxsim writes with the same options, byte for byte, every
// byte value included (the line is raw); records sent before kxview reads
// are lost. kxsim paces the records at the line's rate and removes its link
// at the end; kxview keeps running without its line until SIGINT.
TEST(KxviewLive, LogsWhatKxsimSendsByteExactAndSigintQuitsWithZero) {
    // 9.6 s of the line: kxview may take a third of it to start (a build
    // with sanitizers on a busy machine) and still log 48 records.
    const int records = 72;
    ScratchDirectory dir;
    const std::vector<std::string> faults = {"--junk", "0.1", "--drop", "0.05"};
    std::vector<std::string> to_file = {"--out", dir / "sent.dat"}, to_line = {"--link", "COM1"};
    to_file.insert(to_file.end(), faults.begin(), faults.end());
    to_line.insert(to_line.end(), faults.begin(), faults.end());
    run_program(kxsim(records, to_file));
    const std::string sent = read_file(dir / "sent.dat");
    auto started = std::chrono::steady_clock::now();
    ChildProcess sim(kxsim(records, to_line), {.directory = dir.root()});
    ASSERT_TRUE(wait_until([&] { return entry_exists(dir / "COM1"); }, 10s));
    ChildProcess kxview = start_kxview(dir);
    ProgramResult fed = sim.finish();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(fed.status, 0);
    EXPECT_TRUE(fed.err.starts_with("kxsim: streaming on COM1 -> /dev/pts/")) << fed.err;
    EXPECT_GT(took.count(), (records - 1) * 256 * 10 / 19200.0);
    EXPECT_FALSE(entry_exists(dir / "COM1"));
    kxview.send(SIGINT);
    ProgramResult result = kxview.finish();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    std::string logged = read_file(dir / "varno.dat");
    EXPECT_GE(logged.size(), sent.size() * 2 / 3);
    EXPECT_NE(sent.find(logged), std::string::npos) << logged.size() << " bytes logged";
    EXPECT_EQ(std::set<char>(logged.begin(), logged.end()).size(), 256u);
    // Live took exactly the frames that kxdump finds in its raw log, so its
    // spectrum and frame counts are those of the recording decoded later.
    std::FILE* journal = std::fopen((dir / "varno.tsv").c_str(), "rb");
    ASSERT_NE(journal, nullptr);
    JournalReading reading;
    read_journal(journal, static_cast<int64_t>(logged.size()), &reading);
    std::fclose(journal);
    std::vector<int64_t> live_frames, decoded_frames;
    for (const JournalRecord& r : reading.records)
        if (r.good) live_frames.push_back(r.offset);
    ProgramResult decoded = run_program({KXDUMP_PATH, dir / "varno.dat"});
    for (size_t at = decoded.out.find("\"offset\":"); at != std::string::npos;
         at = decoded.out.find("\"offset\":", at + 1))
        decoded_frames.push_back(std::stoll(decoded.out.substr(at + 9)));
    EXPECT_EQ(live_frames, decoded_frames);
    EXPECT_GT(live_frames.size(), 20u);
}

// Killed mid-run, kxview leaves a journal that names only records its raw
// log holds, each at a record's start, and lacks at most the last one.
TEST(KxviewLive, KilledMidRunLeavesAJournalThatMatchesItsRawLog) {
    ScratchDirectory dir;
    ChildProcess sim(
        {KXSIM_PATH, "--link", "COM1", "--count", "2000", "--seed", "3", "--bad", "0.1"},
        {.directory = dir.root()});
    ASSERT_TRUE(wait_until([&] { return entry_exists(dir / "COM1"); }, 10s));
    ChildProcess kxview = start_kxview(dir);
    ASSERT_TRUE(wait_until([&] { return read_file(dir / "varno.dat").size() >= 20 * 256; }, 60s));
    kxview.send(SIGKILL);
    kxview.finish();
    const std::string logged = read_file(dir / "varno.dat");
    std::FILE* journal = std::fopen((dir / "varno.tsv").c_str(), "rb");
    ASSERT_NE(journal, nullptr);
    JournalReading reading;
    read_journal(journal, static_cast<int64_t>(logged.size()), &reading);
    std::fclose(journal);
    // A line cut short by the kill is the only problem there may be.
    EXPECT_LE(reading.problems.size(), 1u);
    ASSERT_FALSE(reading.records.empty());
    for (const JournalRecord& r : reading.records) {
        auto record = reinterpret_cast<const unsigned char*>(logged.data()) + r.offset;
        EXPECT_EQ(checksum_ok(record), r.good) << r.offset;
    }
    int64_t named = reading.records.back().offset + 256;
    EXPECT_LE(static_cast<int64_t>(logged.size()) - named, 256);
}

// An operator's second folder whose COM1 links to the same line, or a kxview
// left running elsewhere: each used to log about half the frames. The second
// kxview is refused and says by whom, and touches no raw log: in the same
// folder it would be the first one's; the first logs every frame from its
// first one to the last sent.
TEST(KxviewLive, ASecondKxviewOnTheLineThroughAnotherLinkIsRefusedAndTheFirstLogsEveryFrame) {
    const int records = 24;
    ScratchDirectory first, second, runtime;
    const std::vector<std::string> offscreen = {"QT_QPA_PLATFORM=offscreen",
                                                "XDG_RUNTIME_DIR=" + runtime.root()};
    run_program(kxsim(records, {"--out", first / "sent.dat"}));
    const std::string sent = read_file(first / "sent.dat");
    ChildProcess sim(kxsim(records, {"--link", "COM1"}), {.directory = first.root()});
    ASSERT_TRUE(wait_until([&] { return entry_exists(first / "COM1"); }, 10s));
    const std::string device = std::filesystem::read_symlink(first / "COM1");
    std::filesystem::create_symlink(device, second / "COM1");
    ChildProcess reader = start_kxview(first, offscreen);
    ASSERT_TRUE(wait_until([&] { return !read_file(first / "varno.dat").empty(); }, 10s));
    ProgramResult refused = start_kxview(second, offscreen).finish();
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "-1 COM1 port error " + std::to_string(EBUSY) + "\n");
    EXPECT_EQ(refused.err, "kxview: ./COM1 -> " + device + ": in use by process " +
                               std::to_string(reader.pid()) + " (kxview)\n");
    EXPECT_FALSE(
        entry_exists(second / "varno.dat")); // its files, were it the same folder, untouched
    EXPECT_EQ(sim.finish().status, 0);
    reader.send(SIGINT);
    EXPECT_EQ(reader.finish().status, 0);
    std::string logged = read_file(first / "varno.dat");
    EXPECT_TRUE(sent.ends_with(logged)) << logged.size() << " of " << sent.size() << " bytes";
}
