// kxdump and kxsim as programs: exit statuses, which stream says what, files
// read and written, kxdump over the golden recording; kxsim streaming on a
// pseudo-terminal, read with plain POSIX reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "child_process.h"
#include "dump_args.h"
#include "files.h"
#include "frame_format.h"
#include "frames.h"
#include "sim_args.h"

namespace {

std::string fixture(const std::string& name) {
    return read_file(std::string(KX_FIXTURES) + "/" + name);
}

std::string golden(int mode) {
    Frame frame = fixture_frame("kxdump_mode" + std::to_string(mode) + ".hex");
    return std::string(frame.begin(), frame.end());
}

std::string golden_recording() { return golden(0) + golden(1) + golden(2) + golden(3); }

using namespace std::chrono_literals;

// `head` then `tail`, with kxdump or kxsim named by the built program's path.
std::vector<std::string> command(std::vector<std::string> head,
                                 const std::vector<std::string>& tail = {}) {
    head[0] = head[0] == "kxdump" ? KXDUMP : KXSIM;
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

ProgramResult run(const std::vector<std::string>& argv, const ChildSetup& setup = {}) {
    return run_program(command(argv), setup);
}

// The exit status and what went to each stream.
std::string outcome(int status, const std::string& out, const std::string& err) {
    return std::to_string(status) + " out [" + out + "] err [" + err + "]";
}

std::string outcome(const ProgramResult& r) { return outcome(r.status, r.out, r.err); }

std::string clean_report(int records) {
    std::string n = std::to_string(records);
    return outcome(0, "",
                   "kxsim: " + n + " records: " + n +
                       " good, 0 corrupted, 0 dropped; 0 junk runs, 0 junk bytes\n");
}

} // namespace

TEST(ToolPrograms, EachOutcomeHasItsStatusAndStream) {
    ScratchDirectory scratch;
    const std::string rec = scratch / "rec.dat", dir = scratch.root(), no = scratch / "no/file";
    write_file(rec, golden_recording());
    const std::string missing = ": No such file or directory\n",
                      full = ": No space left on device\n";
    struct Case {
        std::vector<std::string> argv;
        std::string outcome;
        ChildSetup setup = {};
    };
    const std::string dump_usage = std::string(DUMP_USAGE) + "\n";
    const std::string sim_usage = std::string(SIM_USAGE) + "\n";
    const Case cases[] = {
        {{"kxdump"}, outcome(2, "", "kxdump: no recording given\n" + dump_usage)},
        {{"kxdump", "--version"}, outcome(0, "kxdump " KX_VERSION "\n", "")},
        {{"kxdump", no}, outcome(1, "", "kxdump: cannot open " + no + missing)},
        {{"kxdump", dir}, outcome(1, "", "kxdump: cannot read " + dir + ": Is a directory\n")},
        {{"kxdump", "-"},
         outcome(1, "", "kxdump: cannot read standard input: Is a directory\n"),
         {.in_path = dir}},
        {{"kxdump", "--spectrum", no, rec}, outcome(1, "", "kxdump: cannot open " + no + missing)},
        {{"kxdump", "--spectrum", rec, rec},
         outcome(1, "", "kxdump: " + rec + " is the recording; the spectrum goes elsewhere\n")},
        {{"kxdump", rec},
         outcome(1, "", "kxdump: cannot write standard output" + full),
         {.out_path = "/dev/full"}},
        {{"kxdump", "--summary", "--spectrum", "/dev/full", rec},
         outcome(1, "", "kxdump: cannot write /dev/full" + full),
         {.out_path = "/dev/null"}},
        {{"kxsim", "--bad", "2"},
         outcome(2, "",
                 "kxsim: invalid value '2' for --bad: expected a probability from 0 to 1\n" +
                     sim_usage)},
        {{"kxsim", "--version"}, outcome(0, "kxsim " KX_VERSION "\n", "")},
        {{"kxsim", "--out", scratch / "none.dat", "--count", "0"}, clean_report(0)},
        {{"kxsim", "--out", scratch / "default.dat"}, clean_report(1000)},
        {{"kxsim", "--out", no}, outcome(1, "", "kxsim: cannot open " + no + missing)},
        {{"kxsim", "--out", "/dev/full", "--count", "100"},
         outcome(1, "", "kxsim: cannot write /dev/full" + full)},
        // Fails only on closing.
        {{"kxsim", "--out", "/dev/full", "--count", "1"},
         outcome(1, "", "kxsim: cannot write /dev/full" + full)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(outcome(run(c.argv, c.setup)), c.outcome);
    EXPECT_EQ(read_file(rec), golden_recording());
    EXPECT_EQ(read_file(scratch / "none.dat").size(), 0u);
    EXPECT_EQ(read_file(scratch / "default.dat").size(), 256000u);
    for (auto [program, usage] : {std::pair{"kxdump", DUMP_USAGE}, std::pair{"kxsim", SIM_USAGE}}) {
        std::string help = outcome(run({program, "--help"}));
        EXPECT_TRUE(help.starts_with("0 out [" + std::string(usage) + "\n\n")) << help;
        EXPECT_TRUE(help.ends_with("] err []")) << help;
    }
}

// The CSV leaves empty the columns that a frame's mode does not carry.
TEST(KxdumpProgram, GoldenRecordingGivesTheGoldenOutput) {
    ScratchDirectory scratch;
    write_file(scratch / "rec.dat", golden_recording());
    EXPECT_EQ(outcome(run({"kxdump", "--spectrum", scratch / "spectrum.csv", scratch / "rec.dat"})),
              outcome(0, fixture("kxdump_golden.jsonl"), ""));
    EXPECT_EQ(outcome(run({"kxdump", "--csv", scratch / "rec.dat"})),
              outcome(0, fixture("kxdump_golden.csv"), ""));
    std::string spectrum = read_file(scratch / "spectrum.csv");
    EXPECT_EQ(std::count(spectrum.begin(), spectrum.end(), '\n'), 209);
    EXPECT_TRUE(spectrum.starts_with("channel,mode,bin,position,width,counts,normalised\n"
                                     "0,0,0,1,2,1000,208.33333\n"));
}

// kxsim streaming on ./TTY ------------------------------------------------------

namespace {

bool link_made(const ScratchDirectory& scratch) {
    return wait_until([&] { return entry_exists(scratch / "TTY"); }, 10s);
}

int open_line(const ScratchDirectory& scratch) {
    return open((scratch / "TTY").c_str(), O_RDONLY | O_NOCTTY);
}

// Up to `limit` bytes, until the line ends or stays quiet for two seconds.
std::string read_line(int fd, size_t limit) {
    std::string bytes;
    char buffer[FRAME_SIZE];
    for (pollfd line{fd, POLLIN, 0}; bytes.size() < limit && poll(&line, 1, 2000) > 0;) {
        ssize_t n = read(fd, buffer, std::min(sizeof buffer, limit - bytes.size()));
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

// `arrived` is a run of whole records of `sent`.
void expect_records_of(const std::string& sent, const std::string& arrived) {
    size_t at = sent.find(arrived);
    ASSERT_NE(at, std::string::npos) << arrived.size() << " bytes, not the recording's";
    EXPECT_EQ(at % FRAME_SIZE, 0u);
    EXPECT_EQ(arrived.size() % FRAME_SIZE, 0u);
}

} // namespace

// A reader that comes, leaves with a record unread and comes back gets runs
// of whole records of the recording written with the same options; records
// sent while nobody reads are lost, as on a real line. Only records sent
// while the line is open arrive, so the time from opening it to the n-th is
// at least n - 1 periods, however late the reader runs.
TEST(KxsimLink, CarriesTheRecordingsBytesToEachReaderAtTheLinePace) {
    const std::vector<std::string> options{"--count", "24", "--seed", "7", "--bad", "0.3"};
    ScratchDirectory scratch;
    ProgramResult file = run_program(command({"kxsim", "--out", scratch / "sent.dat"}, options));
    std::string sent = read_file(scratch / "sent.dat");
    ChildProcess sim(command({"kxsim", "--link", "TTY"}, options), {.directory = scratch.root()});
    ASSERT_TRUE(link_made(scratch));
    int fd = open_line(scratch);
    ASSERT_GE(fd, 0);
    expect_records_of(sent, read_line(fd, 2 * FRAME_SIZE));
    std::this_thread::sleep_for(200ms);
    close(fd);
    std::this_thread::sleep_for(300ms);
    auto opened = std::chrono::steady_clock::now();
    fd = open_line(scratch);
    ASSERT_GE(fd, 0);
    std::string arrived = read_line(fd, sent.size());
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - opened;
    close(fd);
    ProgramResult result = sim.finish();
    EXPECT_EQ(result.status, 0);
    ASSERT_GE(arrived.size(), 2u * FRAME_SIZE);
    expect_records_of(sent, arrived);
    EXPECT_GT(took.count(), 0.13 * static_cast<double>(arrived.size() / FRAME_SIZE - 1));
    EXPECT_FALSE(entry_exists(scratch / "TTY"));
    std::string report = file.err.substr(0, file.err.size() - 1);
    EXPECT_TRUE(result.err.starts_with("kxsim: streaming on TTY -> /dev/pts/")) << result.err;
    EXPECT_NE(result.err.find(report + "; "), std::string::npos) << result.err << report;
    EXPECT_TRUE(result.err.ends_with(" not delivered (no reader, or one that stopped reading)\n"))
        << result.err;
}

TEST(KxsimLink, OnlyALinkLeftByAnEarlierRunIsReplaced) {
    ScratchDirectory scratch;
    write_file(scratch / "TTY", "precious");
    EXPECT_EQ(outcome(run({"kxsim", "--link", "TTY"}, {.directory = scratch.root()})),
              outcome(1, "",
                      "kxsim: TTY exists and is not a link to a pseudo-terminal; remove it or "
                      "choose another name with --link\n"));
    EXPECT_EQ(read_file(scratch / "TTY"), "precious");
    ScratchDirectory stale;
    ASSERT_EQ(symlink("/dev/pts/nonexistent", (stale / "TTY").c_str()), 0);
    // --count 0 sends nothing, on a link as into a file.
    ProgramResult none =
        run({"kxsim", "--link", "TTY", "--count", "0"}, {.directory = stale.root()});
    EXPECT_EQ(none.status, 0);
    EXPECT_TRUE(
        none.err.ends_with("\nkxsim: 0 records: 0 good, 0 corrupted, 0 dropped; 0 junk runs, "
                           "0 junk bytes\n"))
        << none.err;
    EXPECT_FALSE(entry_exists(stale / "TTY"));
}
