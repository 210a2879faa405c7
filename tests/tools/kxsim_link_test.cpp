// kxsim on a pseudo-terminal, read with plain POSIX reads: whole frames, in
// order, at the line's pace; the link goes away on exit and on a signal.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "child_process.h"
#include "files.h"
#include "frame_format.h"
#include "scratch_directory.h"
#include "wait_until.h"

namespace {

using Clock = std::chrono::steady_clock;
using Frame = std::array<unsigned char, FRAME_SIZE>;

// Waits (bounded) until kxsim has made its link.
bool wait_for_link(const std::string& path) {
    return wait_until([&] { return entry_exists(path); }, std::chrono::seconds(3));
}

ChildProcess start_kxsim(const ScratchDirectory& scratch, const std::vector<std::string>& args) {
    std::vector<std::string> argv{KXSIM, "--link", "TTY"};
    argv.insert(argv.end(), args.begin(), args.end());
    return ChildProcess(argv, {.directory = scratch.root()});
}

// Reads one whole frame, or returns false once the line ends or stays quiet
// for a second.
bool read_frame(int fd, Frame* frame) {
    size_t got = 0;
    while (got < frame->size()) {
        pollfd line{fd, POLLIN, 0};
        if (poll(&line, 1, 1000) <= 0 || (line.revents & POLLIN) == 0) return false;
        ssize_t n = read(fd, frame->data() + got, frame->size() - got);
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

int open_line(const std::string& path) { return open(path.c_str(), O_RDONLY | O_NOCTTY); }

// Frames follow each other: sequence numbers (byte 4) and modes step by one.
void expect_in_order(const std::vector<Frame>& frames) {
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_TRUE(checksum_ok(frames[i].data())) << i;
        EXPECT_EQ(frames[i][0], 0xEB);
        EXPECT_EQ(frames[i][1], 0x90);
        if (i == 0) continue;
        EXPECT_EQ(static_cast<unsigned char>(frames[i][4] - frames[i - 1][4]), 1) << i;
        EXPECT_EQ(frame_mode(frames[i].data()), (frame_mode(frames[i - 1].data()) + 1) % 4);
    }
}

} // namespace

// Only frames sent while the line is open arrive, so the time from opening it
// to the n-th frame is at least n - 1 periods, however late the reader runs.
TEST(KxsimLink, DeliversWholeFramesInOrderAtTheLinePace) {
    ScratchDirectory scratch;
    ChildProcess sim = start_kxsim(scratch, {"--count", "10"});
    ASSERT_TRUE(wait_for_link(scratch / "TTY"));
    auto opened = Clock::now();
    int fd = open_line(scratch / "TTY");
    ASSERT_GE(fd, 0);
    std::vector<Frame> frames;
    Clock::time_point last;
    for (Frame frame; read_frame(fd, &frame); last = Clock::now())
        frames.push_back(frame);
    close(fd);
    ProgramResult result = sim.finish();
    EXPECT_EQ(result.status, 0);
    // Frames sent before the line was opened went nowhere, as on a real line.
    ASSERT_GE(frames.size(), 4u);
    EXPECT_LE(frames.size(), 10u);
    expect_in_order(frames);
    auto took = std::chrono::duration<double>(last - opened).count();
    EXPECT_GT(took, 0.13 * static_cast<double>(frames.size() - 1));
    EXPECT_FALSE(entry_exists(scratch / "TTY"));
    EXPECT_TRUE(result.err.starts_with("kxsim: streaming on TTY -> /dev/pts/")) << result.err;
    EXPECT_NE(result.err.find("kxsim: 10 records: 10 good,"), std::string::npos) << result.err;
}

TEST(KxsimLink, SlowerRateSpacesTheFrames) {
    ScratchDirectory scratch;
    ChildProcess sim = start_kxsim(scratch, {"--count", "6", "--rate", "4"});
    ASSERT_TRUE(wait_for_link(scratch / "TTY"));
    auto opened = Clock::now();
    int fd = open_line(scratch / "TTY");
    ASSERT_GE(fd, 0);
    Frame frame;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(read_frame(fd, &frame)) << i;
    auto took = std::chrono::duration<double>(Clock::now() - opened).count();
    close(fd);
    sim.send(SIGTERM);
    sim.finish();
    EXPECT_GT(took, 2 * 0.245);
}

TEST(KxsimLink, ReaderThatLeavesAndComesBackGetsWholeFramesAgain) {
    ScratchDirectory scratch;
    ChildProcess sim = start_kxsim(scratch, {"--count", "40"});
    ASSERT_TRUE(wait_for_link(scratch / "TTY"));
    for (int visit = 0; visit < 2; ++visit) {
        int fd = open_line(scratch / "TTY");
        ASSERT_GE(fd, 0);
        std::vector<Frame> frames(2);
        ASSERT_TRUE(read_frame(fd, &frames[0])) << visit;
        ASSERT_TRUE(read_frame(fd, &frames[1])) << visit;
        // Leaves the next frame unread: the next visit must not get it first.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        close(fd);
        expect_in_order(frames);
        // Gone for a while: kxsim sends into the void and keeps going.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    sim.send(SIGTERM);
    ProgramResult result = sim.finish();
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.err.find("not delivered (no reader, or one that stopped reading)"),
              std::string::npos)
        << result.err;
}

TEST(KxsimLink, SignalsRemoveTheLink) {
    for (int signal : {SIGTERM, SIGINT}) {
        ScratchDirectory scratch;
        ChildProcess sim = start_kxsim(scratch, {});
        ASSERT_TRUE(wait_for_link(scratch / "TTY"));
        sim.send(signal);
        ProgramResult result = sim.finish();
        EXPECT_EQ(result.status, 0) << signal;
        EXPECT_FALSE(entry_exists(scratch / "TTY")) << signal;
        EXPECT_NE(result.err.find(" records: "), std::string::npos) << result.err;
    }
}

TEST(KxsimLink, ExistingFileIsNeverReplaced) {
    ScratchDirectory scratch;
    write_file(scratch / "TTY", "precious");
    ProgramResult result = start_kxsim(scratch, {"--count", "1"}).finish();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "kxsim: TTY exists and is not a link to a pseudo-terminal; remove it "
                          "or choose another name with --link\n");
    EXPECT_EQ(read_file(scratch / "TTY"), "precious");
}

TEST(KxsimLink, StaleLinkFromAnEarlierRunIsReplaced) {
    ScratchDirectory scratch;
    ASSERT_EQ(symlink("/dev/pts/nonexistent", (scratch / "TTY").c_str()), 0);
    ChildProcess sim = start_kxsim(scratch, {"--count", "2"});
    ProgramResult result = sim.finish();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_FALSE(entry_exists(scratch / "TTY"));
}
