// kxdump and kxsim as programs: exit statuses, which stream says what, files
// read and written, kxdump over the golden recording, the one link kxsim
// replaces and what it sends there; and the command lines of all three
// programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "files.h"
#include "tool_programs.h"

namespace {

std::string fixture(const std::string& name) {
    return read_file(std::string(KX_FIXTURES) + "/" + name);
}

// A frame of each mode, from a file of hex pairs.
std::string golden_recording() {
    std::ifstream in(std::string(KX_FIXTURES) + "/kxdump_golden.hex");
    std::string bytes;
    for (unsigned byte = 0; in >> std::hex >> byte;)
        bytes += static_cast<char>(byte);
    return bytes;
}

const std::string DUMP_USAGE =
    "usage: kxdump [--csv | --summary | --events | --limits FILE] [--journal FILE] "
    "[--spectrum OUT.csv] [--times] [--from TIME|#N] [--to TIME|#N] RECORDING\n";
const std::string SIM_USAGE = "usage: kxsim [--out FILE | --link NAME] [--count N] [--rate FPS] "
                              "[--burst N] [--random] [--seed S] [--bad P] [--junk P] [--drop P] "
                              "[--spike SPIKE] [--start-time TIME] [--note N:TEXT]\n";
const std::string VIEW_USAGE =
    "usage: kxview [--speed RATE] [--start TIME|#N] [--bell] [--publish URL] [--log FILE] "
    "[--username NAME] [--password-file FILE] [--cafile FILE] "
    "[--capath DIR] [--cert FILE] [--key FILE] [RECORDING]\n";

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
    const Case cases[] = {
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
}

// CLI11 parses; what is checked here is that each program answers a usage
// error with status 2, the reason and the usage line made from its options,
// and --help and --version as documented.
TEST(CommandLines, UsageErrorsExit2WithTheReasonAndTheUsageLine) {
    const std::pair<std::vector<std::string>, std::string> errors[] = {
        {{"kxdump"}, "kxdump: RECORDING is required\n" + DUMP_USAGE},
        {{"kxdump", "--csv", "--summary", "rec.dat"},
         "kxdump: --csv excludes --summary\n" + DUMP_USAGE},
        {{"kxdump", "--to", "14:32", "rec.dat"},
         "kxdump: --to: invalid value '14:32': expected an ISO 8601 UTC time such as "
         "2026-12-07T14:32:00Z, or #N\n" +
             DUMP_USAGE},
        {{"kxdump", "--from", "#-1", "rec.dat"},
         "kxdump: --from: invalid value '#-1': expected an ISO 8601 UTC time such as "
         "2026-12-07T14:32:00Z, or #N\n" +
             DUMP_USAGE},
        {{"kxdump", "--from", "#5", "--to", "#2", "rec.dat"},
         "kxdump: --from #5 comes after --to #2\n" + DUMP_USAGE},
        {{"kxdump", "--events", "--to", "#2", "rec.dat"},
         "kxdump: --events takes times for --from and --to, not frame numbers\n" + DUMP_USAGE},
        {{"kxsim", "--bad", "2"},
         "kxsim: --bad: invalid value '2': expected a probability from 0 to 1\n" + SIM_USAGE},
        {{"kxsim", "--count", "-1"},
         "kxsim: --count: invalid value '-1': expected a whole number, 0 or more\n" + SIM_USAGE},
        {{"kxsim", "--rate", "fast"},
         "kxsim: --rate: invalid value 'fast': expected frames a second, 0.01 or more, or max\n" +
             SIM_USAGE},
        {{"kxsim", "--out", "rec.dat", "--rate", "max"},
         "kxsim: --out excludes --rate\n" + SIM_USAGE},
        {{"kxsim", "--out", "rec.tsv"},
         "kxsim: --out: invalid value 'rec.tsv': its journal would be the recording itself\n" +
             SIM_USAGE},
        {{"kxsim", "--out", "rec.dat", "--note", "heater on"},
         "kxsim: --note: invalid value 'heater on': expected N:TEXT, a frame number and the "
         "note\n" +
             SIM_USAGE},
        {{"kxdump", "--limits", "l.toml", "--summary", "rec.dat"},
         "kxdump: --summary excludes --limits\n" + DUMP_USAGE},
        {{"kxsim", "--spike", "counter.mode0=5@1"},
         "kxsim: --spike: invalid value 'counter.mode0=5@1': counter.mode0 is not a value kxsim "
         "can set\n" +
             SIM_USAGE},
        {{"kxsim", "--spike", "words.10=70000@1"},
         "kxsim: --spike: invalid value 'words.10=70000@1': words.10 takes whole numbers from 0 "
         "to 65535\n" +
             SIM_USAGE},
        {{"kxsim", "--spike", "scaled.246=2.5@3+0"},
         "kxsim: --spike: invalid value 'scaled.246=2.5@3+0': expected NAME=VALUE@FRAME[+COUNT], "
         "FRAME 0 or more and COUNT 1 or more\n" +
             SIM_USAGE},
        {{"kxsim", "--start-time", "2026-12-07T14:32:00Z"},
         "kxsim: --start-time requires --out\n" + SIM_USAGE},
        {{"kxview", "a.dat", "b.dat"},
         "kxview: The following argument was not expected: b.dat\n" + VIEW_USAGE},
        {{"kxview", "--replay"},
         "kxview: The following argument was not expected: --replay\n" + VIEW_USAGE},
        {{"kxview", "--speed", "7", "a.dat"},
         "kxview: --speed: invalid value '7': expected 1, 5, 25, 100, 1000 (a second), 1x, "
         "10x, 100x (as recorded) or max\n" +
             VIEW_USAGE},
        {{"kxview", "--speed", "max"}, "kxview: --speed requires RECORDING\n" + VIEW_USAGE},
        {{"kxview", "--publish", "mqtt://lab:99999/t"},
         "kxview: --publish: invalid value 'mqtt://lab:99999/t': the port is not a number from 1 "
         "to 65535\n" +
             VIEW_USAGE},
        {{"kxview", "mqtt://lab/t/#"},
         "kxview: RECORDING: invalid value 'mqtt://lab/t/#': a topic cannot hold +, # or a NUL\n" +
             VIEW_USAGE},
        {{"kxview", "--publish", "mqtt://lab/t", "rec.dat"},
         "kxview: RECORDING excludes --publish\n" + VIEW_USAGE},
        {{"kxview", "--log", "copy.dat", "rec.dat"},
         "kxview: --log: a copy is kept only when viewing mqtt://...\n" + VIEW_USAGE},
        {{"kxview", "--speed", "max", "mqtt://lab/t"},
         "kxview: --speed and --start: a run viewed through a broker is shown as it comes\n" +
             VIEW_USAGE},
    };
    for (const auto& [argv, err] : errors)
        EXPECT_EQ(outcome(run(argv)), outcome(2, "", err));
    for (const auto& [program, usage] :
         {std::pair{"kxdump", DUMP_USAGE}, {"kxsim", SIM_USAGE}, {"kxview", VIEW_USAGE}}) {
        SCOPED_TRACE(program);
        EXPECT_EQ(outcome(run({program, "--version"})),
                  outcome(0, std::string(program) + " " KX_VERSION "\n", ""));
        ProgramResult help = run({program, "--help"});
        EXPECT_EQ(outcome(help.status, "", help.err), outcome(0, "", ""));
        EXPECT_TRUE(help.out.starts_with(usage + "\n")) << help.out;
        for (const char* line : {"\n  -h, --help  ", "\n  --version   "})
            EXPECT_NE(help.out.find(line), std::string::npos) << line << " in\n" << help.out;
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

// kxsim's link feeding kxview is checked in the integration tests.
// A file, or a link to something that exists (the operator's own adapter,
// say), is kept; a link to a pseudo-terminal or to nothing is replaced, and
// removed at the end.
TEST(KxsimLink, OnlyALinkLeftByAnEarlierRunIsReplaced) {
    ScratchDirectory scratch;
    write_file(scratch / "adapter", "precious");
    ASSERT_EQ(symlink("adapter", (scratch / "TTY").c_str()), 0);
    for (std::string kept : {"TTY", "adapter"})
        EXPECT_EQ(
            outcome(run({"kxsim", "--link", kept, "--count", "0"}, {.directory = scratch.root()})),
            outcome(1, "",
                    "kxsim: " + kept +
                        " exists and is not a link to a pseudo-terminal; remove it or "
                        "choose another name with --link\n"));
    EXPECT_EQ(read_file(scratch / "TTY"), "precious");
    for (const char* target : {"/dev/pts/4093", "nothing"}) {
        ScratchDirectory stale;
        ASSERT_EQ(symlink(target, (stale / "TTY").c_str()), 0);
        ProgramResult none =
            run({"kxsim", "--link", "TTY", "--count", "0"}, {.directory = stale.root()});
        EXPECT_EQ(none.status, 0) << target;
        EXPECT_FALSE(entry_exists(stale / "TTY")) << target;
    }
}

// Unpaced, kxsim waits for a reader before the first record and gives it
// time to take the last one: the reader gets every byte, the same as a
// recording with the same seed and options.
TEST(KxsimLink, UnpacedEveryRecordReachesTheReader) {
    ScratchDirectory scratch;
    const std::vector<std::string> same = {"--count", "300",    "--random", "--seed",
                                           "9",       "--junk", "0.1"};
    std::vector<std::string> to_file = {"kxsim", "--out", scratch / "sent.dat"};
    to_file.insert(to_file.end(), same.begin(), same.end());
    ASSERT_EQ(run(to_file).status, 0);
    std::vector<std::string> to_link = {"kxsim", "--link", "TTY", "--rate", "max"};
    to_link.insert(to_link.end(), same.begin(), same.end());
    ChildProcess sim(built(to_link), {.directory = scratch.root()});
    ASSERT_TRUE(
        wait_until([&] { return entry_exists(scratch / "TTY"); }, std::chrono::seconds(20)));
    int reader = open((scratch / "TTY").c_str(), O_RDONLY | O_NOCTTY);
    ASSERT_GE(reader, 0);
    std::string got;
    char buffer[4096];
    // The line hangs up when kxsim closes it.
    for (ssize_t n; (n = read(reader, buffer, sizeof buffer)) > 0;)
        got.append(buffer, static_cast<size_t>(n));
    close(reader);
    ProgramResult r = sim.finish();
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("kxsim: 300 records: 300 good"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("not delivered"), std::string::npos) << r.err;
    EXPECT_EQ(got, read_file(scratch / "sent.dat"));
}
