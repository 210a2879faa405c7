// kxsim writing recordings: determinism, its closing report, and kxdump
// finding exactly the good records it wrote.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "child_process.h"
#include "files.h"
#include "scratch_directory.h"

namespace {

const std::string USAGE = "usage: kxsim [--out FILE | --link NAME] [--count N] [--rate FPS] "
                          "[--seed S] [--bad P] [--junk P] [--drop P]";

ProgramResult kxsim(const std::vector<std::string>& args) {
    std::vector<std::string> argv{KXSIM};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(argv);
}

struct Report {
    long long records = -1, good = -1, corrupted = -1, dropped = -1, junk_runs = -1,
              junk_bytes = -1;
};

Report report_of(const std::string& err) {
    Report r;
    std::sscanf(err.c_str(),
                "kxsim: %lld records: %lld good, %lld corrupted, %lld dropped; %lld junk runs, "
                "%lld junk bytes",
                &r.records, &r.good, &r.corrupted, &r.dropped, &r.junk_runs, &r.junk_bytes);
    return r;
}

// "frames" of kxdump's summary line.
long long frames_found(const std::string& recording) {
    ProgramResult result = run_program({KXDUMP, "--summary", recording});
    long long frames = -1;
    std::sscanf(result.out.c_str(), "{\"summary\": {\"frames\": %lld", &frames);
    return result.status == 0 ? frames : -1;
}

} // namespace

TEST(KxsimProgram, WritesAThousandWholeFramesByDefault) {
    ScratchDirectory scratch;
    ProgramResult result = kxsim({"--out", scratch / "rec.dat"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "kxsim: 1000 records: 1000 good, 0 corrupted, 0 dropped; 0 junk runs, "
                          "0 junk bytes\n");
    EXPECT_EQ(read_file(scratch / "rec.dat").size(), 256000u);
    EXPECT_EQ(frames_found(scratch / "rec.dat"), 1000);
}

TEST(KxsimProgram, SameSeedSameBytes) {
    ScratchDirectory scratch;
    const std::vector<std::string> faults{"--count", "300", "--bad",  "0.1",
                                          "--junk",  "0.1", "--drop", "0.1"};
    auto run = [&](const std::string& name, const std::string& seed) {
        std::vector<std::string> args{"--out", scratch / name, "--seed", seed};
        args.insert(args.end(), faults.begin(), faults.end());
        EXPECT_EQ(kxsim(args).status, 0);
        return read_file(scratch / name);
    };
    std::string first = run("a.dat", "5");
    EXPECT_GT(first.size(), 60000u);
    EXPECT_EQ(run("b.dat", "5"), first);
    EXPECT_NE(run("c.dat", "6"), first);
}

TEST(KxsimProgram, KxdumpFindsExactlyTheGoodRecords) {
    ScratchDirectory scratch;
    for (const char* seed : {"1", "2", "3"}) {
        for (const char* p : {"0.05", "0.3"}) {
            ProgramResult result = kxsim({"--out", scratch / "rec.dat", "--count", "2000", "--seed",
                                          seed, "--bad", p, "--junk", p, "--drop", p});
            ASSERT_EQ(result.status, 0) << result.err;
            Report report = report_of(result.err);
            EXPECT_EQ(report.records, 2000);
            EXPECT_GT(report.corrupted, 0);
            EXPECT_GT(report.dropped, 0);
            EXPECT_GT(report.junk_runs, 0);
            EXPECT_EQ(report.good + report.corrupted + report.dropped, 2000);
            EXPECT_EQ(frames_found(scratch / "rec.dat"), report.good) << seed << " " << p;
        }
    }
}

TEST(KxsimProgram, InvalidValuesAreUsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {"--count", "-5"}, {"--bad", "2"}, {"--junk", "lots"},           {"--rate", "fast"},
        {"--seed", "x1"},  {"--frames"},   {"--out", "a", "--link", "b"}};
    for (const auto& args : cases) {
        ProgramResult result = kxsim(args);
        EXPECT_EQ(result.status, 2) << args[0];
        std::vector<std::string> lines = lines_of(result.err);
        ASSERT_EQ(lines.size(), 2u) << result.err;
        EXPECT_TRUE(lines[0].starts_with("kxsim: ")) << lines[0];
        EXPECT_EQ(lines[1], USAGE);
    }
}

TEST(KxsimProgram, UnwritableRecordingIsStatusOne) {
    ScratchDirectory scratch;
    ProgramResult missing = kxsim({"--out", scratch / "no/rec.dat"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "kxsim: cannot open " + (scratch / "no/rec.dat") + ": No such file or directory\n");
    ProgramResult full = kxsim({"--out", "/dev/full", "--count", "100"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "kxsim: cannot write /dev/full: No space left on device\n");
}

TEST(KxsimProgram, HelpAndVersion) {
    ProgramResult help = kxsim({"-h"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with(USAGE + "\n")) << help.out;
    ProgramResult version = kxsim({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "kxsim " KX_VERSION "\n");
}
