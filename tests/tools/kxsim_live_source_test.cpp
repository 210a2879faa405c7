// kxsim feeding the live frame source over the real Qt serial backend, as
// kxview is fed: whole frames, in the order sent, at the line's pace.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <vector>

#include "child_process.h"
#include "files.h"
#include "frame_format.h"
#include "frame_source.h"
#include "runtime.h"
#include "scratch_directory.h"
#include "wait_until.h"

namespace {

using Frame = std::array<unsigned char, FRAME_SIZE>;

} // namespace

TEST(KxsimLiveSource, ReadsWholeFramesInOrder) {
    ScratchDirectory scratch;
    ChildProcess sim({KXSIM, "--link", "COM1", "--count", "12"}, {.directory = scratch.root()});
    ASSERT_TRUE(
        wait_until([&] { return entry_exists(scratch / "COM1"); }, std::chrono::seconds(3)));
    WorkingDirectory here(scratch.root());
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(OpenComConfig(1, "COM1", 19200, 0, 8, 1, 512, 512), 0);
    ASSERT_EQ(SetComTime(1, 1.05), 0);
    std::vector<Frame> frames(5);
    for (Frame& frame : frames)
        ASSERT_EQ(get_frm(frame.data(), SOURCE_LIVE), 0);
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    CloseCom(1);
    sim.send(SIGTERM);
    EXPECT_EQ(sim.finish().status, 0);
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
