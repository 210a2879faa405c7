// The serial port over real pseudo-terminals, linked as COM1 in a temporary
// working directory.
#include <QTimer>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <numeric>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

#include "files.h"
#include "line_claim.h"
#include "pty_link.h"
#include "runtime.h"

TEST(SerialPort, VanishedDeviceFailsAfterTheTimeOutAndIsReadAgainWhenBack) {
    ScratchDirectory directory;
    WorkingDirectory here(directory.root());
    std::string error;
    PtyLink line, again;
    ASSERT_TRUE(line.open("COM1", &error)) << error;
    ASSERT_EQ(OpenComConfig(1, "COM1", 19200, 0, 8, 1, 0, 0), 0);
    // A byte a call, with the next one waiting, is left for the next read.
    const unsigned char two[] = {0xA5, 0x5A};
    ASSERT_EQ(line.send(two, 2, 2000), Delivery::sent);
    EXPECT_EQ(ComRdByte(1), 0xA5);
    EXPECT_EQ(ComRdByte(1), 0x5A);
    ASSERT_EQ(SetComTime(1, 0.2), 0);
    // Unplugged while a read waits with 100 bytes in: the line hangs up and
    // the device's name goes away. The bytes that came are read all the same.
    std::vector<unsigned char> frame(256), buffer(256);
    ASSERT_EQ(line.send(frame.data(), 100, 2000), Delivery::sent);
    QTimer::singleShot(0, [&] { line.close(); }); // at the read's first wait
    EXPECT_EQ(ComRd(1, buffer.data(), 256), 100);
    double start = Timer();
    EXPECT_LT(ComRd(1, buffer.data(), 256), 0);
    EXPECT_LT(ComRd(1, buffer.data(), 256), 0);
    EXPECT_LT(ComRdByte(1), 0);
    EXPECT_GE(Timer() - start, 3 * 0.19); // each waited out its time-out: no busy loop
    // Plugged in again behind the same name. The read reopens it at once and
    // then waits, never its hour out: it returns as soon as the frame is in.
    ASSERT_TRUE(again.open("COM1", &error)) << error;
    SetComTime(1, 3600.0);
    std::iota(frame.begin(), frame.end(), 7);
    QTimer::singleShot(0, [&] { // at the read's first wait
        EXPECT_EQ(again.send(frame.data(), 256, 2000), Delivery::sent);
    });
    EXPECT_EQ(ComRd(1, buffer.data(), 256), 256);
    EXPECT_EQ(buffer, frame);
    CloseCom(1);
}

// After an unplug, lines the port must not read while it waits for its own:
// a link left behind (by a kxsim killed, say) names a /dev/pts number that
// the next pseudo-terminal opened anywhere takes; and a line another reader
// holds is never shared. Linked anew and let go, the line is read.
TEST(SerialPort, ReopenTakesNeitherAReusedPseudoTerminalNumberNorAHeldLine) {
    ScratchDirectory directory, elsewhere;
    WorkingDirectory here(directory.root());
    std::string error;
    PtyLink first, reused;
    ASSERT_TRUE(first.open((elsewhere / "first").c_str(), &error)) << error;
    const std::string number = first.device();
    std::filesystem::create_symlink(number, "COM1"); // stays when the line goes
    ASSERT_EQ(OpenComConfig(1, "COM1", 19200, 0, 8, 1, 0, 0), 0);
    ASSERT_EQ(SetComTime(1, 0.3), 0);
    std::vector<unsigned char> frame(256, 0x5A), buffer(256);
    first.close();
    ASSERT_LT(ComRd(1, buffer.data(), 256), 0); // the port lets the terminal go
    ASSERT_TRUE(reused.open((elsewhere / "reused").c_str(), &error)) << error;
    if (reused.device() != number) GTEST_SKIP() << number << " went to another program meanwhile";
    // Frames go out on the reused terminal all the while the port reads; they
    // reach a reader only once one has the line open.
    auto read_while_fed = [&] {
        QTimer feed;
        QObject::connect(&feed, &QTimer::timeout, [&] { reused.send(frame.data(), 256, 0); });
        feed.start(50);
        return ComRd(1, buffer.data(), 256);
    };
    EXPECT_LT(read_while_fed(), 0);
    std::filesystem::remove("COM1");
    std::filesystem::create_symlink(number, "COM1"); // chosen anew, as kxsim or the operator would
    int holder = open(number.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_LT(read_while_fed(), 0);
    close(holder);
    EXPECT_EQ(read_while_fed(), 256);
    EXPECT_EQ(buffer, frame);
    CloseCom(1);
}

// The holder of a line is told by the kernel's table of locks (which knows
// any file's), and never guessed: a lock held elsewhere names nobody here.
TEST(SerialPort, AHeldLineNamesTheProcessHoldingItsLockAndNoOtherOne) {
    ScratchDirectory directory;
    const std::string held = directory / "held", unheld = directory / "unheld";
    write_file(held, "");
    write_file(unheld, "");
    int holder = open(held.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    const std::pair<std::string, std::string> cases[] = {
        {held, "process " + std::to_string(getpid()) + " (kx_qt_tests)"},
        {unheld, "another program"},
    };
    for (const auto& [path, who] : cases)
        EXPECT_EQ(kxqt::describe_claim_failure("COM1", path.c_str(), EBUSY),
                  "COM1 -> " + std::filesystem::canonical(path).string() + ": in use by " + who);
    close(holder);
}
