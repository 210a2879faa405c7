// kxdump as a program: recordings built here, exact output, statuses and
// messages.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "files.h"
#include "frames.h"
#include "scratch_directory.h"

namespace {

const std::string USAGE = "usage: kxdump [--csv] [--summary] [--spectrum OUT.csv] RECORDING";

std::string bytes_of(const Frame& frame) { return std::string(frame.begin(), frame.end()); }

Frame golden(int mode) { return fixture_frame("kxdump_mode" + std::to_string(mode) + ".hex"); }

std::string golden_recording() {
    std::string bytes;
    for (int mode = 0; mode < 4; ++mode)
        bytes += bytes_of(golden(mode));
    return bytes;
}

std::vector<std::string> golden_lines() {
    return lines_of(read_file(std::string(KX_FIXTURES) + "/kxdump_golden.jsonl"));
}

// A record that fails the checksum; its bytes 1-255 hold no 0xEB.
std::string corrupted(const Frame& frame) {
    Frame bad = frame;
    bad[100] ^= 0x01;
    return bytes_of(bad);
}

ProgramResult kxdump(const std::vector<std::string>& args, const std::string& out_path = "") {
    std::vector<std::string> argv{KXDUMP};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(argv, {.out_path = out_path});
}

// "frame", "offset" and "skipped" of each frame line, then the summary's
// first fields.
std::vector<std::string> places(const std::string& out) {
    std::vector<std::string> result;
    for (const std::string& line : lines_of(out)) {
        size_t end = line.find(", \"mode", 0);
        if (line.starts_with("{\"summary\"")) end = line.find(", \"bin_width");
        result.push_back(line.substr(0, end));
    }
    return result;
}

} // namespace

TEST(KxdumpProgram, GoldenRecordingGivesTheGoldenOutput) {
    ScratchDirectory scratch;
    write_file(scratch / "rec.dat", golden_recording());
    ProgramResult result = kxdump({scratch / "rec.dat"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, read_file(std::string(KX_FIXTURES) + "/kxdump_golden.jsonl"));
    EXPECT_EQ(result.err, "");
}

TEST(KxdumpProgram, RecordingsWithFaultsGiveTheirPlacesAndSkippedCounts) {
    struct Case {
        const char* name;
        std::string recording;
        std::vector<std::string> places;
    };
    const Case cases[] = {
        {"corrupted record: skipped up to the next sync",
         bytes_of(golden(0)) + corrupted(golden(1)) + bytes_of(golden(2)) + bytes_of(golden(3)),
         {R"({"frame": 0, "offset": 0, "skipped": 0)",
          R"({"frame": 1, "offset": 512, "skipped": 256)",
          R"({"frame": 2, "offset": 768, "skipped": 256)",
          R"({"summary": {"frames": 3, "skipped": 256, "mode_frames": [1, 0, 1, 1])"}},
        {"junk between records: counted as skipped",
         bytes_of(golden(0)) + std::string("\x01\x02\x03\x04\x05", 5) + bytes_of(golden(1)) +
             bytes_of(golden(2)),
         {R"({"frame": 0, "offset": 0, "skipped": 0)",
          R"({"frame": 1, "offset": 261, "skipped": 5)",
          R"({"frame": 2, "offset": 517, "skipped": 5)",
          R"({"summary": {"frames": 3, "skipped": 5, "mode_frames": [1, 1, 1, 0])"}},
        {"short tail: ends the input",
         bytes_of(golden(0)) + bytes_of(golden(1)) + bytes_of(golden(2)).substr(0, 100),
         {R"({"frame": 0, "offset": 0, "skipped": 0)",
          R"({"frame": 1, "offset": 256, "skipped": 0)",
          R"({"summary": {"frames": 2, "skipped": 0, "mode_frames": [1, 1, 0, 0])"}},
        {"bad record without a sync after it: counted to the end",
         bytes_of(golden(0)) + corrupted(golden(1)).substr(0, 200) + std::string(300, '\x00'),
         {R"({"frame": 0, "offset": 0, "skipped": 0)",
          R"({"summary": {"frames": 1, "skipped": 500, "mode_frames": [1, 0, 0, 0])"}},
        {"empty", "", {R"({"summary": {"frames": 0, "skipped": 0, "mode_frames": [0, 0, 0, 0])"}},
    };
    for (const Case& c : cases) {
        ScratchDirectory scratch;
        write_file(scratch / "rec.dat", c.recording);
        ProgramResult result = kxdump({scratch / "rec.dat"});
        EXPECT_EQ(result.status, 0) << c.name;
        EXPECT_EQ(places(result.out), c.places) << c.name;
    }
}

TEST(KxdumpProgram, EmptyRecordingPlotsZeroEverywhere) {
    ScratchDirectory scratch;
    write_file(scratch / "rec.dat", "");
    std::vector<std::string> lines = lines_of(kxdump({scratch / "rec.dat"}).out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(R"("spectrum": [0, 0, 0, )"), std::string::npos);
    EXPECT_TRUE(lines[0].ends_with(", 0, 0]}}")) << lines[0];
}

TEST(KxdumpProgram, SummaryAloneIsTheLastGoldenLine) {
    ScratchDirectory scratch;
    write_file(scratch / "rec.dat", golden_recording());
    ProgramResult result = kxdump({"--summary", scratch / "rec.dat"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, golden_lines()[4] + "\n");
}

TEST(KxdumpProgram, CsvHasAHeaderAndOneRowPerGoodFrame) {
    ScratchDirectory scratch;
    write_file(scratch / "rec.dat", golden_recording() + corrupted(golden(0)) + golden_recording());
    ProgramResult result = kxdump({scratch / "rec.dat", "--csv"});
    EXPECT_EQ(result.status, 0);
    std::vector<std::string> lines = lines_of(result.out);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_TRUE(lines[0].starts_with("frame,offset,skipped,mode,counter,")) << lines[0];
    EXPECT_TRUE(lines[5].starts_with("4,1280,256,0,1234567,1234.567,,")) << lines[5];
    EXPECT_TRUE(lines[8].starts_with("7,2048,256,3,")) << lines[8];
}

TEST(KxdumpProgram, SpectrumFileBesideTheJson) {
    ScratchDirectory scratch;
    write_file(scratch / "rec.dat", golden_recording());
    ProgramResult result = kxdump({"--spectrum", scratch / "spectrum.csv", scratch / "rec.dat"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(lines_of(result.out).size(), 5u);
    std::vector<std::string> rows = lines_of(read_file(scratch / "spectrum.csv"));
    ASSERT_EQ(rows.size(), 209u);
    EXPECT_EQ(rows[0], "channel,mode,bin,position,width,counts,normalised");
    EXPECT_EQ(rows[1], "0,0,0,1,2,1000,208.33333");
}

TEST(KxdumpProgram, UnopenableRecordingIsStatusOneAndNothingOnOutput) {
    ScratchDirectory scratch;
    ProgramResult missing = kxdump({scratch / "missing.dat"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err,
              "kxdump: cannot open " + (scratch / "missing.dat") + ": No such file or directory\n");
    ProgramResult directory = kxdump({scratch.root()});
    EXPECT_EQ(directory.status, 1);
    EXPECT_EQ(directory.out, "");
    EXPECT_EQ(directory.err, "kxdump: cannot read " + scratch.root() + ": Is a directory\n");
}

TEST(KxdumpProgram, WriteFailuresAreStatusOneNotSuccess) {
    ScratchDirectory scratch;
    write_file(scratch / "rec.dat", golden_recording());
    ProgramResult out = kxdump({scratch / "rec.dat"}, "/dev/full");
    EXPECT_EQ(out.status, 1);
    EXPECT_EQ(out.err, "kxdump: cannot write standard output: No space left on device\n");
    ProgramResult spectrum = kxdump({"--summary", "--spectrum", "/dev/full", scratch / "rec.dat"});
    EXPECT_EQ(spectrum.status, 1);
    EXPECT_EQ(spectrum.err, "kxdump: cannot write /dev/full: No space left on device\n");
}

TEST(KxdumpProgram, UsageErrorsAreStatusTwoWithTheUsageLine) {
    const std::vector<std::vector<std::string>> cases = {
        {}, {"a.dat", "b.dat"}, {"--bogus", "a.dat"}, {"a.dat", "--spectrum"}};
    for (const auto& args : cases) {
        ProgramResult result = kxdump(args);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        std::vector<std::string> lines = lines_of(result.err);
        ASSERT_EQ(lines.size(), 2u) << result.err;
        EXPECT_TRUE(lines[0].starts_with("kxdump: ")) << lines[0];
        EXPECT_EQ(lines[1], USAGE);
    }
}

TEST(KxdumpProgram, HelpAndVersion) {
    ProgramResult help = kxdump({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with(USAGE + "\n")) << help.out;
    EXPECT_EQ(help.err, "");
    ProgramResult version = kxdump({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "kxdump " KX_VERSION "\n");
}

TEST(KxdumpProgram, PipeAndStandardInputAreReadLikeAFile) {
    ScratchDirectory scratch;
    const std::string golden_out = read_file(std::string(KX_FIXTURES) + "/kxdump_golden.jsonl");
    std::string fifo = scratch / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ChildProcess from_fifo({KXDUMP, fifo});
    int writer = open(fifo.c_str(), O_WRONLY); // meets kxdump's open
    ASSERT_GE(writer, 0);
    const std::string recording = golden_recording();
    EXPECT_EQ(write(writer, recording.data(), recording.size()),
              static_cast<ssize_t>(recording.size()));
    close(writer);
    ProgramResult fifo_result = from_fifo.finish();
    EXPECT_EQ(fifo_result.status, 0);
    EXPECT_EQ(fifo_result.out, golden_out);
    EXPECT_EQ(fifo_result.err, "");

    write_file(scratch / "rec.dat", recording);
    auto from_stdin = [](const std::string& path) {
        return run_program({"/bin/sh", "-c", R"(exec "$0" - < "$1")", KXDUMP, path});
    };
    ProgramResult stdin_result = from_stdin(scratch / "rec.dat");
    EXPECT_EQ(stdin_result.status, 0);
    EXPECT_EQ(stdin_result.out, golden_out);
    ProgramResult unreadable = from_stdin(scratch.root());
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_EQ(unreadable.out, "");
    EXPECT_EQ(unreadable.err, "kxdump: cannot read standard input: Is a directory\n");
}

TEST(KxdumpProgram, RefusedSpectrumFileIsStatusOneAndLosesNothing) {
    ScratchDirectory scratch;
    write_file(scratch / "rec.dat", golden_recording());
    struct Case {
        std::string spectrum;
        std::string err;
    };
    const Case cases[] = {
        {scratch / "no/such.csv",
         "kxdump: cannot open " + (scratch / "no/such.csv") + ": No such file or directory\n"},
        {scratch / "rec.dat",
         "kxdump: " + (scratch / "rec.dat") + " is the recording; the spectrum goes elsewhere\n"},
    };
    for (const Case& c : cases) {
        ProgramResult result = kxdump({"--spectrum", c.spectrum, scratch / "rec.dat"});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.err);
    }
    EXPECT_EQ(read_file(scratch / "rec.dat"), golden_recording());
}
