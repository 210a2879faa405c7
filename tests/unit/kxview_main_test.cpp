#include "kxview_main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "controls.h"
#include "fake_runtime.h"
#include "files.h"
#include "frames.h"
#include "pass_start.h"
#include "scratch_directory.h"

namespace {

namespace fs = std::filesystem;

const std::string OPEN_PORT = R"(OpenComConfig(1, "COM1", 19200, 0, 8, 1, 0, 0))";
const std::string OPEN_DISPLAY = "OpenDisplay()";
const std::string LOAD_PANEL = R"(LoadPanel(0, "kx.uir", 1))";
const std::string NO_DISPLAY =
    "kxview: cannot open the display (set DISPLAY, or QT_QPA_PLATFORM=offscreen)\n";
const std::string USAGE_LINE = "usage: kxview [RECORDING]\n";

// What one run of kxview_main printed and returned.
struct Outcome {
    int status;
    std::string out, err;
};

// Each test runs in a fresh, empty working directory, where varno.dat lands.
class Driver : public ::testing::Test {
  protected:
    void SetUp() override { fake::reset(); }
    Outcome run(std::vector<std::string> args) {
        args.insert(args.begin(), "kxview");
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int status = kxview_main(static_cast<int>(args.size()), argv.data());
        std::string out = testing::internal::GetCapturedStdout();
        return {status, out, testing::internal::GetCapturedStderr()};
    }
    static bool has_raw_log() { return fs::exists("varno.dat"); }
    static std::uintmax_t raw_log_size() { return fs::file_size("varno.dat"); }
    ScratchDirectory dir;
    WorkingDirectory here{dir.root()};
};

// Start-up failures --------------------------------------------------------------

TEST_F(Driver, PortFailurePrintsResultAndErrnoExitsOneAndLeavesAnEmptyLog) {
    fake::set_open_result(-2, ENOENT);
    Outcome r = run({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "-2 COM1 port error " + std::to_string(ENOENT) + "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(fake::texts(), Texts{OPEN_PORT});
    ASSERT_TRUE(has_raw_log());
    EXPECT_EQ(raw_log_size(), 0u);
}

// Earlier raw logs ---------------------------------------------------------------

// A local time as a file's modification time.
fs::file_time_type local_time(int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    auto system_time = std::chrono::system_clock::from_time_t(std::mktime(&local));
    return std::chrono::file_clock::from_sys(system_time);
}

// An earlier session's log, last written at 2026-03-04 05:06:07 local time.
const Bytes EARLIER(512, 0x33);
const std::string EARLIER_NAME = "varno-20260304-050607.dat";

void write_earlier_log() {
    write_file("varno.dat", EARLIER);
    fs::last_write_time("varno.dat", local_time(2026, 3, 4, 5, 6, 7));
}

std::string moved_to(const std::string& name) {
    return "kxview: earlier raw log varno.dat moved to " + name + "\n";
}

TEST_F(Driver, PortFailureStillMovesAnEarlierLogAsideBeforeCreatingAnEmptyOne) {
    write_earlier_log();
    fake::set_open_result(-2, ENOENT);
    Outcome r = run({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "-2 COM1 port error " + std::to_string(ENOENT) + "\n");
    EXPECT_EQ(r.err, moved_to(EARLIER_NAME));
    EXPECT_EQ(read_file(EARLIER_NAME), std::string(EARLIER.begin(), EARLIER.end()));
    ASSERT_TRUE(has_raw_log());
    EXPECT_EQ(raw_log_size(), 0u);
}

TEST_F(Driver, EarlierLogTakesTheFirstFreeNumberedNameAndOverwritesNothing) {
    write_file(EARLIER_NAME, "first");
    write_file("varno-20260304-050607-1.dat", "second");
    write_earlier_log();
    Frame frame = frame_with(0, {0xEB, 0x90, 0x01});
    fake::push_events({0});
    fake::push_read(Bytes(frame.begin(), frame.end()));
    Outcome r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, moved_to("varno-20260304-050607-2.dat"));
    EXPECT_EQ(read_file(EARLIER_NAME), "first");
    EXPECT_EQ(read_file("varno-20260304-050607-1.dat"), "second");
    EXPECT_EQ(read_file("varno-20260304-050607-2.dat"),
              std::string(EARLIER.begin(), EARLIER.end()));
    EXPECT_EQ(read_file("varno.dat"), std::string(frame.begin(), frame.end()));
}

TEST_F(Driver, EmptyEarlierLogIsReusedWithoutAWord) {
    write_file("varno.dat", "");
    Outcome r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

// The earlier log is never emptied: rather than that, no live start.
TEST_F(Driver, EarlierLogWithEveryNameTakenIsKeptAndTheStartRefused) {
    write_file(EARLIER_NAME, "");
    for (int suffix = 1; suffix <= 99; ++suffix)
        write_file("varno-20260304-050607-" + std::to_string(suffix) + ".dat", "");
    write_earlier_log();
    Outcome r = run({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Cannot move earlier raw log varno.dat aside: every name for it is taken\n");
    EXPECT_EQ(fake::texts(), (Texts{OPEN_PORT, "CloseCom(1)"}));
    EXPECT_EQ(read_file("varno.dat"), std::string(EARLIER.begin(), EARLIER.end()));
}

TEST_F(Driver, MissingRecordingPrintsItsNameExitsOneAndTouchesNoPortOrLog) {
    Outcome r = run({"missing.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Cannot open input file missing.dat\n");
    EXPECT_TRUE(fake::calls().empty());
    EXPECT_FALSE(has_raw_log());
}

TEST_F(Driver, MoreThanOneArgumentPrintsAOneLineUsageOnStderrAndExitsTwo) {
    write_file("a", Bytes(256, 0x00));
    Outcome r = run({"a", "b"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "kxview: one recording at most\n" + USAGE_LINE);
    EXPECT_TRUE(fake::calls().empty());
    EXPECT_FALSE(has_raw_log());
}

TEST_F(Driver, HelpAndVersionAnswerOnStdoutWithStatusZeroTouchingNothing) {
    for (const char* option : {"-h", "--help"}) {
        Outcome r = run({option});
        EXPECT_EQ(r.status, 0) << option;
        EXPECT_EQ(r.out.rfind(USAGE_LINE, 0), 0u) << option;
        EXPECT_EQ(r.err, "") << option;
    }
    Outcome r = run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "kxview " KX_VERSION "\n");
    EXPECT_TRUE(fake::calls().empty());
    EXPECT_FALSE(has_raw_log());
}

TEST_F(Driver, RecordingNamedLikeAnOptionIsReachedThroughItsPath) {
    write_file("--help", "");
    Outcome r = run({"./--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(
        without_start_settings(fake::texts()),
        (Texts{OPEN_DISPLAY, LOAD_PANEL, "DisplayPanel(1)", "GetUserEvent(0)", "DiscardPanel(1)"}));
}

TEST_F(Driver, DirectoryGivenAsRecordingIsRefusedInsteadOfReplayingAsEndOfInput) {
    fs::create_directory("recordings");
    Outcome r = run({"recordings"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Cannot open input file recordings\n");
    EXPECT_TRUE(fake::calls().empty());
}

// A program can be started with no argument vector at all (argc 0).
TEST_F(Driver, EmptyArgumentVectorIsLiveModeNotAReadPastItsEnd) {
    fake::set_open_result(-1, EACCES);
    char* argv[] = {nullptr};
    testing::internal::CaptureStdout();
    int status = kxview_main(0, argv);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "-1 COM1 port error " + std::to_string(EACCES) + "\n");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(fake::texts(), Texts{OPEN_PORT});
}

TEST_F(Driver, PanelLoadFailureGivesTheReasonAndClosesThePort) {
    fake::set_load_result(-1, "no such file");
    Outcome r = run({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Cannot load panel kx.uir: no such file\n");
    EXPECT_EQ(fake::texts(), (Texts{OPEN_PORT, OPEN_DISPLAY, LOAD_PANEL, "CloseCom(1)"}));
    ASSERT_TRUE(has_raw_log());
    EXPECT_EQ(raw_log_size(), 0u);
}

TEST_F(Driver, PanelLoadFailureInReplayTouchesNoPort) {
    write_file("rec.dat", Bytes(256, 0x00));
    fake::set_load_result(-4, "not a panel file");
    Outcome r = run({"rec.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Cannot load panel kx.uir: not a panel file\n");
    EXPECT_EQ(fake::texts(), (Texts{OPEN_DISPLAY, LOAD_PANEL}));
    EXPECT_FALSE(has_raw_log());
}

TEST_F(Driver, RawLogThatCannotBeCreatedClosesThePortAndExitsOne) {
    fs::create_directory("varno.dat");
    Outcome r = run({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Cannot create raw log varno.dat\n");
    EXPECT_EQ(fake::texts(), (Texts{OPEN_PORT, "CloseCom(1)"}));
}

TEST_F(Driver, PortFailureWithNoRawLogReportsThePortAlone) {
    fs::create_directory("varno.dat");
    fake::set_open_result(-1, EACCES);
    Outcome r = run({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "-1 COM1 port error " + std::to_string(EACCES) + "\n");
    EXPECT_EQ(fake::texts(), Texts{OPEN_PORT});
}

// Without a display: one line, and the sources closed as after a port failure.
TEST_F(Driver, NoDisplayIsOneLineAfterThePortOpenedThenItsCloseAndAnEmptyLog) {
    write_earlier_log();
    fake::set_display_result(-1);
    Outcome r = run({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, NO_DISPLAY);
    EXPECT_EQ(r.err, moved_to(EARLIER_NAME));
    EXPECT_EQ(fake::texts(), (Texts{OPEN_PORT, OPEN_DISPLAY, "CloseCom(1)"}));
    ASSERT_TRUE(has_raw_log());
    EXPECT_EQ(raw_log_size(), 0u);
}

TEST_F(Driver, NoDisplayInReplayIsTheSameLineWithNoPortOrLog) {
    write_file("rec.dat", Bytes(256, 0x00));
    fake::set_display_result(-1);
    Outcome r = run({"rec.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, NO_DISPLAY);
    EXPECT_EQ(fake::texts(), Texts{OPEN_DISPLAY});
    EXPECT_FALSE(has_raw_log());
}

// Runs ----------------------------------------------------------------------------

TEST_F(Driver, LiveQuitDiscardsThePanelThenClosesThePort) {
    fake::set_load_result(4);
    Outcome r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(
        without_start_settings(fake::texts()),
        (Texts{OPEN_PORT, OPEN_DISPLAY, LOAD_PANEL, "DisplayPanel(4)",
               R"(SetCtrlVal(4, 29, "setting up serial port"))", "SetComTime(1, 0.1)",
               "ComRdByte(1)", "SetComTime(1, 1.05)", R"(SetCtrlVal(4, 29, "serial port ready"))",
               "GetUserEvent(0)", "DiscardPanel(4)", "CloseCom(1)"}));
}

TEST_F(Driver, LiveFramesLandInTheRawLogInOrder) {
    Frame a = frame_with(0, {0xEB, 0x90, 0x01});
    Frame b = frame_with(0, {0xEB, 0x90, 0x02});
    fake::push_events({0, 0, 0});
    fake::push_read(Bytes(a.begin(), a.end()));
    fake::push_read(Bytes(100, 0xFF));
    fake::push_read(Bytes(b.begin(), b.end()));
    EXPECT_EQ(run({}).status, 0);
    Bytes expected;
    append(&expected, a);
    append(&expected, b);
    std::string logged = read_file("varno.dat");
    EXPECT_EQ(Bytes(logged.begin(), logged.end()), expected);
}

TEST_F(Driver, UnlistedEventStartsANewPassWithNothingTornDown) {
    fake::push_events({PANEL_RESTART});
    EXPECT_EQ(run({}).status, 0);
    Texts texts = fake::texts();
    EXPECT_EQ(
        std::count(texts.begin(), texts.end(), R"(SetCtrlVal(1, 29, "setting up serial port"))"),
        2);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "CloseCom(1)"), 1);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "DiscardPanel(1)"), 1);
    EXPECT_EQ(texts.back(), "CloseCom(1)");
}

TEST_F(Driver, ReplayShowsTheRecordingThenEofAndQuitsWithoutPortOrLog) {
    Bytes recording;
    append(&recording, Bytes(256, 0x01)); // a bad record with no sync pattern after it
    write_file("rec.dat", recording);
    fake::push_events({0, 0});
    Outcome r = run({"rec.dat"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(
        without_start_settings(fake::texts()),
        (Texts{OPEN_DISPLAY, LOAD_PANEL, "DisplayPanel(1)", "GetUserEvent(0)", "Delay(0.2)",
               R"(SetCtrlVal(1, 29, "EOF on input file"))", "GetUserEvent(0)", "Delay(0.2)",
               R"(SetCtrlVal(1, 29, "EOF on input file"))", "GetUserEvent(0)", "DiscardPanel(1)"}));
    EXPECT_FALSE(has_raw_log());
}

TEST_F(Driver, ReplayDecodesGoodRecords) {
    Bytes recording;
    append(&recording, sealed(frame_with(0, {0xEB, 0x90, 0x00, 0x00, 0x00, 0x01})));
    write_file("rec.dat", recording);
    fake::push_events({0});
    EXPECT_EQ(run({"rec.dat"}).status, 0);
    Texts texts = fake::texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), R"(SetCtrlVal(1, 29, " "))"), 1);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "SetCtrlVal(1, 12, 9999)"), 1);
}

} // namespace
