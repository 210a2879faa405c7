// The built kxview over the real Qt backend, as an operator starts it: live
// over a pseudo-terminal linked as ./COM1, quit by signal, and the start
// without a display. Start-up's other failures, and replay, are checked over
// the fake backend; the package check replays a recording with the installed
// kxview.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "child_process.h"
#include "files.h"
#include "frames.h"
#include "pty_link.h"

namespace {

using namespace std::chrono_literals;

// kxview started live in `dir` with `environment`; in sanitizer builds, with
// leak reports only for our own code.
ChildProcess start_kxview(const ScratchDirectory& dir,
                          std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen"}) {
    environment.push_back("LSAN_OPTIONS=suppressions=" KX_LSAN_SUPPRESSIONS
                          ":print_suppressions=0");
    return ChildProcess({KXVIEW_PATH}, {.directory = dir.root(), .environment = environment});
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

} // namespace

// Qt would abort, leaving a core file; the port and the raw log are handled
// as when the port fails.
TEST(KxviewStart, WithoutADisplayIsOneLineAndStatusOneWithAnEmptyRawLog) {
    for (std::string display : {"", ":4093.0"}) { // none, or one whose server is not running
        SCOPED_TRACE(display);
        ScratchDirectory dir;
        PtyLink line;
        std::string error;
        ASSERT_TRUE(line.open((dir / "COM1").c_str(), &error)) << error;
        ProgramResult result =
            start_kxview(dir, {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display, "WAYLAND_DISPLAY="})
                .finish();
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out,
                  "kxview: cannot open the display (set DISPLAY, or QT_QPA_PLATFORM=offscreen)\n");
        EXPECT_EQ(result.err, "");
        EXPECT_TRUE(entry_exists(dir / "varno.dat"));
        EXPECT_EQ(read_file(dir / "varno.dat"), "");
    }
}

// Each pass starts by flushing the line until it goes quiet, so frames sent
// too early are lost: a probe frame goes out until one lands in the raw log,
// and from then on every frame sent is read. Five frames are fewer than fill
// the log's stream buffer: they are in the file because each is flushed as
// it is read.
TEST(KxviewLive, FramesLandByteExactInTheRawLogAndSigintQuitsWithZero) {
    const std::string probe = live_frames(1), frames = live_frames(5);
    ScratchDirectory dir;
    PtyLink line;
    std::string error;
    ASSERT_TRUE(line.open((dir / "COM1").c_str(), &error)) << error;
    auto send = [&](const std::string& bytes) {
        return line.send(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 2000);
    };
    ChildProcess kxview = start_kxview(dir);
    auto raw_log = [&] { return read_file(dir / "varno.dat"); };
    bool reading = false;
    for (int attempt = 0; attempt < 50 && !reading; ++attempt) {
        send(probe); // lost while kxview has not opened the line
        reading = wait_until([&] { return !raw_log().empty(); }, 400ms);
    }
    ASSERT_TRUE(reading);
    ASSERT_EQ(send(frames), Delivery::sent);
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
