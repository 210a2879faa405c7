// The built kxview over the real Qt backend, as an operator starts it: live
// over a pseudo-terminal linked as ./COM1, quit by signal. Start-up and its
// failures, and replay, are checked over the fake backend; the package check
// replays a recording with the installed kxview.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "child_process.h"
#include "files.h"
#include "frames.h"
#include "linked_pty.h"

namespace {

using namespace std::chrono_literals;

// kxview started live, offscreen, in `dir`; in sanitizer builds, with leak
// reports only for our own code.
ChildProcess start_kxview(const ScratchDirectory& dir) {
    return ChildProcess({KXVIEW_PATH},
                        {.directory = dir.root(),
                         .environment = {"QT_QPA_PLATFORM=offscreen",
                                         "LSAN_OPTIONS=suppressions=" KX_LSAN_SUPPRESSIONS
                                         ":print_suppressions=0"}});
}

// Distinct frames holding every byte value, control characters included.
std::string live_frames(int count) {
    Frame frame = fixture_frame("mixed_frame.hex");
    std::string bytes;
    for (int i = 0; i < count; ++i) {
        frame[2] = static_cast<unsigned char>(i);
        bytes.append(frame.begin(), frame.end());
    }
    return bytes;
}

Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }

} // namespace

// Each pass starts by flushing the line until it goes quiet, so frames sent
// too early are lost: a probe frame goes out until one lands in the raw log,
// and from then on every frame sent is read. Five frames are fewer than fill
// the log's stream buffer: they are in the file because each is flushed as
// it is read.
TEST(KxviewLive, FramesLandByteExactInTheRawLogAndSigintQuitsWithZero) {
    const std::string probe = live_frames(1), frames = live_frames(5);
    ScratchDirectory dir;
    LinkedPty pty(dir / "COM1");
    ChildProcess kxview = start_kxview(dir);
    auto raw_log = [&] { return read_file(dir / "varno.dat"); };
    bool reading = false;
    for (int attempt = 0; attempt < 50 && !reading; ++attempt) {
        pty.write(bytes_of(probe));
        reading = wait_until([&] { return !raw_log().empty(); }, 400ms);
    }
    ASSERT_TRUE(reading);
    pty.write(bytes_of(frames));
    ASSERT_TRUE(wait_until([&] { return raw_log().ends_with(frames); }, 10s))
        << raw_log().size() << " bytes logged";
    std::string logged = raw_log(), expected;
    while (expected.size() + frames.size() < logged.size())
        expected += probe;
    EXPECT_EQ(logged, expected + frames);
    kxview.send(SIGINT);
    ProgramResult result = kxview.finish();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(raw_log(), logged);
}
