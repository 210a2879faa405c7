// The serial port over real pseudo-terminals, linked as COM1 in a temporary
// working directory.
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <numeric>
#include <unistd.h>
#include <vector>

#include "files.h"
#include "linked_pty.h"
#include "runtime.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr double TIMEOUT = 0.2;
// A little slack for the clock's granularity below the time-out.
constexpr double AT_LEAST_TIMEOUT = TIMEOUT - 0.01;
// Never waited out: a read returns as soon as its count is in.
constexpr double HOUR = 3600.0;

class SerialPort : public testing::Test {
  protected:
    void SetUp() override { std::iota(frame.begin(), frame.end(), 7); }
    // The next test in this process finds the port closed.
    void TearDown() override { CloseCom(1); }
    void link_com1(const char* target) {
        ::unlink("COM1");
        ASSERT_EQ(::symlink(target, "COM1"), 0);
    }
    int open() { return OpenComConfig(1, "COM1", 19200, 0, 8, 1, 0, 0); }
    // Sends the frame's bytes from `first` on, from the instrument's end
    // once the reader waits, and returns what a read of the frame gets.
    int read_frame_sent_from(int first) {
        QTimer::singleShot(
            30, [this, first] { pty->write(Bytes(frame.begin() + first, frame.end())); });
        return ComRd(1, buffer.data(), 256);
    }

    ScratchDirectory directory;
    WorkingDirectory here{directory.root()};
    // The instrument's end of the line.
    std::unique_ptr<LinkedPty> pty = std::make_unique<LinkedPty>("COM1");
    Bytes frame = Bytes(256);
    Bytes buffer = Bytes(256);
};

} // namespace

TEST_F(SerialPort, VanishedDeviceFailsAfterTheTimeOutAndIsReadAgainWhenBack) {
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(SetComTime(1, TIMEOUT), 0);
    // Unplugged: the line hangs up and the device's name goes away (a freed
    // pseudo-terminal's number may at once serve another process).
    pty->hang_up();
    link_com1("unplugged");
    double start = Timer();
    EXPECT_LT(ComRd(1, buffer.data(), 256), 0);
    EXPECT_LT(ComRd(1, buffer.data(), 256), 0);
    EXPECT_LT(ComRdByte(1), 0);
    EXPECT_GE(Timer() - start, 3 * AT_LEAST_TIMEOUT); // waited out, no busy loop
    // The adapter is plugged in again behind the same name.
    ::unlink("COM1");
    pty = std::make_unique<LinkedPty>("COM1");
    SetComTime(1, HOUR);
    EXPECT_EQ(read_frame_sent_from(0), 256);
    EXPECT_EQ(buffer, frame);
}
