// kxdump --limits over a kxsim recording whose spikes take limits through
// every state and back, and what a limits file with problems does.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "files.h"
#include "tool_programs.h"

namespace {

const std::string FIXTURES = KX_FIXTURES;

// Each spike against the golden limits: a short one below the persistence,
// yellow then red, both sides, values of one mode pair only, a group's byte.
const std::vector<std::string> SPIKES = {
    "words.252=550@5+2", "words.252=550@10+4", "words.252=700@14+3",
    "rates.7=1000@20",   "rates.7=1300@22",    "scaled.246=2.47@24+2",
    "tenths.248=35@29",  "scaled.246=2.4@32",  "groups.3.byte4=200@36+2"};

std::vector<std::string> simulation(const std::string& out) {
    std::vector<std::string> argv = {
        "kxsim", "--out", out, "--count", "40", "--start-time", "2026-12-07T14:32:00Z"};
    for (const std::string& spike : SPIKES) {
        argv.push_back("--spike");
        argv.push_back(spike);
    }
    return argv;
}

} // namespace

// Without a journal (standard input has none beside it) every arrival is null.
TEST(KxdumpLimits, KxsimSpikesGiveTheGoldenLimitLines) {
    ScratchDirectory scratch;
    const std::string rec = scratch / "rec.dat", limits = FIXTURES + "/kxdump_limits_golden.toml";
    ASSERT_EQ(run(simulation(rec)).status, 0);
    const std::string golden = read_file(FIXTURES + "/kxdump_limits_golden.jsonl");
    EXPECT_EQ(outcome(run({"kxdump", "--limits", limits, rec})), outcome(0, golden, ""));
    const std::string untimed = std::regex_replace(golden, std::regex("\"2026-[^\"]*Z\""), "null");
    EXPECT_EQ(outcome(run({"kxdump", "--limits", limits, "-"}, {.in_path = rec})),
              outcome(0, untimed, ""));
}

// Every problem of the file, then status 1, and not a line on standard
// output: no frame was checked.
TEST(KxdumpLimits, AFileWithProblemsOrNoneExits1) {
    ScratchDirectory scratch;
    const std::string rec = scratch / "rec.dat", bad = scratch / "bad.toml",
                      none = scratch / "none.toml";
    ASSERT_EQ(run({"kxsim", "--out", rec, "--count", "4"}).status, 0);
    write_file(bad, "[words.252]\nyellow_high = 700\nred_high = 600\n[rates.21]\n");
    EXPECT_EQ(outcome(run({"kxdump", "--limits", bad, rec})),
              outcome(1, "",
                      "kxdump: " + bad + ":2: words.252.yellow_high: 700 is above red_high 600\n" +
                          "kxdump: " + bad + ":4: rates.21: not a value a limit can watch\n"));
    EXPECT_EQ(outcome(run({"kxdump", "--limits", none, rec})),
              outcome(1, "", "kxdump: cannot read " + none + ": No such file or directory\n"));
}
