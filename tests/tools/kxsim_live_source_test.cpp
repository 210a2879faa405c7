// kxsim feeding the live frame source over the real Qt serial backend, as
// kxview is fed: whole frames, in the order sent, at the line's pace; with
// faults on the line, realigned on the frames, every byte handed on.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <string>
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

std::vector<std::string> kxsim_on_com1(std::vector<std::string> options) {
    options.insert(options.begin(), {KXSIM, "--link", "COM1"});
    return options;
}

bool com1_linked(const ScratchDirectory& scratch) {
    return wait_until([&] { return entry_exists(scratch / "COM1"); }, std::chrono::seconds(3));
}

} // namespace

TEST(KxsimLiveSource, ReadsWholeFramesInOrder) {
    ScratchDirectory scratch;
    ChildProcess sim(kxsim_on_com1({"--count", "12"}), {.directory = scratch.root()});
    ASSERT_TRUE(com1_linked(scratch));
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

// With this seed, 6 junk runs come before records and records 12 and 19 lose
// their tails; each of those is still read as a frame, since it starts with
// the sync pattern, and takes the head of the next record (13, 20) with it.
// Every other record arrives, however late the reading starts.
TEST(KxsimLiveSource, RealignsAfterJunkAndBrokenRecordsAndHandsOnEveryByte) {
    const std::vector<std::string> faults{"--count", "24",  "--seed", "18",
                                          "--junk",  "0.3", "--drop", "0.1"};
    ScratchDirectory scratch;
    std::vector<std::string> record{KXSIM, "--out", "sent.dat"};
    record.insert(record.end(), faults.begin(), faults.end());
    ASSERT_EQ(run_program(record, {.directory = scratch.root()}).status, 0);
    std::string sent = read_file(scratch / "sent.dat"); // the same bytes as the link's

    ChildProcess sim(kxsim_on_com1(faults), {.directory = scratch.root()});
    ASSERT_TRUE(com1_linked(scratch));
    WorkingDirectory here(scratch.root());
    ASSERT_EQ(OpenComConfig(1, "COM1", 19200, 0, 8, 1, 512, 512), 0);
    ASSERT_EQ(SetComTime(1, 1.05), 0);
    int32_t skipped_before = skipped_bytes();
    std::string arrived;
    std::vector<int> good; // the sequence numbers (byte 4) of frames that pass
    Frame frame{};
    for (int call = 0; call < 40 && get_frm(frame.data(), SOURCE_LIVE) == 0; ++call) {
        const unsigned char* bytes = nullptr;
        int count = live_arrivals(&bytes);
        arrived.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
        if (checksum_ok(frame.data())) good.push_back(frame[4]);
    }
    CloseCom(1);
    EXPECT_EQ(sim.finish().status, 0);

    ASSERT_FALSE(good.empty());
    ASSERT_LT(good.front(), 12) << "the reading began after the faults";
    std::vector<int> expected;
    for (int n = good.front(); n < 24; ++n)
        if (n != 12 && n != 13 && n != 19 && n != 20) expected.push_back(n);
    EXPECT_EQ(good, expected);
    EXPECT_GT(skipped_bytes(), skipped_before);
    EXPECT_NE(sent.find(arrived), std::string::npos) << "not the line's bytes exactly";
    EXPECT_GT(arrived.size(), 16u * FRAME_SIZE);
}
