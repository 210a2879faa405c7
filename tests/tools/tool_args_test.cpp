// The command lines of kxdump and kxsim: what each takes, and what it refuses.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dump_args.h"
#include "sim_args.h"

namespace {

const char* text(const char* s) { return s != nullptr ? s : "-"; }

// The command (0: run, 1: help, 2: version, 3: usage error), then what was
// parsed for a run or else the error. argv[0] names the tool.
std::string parsed(std::vector<const char*> argv) {
    auto argc = static_cast<int>(argv.size());
    bool dump = std::string(argv[0]) == "kxdump";
    DumpArgs d;
    SimArgs s;
    std::string error;
    Command command = dump ? parse_dump_args(argc, argv.data(), &d, &error)
                           : parse_sim_args(argc, argv.data(), &s, &error);
    std::ostringstream out;
    out << static_cast<int>(command) << ": ";
    if (command != Command::run)
        out << error;
    else if (dump)
        out << "csv " << d.csv << " summary " << d.summary << " spectrum " << text(d.spectrum)
            << " recording " << text(d.recording);
    else
        out << "out " << text(s.out) << " link " << text(s.link) << " count " << s.count << " rate "
            << s.rate << " seed " << s.seed << " bad " << s.faults.bad << " junk " << s.faults.junk
            << " drop " << s.faults.drop;
    return out.str();
}

} // namespace

TEST(ToolArgs, WhatEachToolTakesAndRefuses) {
    const std::string sim_defaults = " count -1 rate 0 seed 1 bad 0 junk 0 drop 0";
    const std::pair<std::vector<const char*>, std::string> cases[] = {
        {{"kxdump", "--csv", "rec.dat", "--spectrum", "o.csv"},
         "0: csv 1 summary 0 spectrum o.csv recording rec.dat"},
        {{"kxdump", "--summary", "--", "--help"}, "0: csv 0 summary 1 spectrum - recording --help"},
        {{"kxdump", "-"}, "0: csv 0 summary 0 spectrum - recording -"},
        {{"kxdump", "rec.dat", "--help"}, "1: "},
        {{"kxdump", "--version"}, "2: "},
        {{"kxdump"}, "3: no recording given"},
        {{"kxdump", "a.dat", "b.dat"}, "3: one recording only, not 'a.dat' and 'b.dat'"},
        {{"kxdump", "--json", "a.dat"}, "3: unknown option '--json'"},
        {{"kxdump", "a.dat", "--spectrum"}, "3: --spectrum needs the name of its output file"},
        {{"kxdump", "--csv", "--summary", "a.dat"}, "3: --csv and --summary exclude each other"},
        {{"kxsim"}, "0: out - link COM1" + sim_defaults},
        {{"kxsim", "--out", "rec.dat"}, "0: out rec.dat link -" + sim_defaults},
        {{"kxsim", "--link", "TTY", "--count", "25", "--rate", "2.5", "--seed",
          "18446744073709551615", "--bad", "0.25", "--junk", "1", "--drop", "0.5"},
         "0: out - link TTY count 25 rate 2.5 seed 18446744073709551615 bad 0.25 junk 1 drop 0.5"},
        {{"kxsim", "--count", "1", "-h"}, "1: "},
        {{"kxsim", "--count"}, "3: --count needs a value"},
        {{"kxsim", "--fast"}, "3: unknown option '--fast'"},
        {{"kxsim", "file.dat"}, "3: unexpected argument 'file.dat'"},
        {{"kxsim", "--out", "a", "--link", "b"}, "3: --out and --link exclude each other"},
        {{"kxsim", "--out", "a", "--rate", "2"},
         "3: --rate paces the link; --out writes at full speed"},
    };
    for (const auto& [args, expected] : cases)
        EXPECT_EQ(parsed(args), expected);
}
