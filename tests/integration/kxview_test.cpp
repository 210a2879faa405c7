// The built kxview as an operator starts it: start-up failures, live over a
// pseudo-terminal linked as ./COM1, replay of a recording; quit by signal.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "child_process.h"
#include "files.h"
#include "frames.h"
#include "linked_pty.h"
#include "scratch_directory.h"
#include "wait_until.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::vector<std::string> OFFSCREEN{"QT_QPA_PLATFORM=offscreen"};
// The X11 platform with no display to connect to.
const std::vector<std::string> NO_DISPLAY{"QT_QPA_PLATFORM=xcb", "DISPLAY=", "WAYLAND_DISPLAY="};

// kxview started with `args` in `directory`, offscreen unless `environment`
// says otherwise; in sanitizer builds, with leak reports only for our own code.
ChildProcess start_kxview(const ScratchDirectory& directory, std::vector<std::string> args,
                          std::vector<std::string> environment = OFFSCREEN) {
    args.insert(args.begin(), KXVIEW_PATH);
    environment.push_back("LSAN_OPTIONS=suppressions=" KX_LSAN_SUPPRESSIONS
                          ":print_suppressions=0");
    return ChildProcess(args, {.directory = directory.root(), .environment = environment});
}

std::string text_of(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Distinct frames holding every byte value, control characters included.
Bytes live_frames(int count) {
    Frame mixed = fixture_frame("mixed_frame.hex");
    Bytes bytes;
    for (int i = 0; i < count; ++i) {
        Frame frame = mixed;
        frame[2] = static_cast<unsigned char>(i);
        append(&bytes, frame);
    }
    return bytes;
}

// Start-up failures -----------------------------------------------------------

TEST(KxviewStart, MissingRecordingExitsOneWithItsNameAndNoRawLog) {
    ScratchDirectory dir;
    ChildProcess kxview = start_kxview(dir, {"missing.dat"});
    EXPECT_EQ(kxview.wait_for_exit(5s), 1);
    EXPECT_EQ(kxview.out(), "Cannot open input file missing.dat\n");
    EXPECT_FALSE(fs::exists(dir / "varno.dat"));
}

TEST(KxviewStart, DanglingCom1LinkIsAPortErrorWithAnEmptyRawLog) {
    ScratchDirectory dir;
    fs::create_symlink(dir / "no-such-adapter", dir / "COM1");
    ChildProcess kxview = start_kxview(dir, {});
    EXPECT_EQ(kxview.wait_for_exit(5s), 1);
    std::string out = kxview.out();
    std::string tail = " COM1 port error " + std::to_string(ENOENT) + "\n";
    ASSERT_GT(out.size(), tail.size() + 1) << out;
    EXPECT_EQ(out[0], '-') << out; // the port's negative result
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
    ASSERT_TRUE(fs::exists(dir / "varno.dat"));
    EXPECT_EQ(fs::file_size(dir / "varno.dat"), 0u);
}

TEST(KxviewStart, ExtraArgumentsGetTheUsageLineAndExitTwoTouchingNothing) {
    ScratchDirectory dir;
    write_file(dir / "a.dat", Bytes(256, 0x00));
    ChildProcess kxview = start_kxview(dir, {"a.dat", "b.dat"});
    EXPECT_EQ(kxview.wait_for_exit(5s), 2);
    EXPECT_EQ(kxview.out(), "");
    EXPECT_EQ(kxview.err(), "kxview: one recording at most\nusage: kxview [RECORDING]\n");
    EXPECT_FALSE(fs::exists(dir / "varno.dat"));
}

TEST(KxviewStart, RawLogThatCannotBeCreatedIsRefusedAfterThePortOpened) {
    ScratchDirectory dir;
    LinkedPty pty(dir / "COM1");
    fs::create_directory(dir / "varno.dat");
    ChildProcess kxview = start_kxview(dir, {});
    EXPECT_EQ(kxview.wait_for_exit(5s), 1);
    EXPECT_EQ(kxview.out(), "Cannot create raw log varno.dat\n");
}

TEST(KxviewStart, PanelThatCannotBeLoadedGivesTheReasonAndExitsOne) {
    ScratchDirectory dir;
    LinkedPty pty(dir / "COM1");
    write_file(dir / "kx.uir", "not a panel");
    ChildProcess kxview = start_kxview(dir, {});
    EXPECT_EQ(kxview.wait_for_exit(5s), 1);
    std::string out = kxview.out();
    const std::string head = "Cannot load panel kx.uir: ";
    EXPECT_EQ(out.rfind(head, 0), 0u) << out;
    EXPECT_GT(out.size(), head.size() + 1) << "no reason given";
    EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
    ASSERT_TRUE(fs::exists(dir / "varno.dat"));
    EXPECT_EQ(fs::file_size(dir / "varno.dat"), 0u);
}

// Qt would abort, leaving a core file; the port and the raw log are handled
// as when the port fails. A port that fails needs no display to say so.
TEST(KxviewStart, NoDisplayIsOneLineAndExitOneWithTheRawLogAsForAPortFailure) {
    // No display named at all, and a local one whose server is not running.
    const std::vector<std::string> SERVER_DOWN{"QT_QPA_PLATFORM=xcb", "DISPLAY=:4093.0",
                                               "WAYLAND_DISPLAY="};
    for (const auto& environment : {NO_DISPLAY, SERVER_DOWN}) {
        SCOPED_TRACE(environment[1]);
        ScratchDirectory dir;
        LinkedPty pty(dir / "COM1");
        ChildProcess kxview = start_kxview(dir, {}, environment);
        EXPECT_EQ(kxview.wait_for_exit(10s), 1);
        EXPECT_EQ(kxview.out(),
                  "kxview: cannot open the display (set DISPLAY, or QT_QPA_PLATFORM=offscreen)\n");
        EXPECT_EQ(kxview.err(), "");
        ASSERT_TRUE(fs::exists(dir / "varno.dat"));
        EXPECT_EQ(fs::file_size(dir / "varno.dat"), 0u);
    }

    ScratchDirectory no_port;
    fs::create_symlink(no_port / "no-such-adapter", no_port / "COM1");
    ChildProcess failing = start_kxview(no_port, {}, NO_DISPLAY);
    EXPECT_EQ(failing.wait_for_exit(10s), 1);
    std::string out = failing.out();
    EXPECT_NE(out.find(" COM1 port error "), std::string::npos) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
}

// Live over a pseudo-terminal ---------------------------------------------------

// kxview live on a pseudo-terminal linked as COM1 in a scratch directory.
class KxviewLive : public ::testing::Test {
  protected:
    std::string raw_log() { return read_file(dir / "varno.dat"); }
    // Each pass starts by flushing the line until it goes quiet, so frames
    // sent too early are lost. Sends a probe frame until one lands in the
    // raw log: from then on every frame sent is read.
    bool wait_until_reading(ChildProcess& kxview) {
        Bytes probe = live_frames(1);
        for (int attempt = 0; attempt < 20 && kxview.running(); ++attempt) {
            pty.write(probe);
            if (wait_until([&] { return !raw_log().empty(); }, 400ms)) return true;
        }
        return false;
    }
    // The raw log, once it ends with `frames` after probe frames only.
    bool wait_for_logged(const Bytes& frames) {
        std::string tail = text_of(frames);
        return wait_until(
            [&] {
                std::string log = raw_log();
                return log.size() >= tail.size() &&
                       log.compare(log.size() - tail.size(), tail.size(), tail) == 0;
            },
            3s);
    }
    // Everything before the frames sent is a whole number of probe frames.
    void expect_only_probes_before(const Bytes& frames) {
        std::string log = raw_log();
        std::string probe = text_of(live_frames(1));
        size_t probes = log.size() - frames.size();
        ASSERT_EQ(probes % probe.size(), 0u);
        EXPECT_GE(probes, probe.size());
        for (size_t at = 0; at < probes; at += probe.size())
            EXPECT_EQ(log.compare(at, probe.size(), probe), 0) << "at " << at;
    }
    // The exit status after `signal_number`, sent once kxview answers it.
    static int status_after(ChildProcess& kxview, int signal_number) {
        EXPECT_TRUE(kxview.wait_until_catching(SIGTERM, 2s));
        kxview.send(signal_number);
        return kxview.wait_for_exit(3s);
    }
    ScratchDirectory dir;
    LinkedPty pty{dir / "COM1"};
};

TEST_F(KxviewLive, FramesArriveByteIdenticalInTheRawLogAndSigtermQuitsWithZero) {
    ChildProcess kxview = start_kxview(dir, {});
    ASSERT_TRUE(wait_until_reading(kxview)) << kxview.out() << kxview.err();
    Bytes frames = live_frames(12);
    pty.write(frames);
    ASSERT_TRUE(wait_for_logged(frames)) << raw_log().size() << " bytes logged";
    expect_only_probes_before(frames);
    std::string logged = raw_log();

    EXPECT_EQ(status_after(kxview, SIGTERM), 0);
    EXPECT_EQ(kxview.out(), "");
    EXPECT_EQ(raw_log(), logged);
}

TEST_F(KxviewLive, SigintQuitsWithZeroLikeSigterm) {
    ChildProcess kxview = start_kxview(dir, {});
    ASSERT_TRUE(wait_until_reading(kxview)) << kxview.out() << kxview.err();
    EXPECT_EQ(status_after(kxview, SIGINT), 0);
}

TEST_F(KxviewLive, HungUpLineKeepsTheProgramUpAndSigtermStillQuits) {
    ChildProcess kxview = start_kxview(dir, {});
    ASSERT_TRUE(wait_until_reading(kxview)) << kxview.out() << kxview.err();
    std::string logged = raw_log();
    pty.hang_up();
    std::this_thread::sleep_for(1500ms); // more than one frame read's time-out
    ASSERT_TRUE(kxview.running());
    EXPECT_EQ(status_after(kxview, SIGTERM), 0);
    EXPECT_EQ(raw_log(), logged);
}

// The start-of-pass flush ends after 2 s even while bytes keep coming, most
// likely inside a frame: the log then holds the stream from there on, nothing
// dropped, and the reads realign on the frames, so that it ends where a frame ends.
TEST_F(KxviewLive, LineThatNeverGoesQuietStillHasItsFramesRead) {
    Bytes pattern = live_frames(1);
    ChildProcess kxview = start_kxview(dir, {});
    EndlessSender sender(&pty, pattern);
    ASSERT_TRUE(wait_until([&] { return raw_log().size() >= 4 * pattern.size(); }, 6s))
        << raw_log().size() << " bytes logged";
    std::string log = raw_log();
    std::string frame = text_of(pattern);
    size_t start = (frame + frame).find(log.substr(0, frame.size()));
    ASSERT_NE(start, std::string::npos);
    std::string stream;
    while (stream.size() < start + log.size())
        stream += frame;
    EXPECT_TRUE(log == stream.substr(start, log.size())) << "the log is not the stream";
    EXPECT_EQ((start + log.size()) % frame.size(), 0u);
    EXPECT_EQ(status_after(kxview, SIGTERM), 0);
}

// Fewer frames than fill the stream's buffer: they are in the file only
// because each is flushed as it is read.
TEST_F(KxviewLive, EveryFrameReadBeforeSigkillIsInTheRawLog) {
    ChildProcess kxview = start_kxview(dir, {});
    ASSERT_TRUE(wait_until_reading(kxview)) << kxview.out() << kxview.err();
    Bytes frames = live_frames(5);
    pty.write(frames);
    ASSERT_TRUE(wait_for_logged(frames)) << raw_log().size() << " bytes logged";
    std::string logged = raw_log();
    kxview.send(SIGKILL);
    EXPECT_EQ(kxview.wait_for_exit(3s), -1);
    EXPECT_EQ(raw_log(), logged);
    expect_only_probes_before(frames);
}

// Replay --------------------------------------------------------------------------

TEST(KxviewReplay, RecordingWithBadRecordsRunsToItsEndAndQuitsOnSigtermWithZero) {
    ScratchDirectory dir;
    Bytes recording;
    append(&recording, sealed(frame_with(0, {0xEB, 0x90, 0x00, 0x01})));
    append(&recording, Bytes(300, 0x5A)); // fails the checksum, no sync pattern within
    append(&recording, sealed(frame_with(0, {0xEB, 0x90, 0x00, 0x02, 0x00, 0x01})));
    append(&recording, Bytes(100, 0xEB)); // a short tail
    write_file(dir / "recording.dat", recording);
    ChildProcess kxview = start_kxview(dir, {"recording.dat"});
    ASSERT_TRUE(kxview.wait_until_catching(SIGTERM, 5s)) << kxview.out() << kxview.err();
    // Two good records and the end of input, at five reads a second.
    std::this_thread::sleep_for(800ms);
    ASSERT_TRUE(kxview.running());
    kxview.send(SIGTERM);
    EXPECT_EQ(kxview.wait_for_exit(3s), 0);
    EXPECT_EQ(kxview.out(), "");
    EXPECT_FALSE(fs::exists(dir / "varno.dat"));
}

} // namespace
