// The command lines of kxdump and kxsim.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "dump_args.h"
#include "sim_args.h"

namespace {

std::vector<const char*> argv_of(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"tool"};
    argv.insert(argv.end(), args);
    return argv;
}

Command dump_command(std::initializer_list<const char*> args, DumpArgs* parsed,
                     std::string* error) {
    std::vector<const char*> argv = argv_of(args);
    return parse_dump_args(static_cast<int>(argv.size()), argv.data(), parsed, error);
}

Command sim_command(std::initializer_list<const char*> args, SimArgs* parsed, std::string* error) {
    std::vector<const char*> argv = argv_of(args);
    return parse_sim_args(static_cast<int>(argv.size()), argv.data(), parsed, error);
}

} // namespace

TEST(DumpArgs, TakesOptionsInAnyOrderAroundTheRecording) {
    DumpArgs args;
    std::string error;
    ASSERT_EQ(dump_command({"--csv", "rec.dat", "--spectrum", "out.csv"}, &args, &error),
              Command::run);
    EXPECT_TRUE(args.csv);
    EXPECT_FALSE(args.summary);
    EXPECT_STREQ(args.recording, "rec.dat");
    EXPECT_STREQ(args.spectrum, "out.csv");
}

TEST(DumpArgs, DoubleDashLetsARecordingStartWithADash) {
    DumpArgs args;
    std::string error;
    ASSERT_EQ(dump_command({"--summary", "--", "-rec"}, &args, &error), Command::run);
    EXPECT_TRUE(args.summary);
    EXPECT_STREQ(args.recording, "-rec");
}

TEST(DumpArgs, HelpAndVersion) {
    DumpArgs args;
    std::string error;
    EXPECT_EQ(dump_command({"-h"}, &args, &error), Command::help);
    EXPECT_EQ(dump_command({"rec.dat", "--help"}, &args, &error), Command::help);
    EXPECT_EQ(dump_command({"--version"}, &args, &error), Command::version);
}

TEST(DumpArgs, UsageErrorsSayWhatIsWrong) {
    struct Case {
        std::initializer_list<const char*> args;
        const char* error;
    };
    const Case cases[] = {
        {{}, "no recording given"},
        {{"a.dat", "b.dat"}, "one recording only, not 'a.dat' and 'b.dat'"},
        {{"--json", "a.dat"}, "unknown option '--json'"},
        {{"a.dat", "--spectrum"}, "--spectrum needs the name of its output file"},
        {{"--csv", "--summary", "a.dat"}, "--csv and --summary exclude each other"},
    };
    for (const Case& c : cases) {
        DumpArgs args;
        std::string error;
        EXPECT_EQ(dump_command(c.args, &args, &error), Command::usage_error) << c.error;
        EXPECT_EQ(error, c.error);
    }
}

TEST(SimArgs, DefaultsStreamOnCom1) {
    SimArgs args;
    std::string error;
    ASSERT_EQ(sim_command({}, &args, &error), Command::run);
    EXPECT_STREQ(args.link, "COM1");
    EXPECT_EQ(args.out, nullptr);
    EXPECT_EQ(args.count, -1);
    EXPECT_EQ(args.seed, 1u);
    EXPECT_EQ(args.faults.bad, 0.0);
}

TEST(SimArgs, ReadsEveryValue) {
    SimArgs args;
    std::string error;
    ASSERT_EQ(sim_command({"--link", "TTY", "--count", "25", "--rate", "2.5", "--seed",
                           "18446744073709551615", "--bad", "0.25", "--junk", "1", "--drop", "0"},
                          &args, &error),
              Command::run)
        << error;
    EXPECT_STREQ(args.link, "TTY");
    EXPECT_EQ(args.count, 25);
    EXPECT_EQ(args.rate, 2.5);
    EXPECT_EQ(args.seed, 18446744073709551615u);
    EXPECT_EQ(args.faults.bad, 0.25);
    EXPECT_EQ(args.faults.junk, 1.0);
    EXPECT_EQ(args.faults.drop, 0.0);
}

TEST(SimArgs, InvalidValuesAreUsageErrors) {
    struct Case {
        std::initializer_list<const char*> args;
        const char* error;
    };
    const Case cases[] = {
        {{"--count", "-1"}, "invalid value '-1' for --count: expected a whole number, 0 or more"},
        {{"--count", "12x"}, "invalid value '12x' for --count: expected a whole number, 0 or more"},
        {{"--seed", "-3"}, "invalid value '-3' for --seed: expected a whole number, 0 or more"},
        {{"--rate", "0"}, "invalid value '0' for --rate: expected frames a second, 0.01 or more"},
        {{"--rate", "0.009"},
         "invalid value '0.009' for --rate: expected frames a second, 0.01 or more"},
        {{"--rate", "inf"},
         "invalid value 'inf' for --rate: expected frames a second, 0.01 or more"},
        {{"--bad", "1.5"}, "invalid value '1.5' for --bad: expected a probability from 0 to 1"},
        {{"--junk", "-0.1"}, "invalid value '-0.1' for --junk: expected a probability from 0 to 1"},
        {{"--drop", "nan"}, "invalid value 'nan' for --drop: expected a probability from 0 to 1"},
        {{"--drop", ""}, "invalid value '' for --drop: expected a probability from 0 to 1"},
        {{"--count"}, "--count needs a value"},
        {{"--fast"}, "unknown option '--fast'"},
        {{"file.dat"}, "unexpected argument 'file.dat'"},
        {{"--out", "a", "--link", "b"}, "--out and --link exclude each other"},
        {{"--out", "a", "--rate", "2"}, "--rate paces the link; --out writes at full speed"},
    };
    for (const Case& c : cases) {
        SimArgs args;
        std::string error;
        EXPECT_EQ(sim_command(c.args, &args, &error), Command::usage_error) << c.error;
        EXPECT_EQ(error, c.error);
    }
}
