// The serial port over real pseudo-terminals, linked as COM1 in a temporary
// working directory.
#include <QTimer>
#include <cerrno>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "linked_pty.h"
#include "runtime.h"
#include "scratch_directory.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr double TIMEOUT = 0.2;
// A little slack for the clock's granularity below the time-out.
constexpr double AT_LEAST_TIMEOUT = TIMEOUT - 0.01;

Bytes pattern(int count, int start = 0) {
    Bytes bytes(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<unsigned char>((start + i * 7) % 256);
    return bytes;
}

class SerialPort : public testing::Test {
  protected:
    void link_com1(const char* target) {
        ::unlink("COM1");
        ASSERT_EQ(::symlink(target, "COM1"), 0);
    }
    int open() { return OpenComConfig(1, "COM1", 19200, 0, 8, 1, 0, 0); }
    void open_with_timeout() {
        ASSERT_EQ(open(), 0);
        ASSERT_EQ(SetComTime(1, TIMEOUT), 0);
    }
    // Sends `bytes` from the instrument's end once the reader waits.
    void send_later(const Bytes& bytes) {
        QTimer::singleShot(30, [this, bytes] { pty->write(bytes); });
    }

    ScratchDirectory directory;
    WorkingDirectory here{directory.root()};
    // The instrument's end of the line.
    std::unique_ptr<LinkedPty> pty = std::make_unique<LinkedPty>("COM1");
};

// Seconds that `read` took.
template <class Read> double timed(Read read) {
    double start = Timer();
    read();
    return Timer() - start;
}

} // namespace

TEST_F(SerialPort, FrameOf256BytesArrivingInPartsIsReadWhole) {
    ASSERT_EQ(open(), 0);
    SetComTime(1, 1.05);
    Bytes frame = pattern(256);
    pty->write(Bytes(frame.begin(), frame.begin() + 100));
    send_later(Bytes(frame.begin() + 100, frame.end()));
    Bytes buffer(256);
    int got = 0;
    double took = timed([&] { got = ComRd(1, buffer.data(), 256); });
    EXPECT_EQ(got, 256);
    EXPECT_EQ(buffer, frame);
    EXPECT_LT(took, 1.0); // it returns when the count is in, not at the time-out
}

TEST_F(SerialPort, ShortReadReturnsItsCountAfterTheTimeOut) {
    open_with_timeout();
    Bytes part = pattern(100, 3);
    pty->write(part);
    Bytes buffer(256);
    int got = 0;
    double took = timed([&] { got = ComRd(1, buffer.data(), 256); });
    EXPECT_EQ(got, 100);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 100), part);
    EXPECT_GE(took, AT_LEAST_TIMEOUT);
}

TEST_F(SerialPort, ComRdByteReturnsEachByteThenGoesNegativeAfterTheTimeOut) {
    open_with_timeout();
    pty->write({0x00, 0xFF});
    EXPECT_EQ(ComRdByte(1), 0x00);
    EXPECT_EQ(ComRdByte(1), 0xFF);
    int result = 0;
    double took = timed([&] { result = ComRdByte(1); });
    EXPECT_LT(result, 0);
    EXPECT_GE(took, AT_LEAST_TIMEOUT);
}

TEST_F(SerialPort, VanishedDeviceFailsAfterTheTimeOutAndIsReadAgainWhenBack) {
    open_with_timeout();
    // Unplugged: the line hangs up and the device's name goes away (a freed
    // pseudo-terminal's number may at once serve another process).
    pty->hang_up();
    link_com1("unplugged");
    Bytes buffer(256);
    for (int attempt = 0; attempt < 2; ++attempt) {
        int got = 0;
        double took = timed([&] { got = ComRd(1, buffer.data(), 256); });
        EXPECT_LT(got, 0) << attempt;
        EXPECT_GE(took, AT_LEAST_TIMEOUT) << attempt; // waited out, no busy loop
    }
    EXPECT_LT(ComRdByte(1), 0);
    // The adapter is plugged in again behind the same name.
    ::unlink("COM1");
    pty = std::make_unique<LinkedPty>("COM1");
    Bytes frame = pattern(256, 11);
    send_later(frame);
    SetComTime(1, 1.05);
    EXPECT_EQ(ComRd(1, buffer.data(), 256), 256);
    EXPECT_EQ(buffer, frame);
}

TEST_F(SerialPort, OpenFailureGivesTheSystemsReasonInErrno) {
    link_com1("/nonexistent/kx-adapter");
    errno = 0;
    EXPECT_LT(open(), 0);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(SerialPort, UnsupportedSettingsAreRefused) {
    errno = 0;
    EXPECT_LT(OpenComConfig(1, "COM1", 19200, 0, 9, 1, 0, 0), 0);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_LT(OpenComConfig(1, "COM1", 19200, 7, 8, 1, 0, 0), 0);
    EXPECT_LT(OpenComConfig(1, "COM1", 19200, 0, 8, 3, 0, 0), 0);
}

TEST_F(SerialPort, PortThatIsNotOpenFailsAtOnce) {
    unsigned char byte = 0;
    EXPECT_LT(ComRd(1, &byte, 1), 0);
    EXPECT_LT(SetComTime(1, 1.0), 0);
    open_with_timeout();
    EXPECT_LT(ComRdByte(2), 0); // only the port opened exists
    EXPECT_EQ(CloseCom(1), 0);
    EXPECT_LT(ComRdByte(1), 0);
    EXPECT_LT(CloseCom(1), 0);
}
