// kxsim feeding the live frame source over the real Qt serial backend, as
// kxview is fed: whole frames, in the order sent, at the line's pace.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "frame_format.h"
#include "frame_source.h"
#include "program_run.h"
#include "runtime.h"

namespace {

using Frame = std::array<unsigned char, FRAME_SIZE>;

bool linked(const std::string& path) {
    struct stat status;
    for (int i = 0; i < 300; ++i) {
        if (lstat(path.c_str(), &status) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

TEST(KxsimLiveSource, ReadsWholeFramesInOrder) {
    Scratch scratch;
    RunningProgram sim = start_program({KXSIM, "--link", "COM1", "--count", "12"}, scratch.path);
    ASSERT_TRUE(linked(scratch / "COM1"));
    ASSERT_EQ(chdir(scratch.path.c_str()), 0);
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(OpenComConfig(1, "COM1", 19200, 0, 8, 1, 512, 512), 0);
    ASSERT_EQ(SetComTime(1, 1.05), 0);
    std::vector<Frame> frames(5);
    for (Frame& frame : frames)
        ASSERT_EQ(get_frm(frame.data(), SOURCE_LIVE), 0);
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    CloseCom(1);
    kill(sim.pid, SIGTERM);
    EXPECT_EQ(finish_program(sim).status, 0);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_TRUE(checksum_ok(frames[i].data())) << i;
        if (i == 0) continue;
        EXPECT_EQ(static_cast<unsigned char>(frames[i][4] - frames[i - 1][4]), 1) << i;
        EXPECT_EQ(frame_mode(frames[i].data()), (frame_mode(frames[i - 1].data()) + 1) % 4) << i;
    }
    // Only frames sent while the port is open arrive: the fifth comes at least
    // four periods after the opening.
    EXPECT_GT(took, 4 * 0.13);
}
