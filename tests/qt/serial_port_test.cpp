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
// Never waited out: a read returns as soon as its count is in.
constexpr double HOUR = 3600.0;

Bytes pattern(int count, int start = 0) {
    Bytes bytes(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<unsigned char>((start + i * 7) % 256);
    return bytes;
}

class SerialPort : public testing::Test {
  protected:
    // The next test in this process finds the port closed.
    void TearDown() override { CloseCom(1); }
    void link_com1(const char* target) {
        ::unlink("COM1");
        ASSERT_EQ(::symlink(target, "COM1"), 0);
    }
    int open(int parity = 0, int data_bits = 8, int stop_bits = 1) {
        return OpenComConfig(1, "COM1", 19200, parity, data_bits, stop_bits, 0, 0);
    }
    // Sends `bytes` from the instrument's end once the reader waits.
    void send_later(const Bytes& bytes) {
        QTimer::singleShot(30, [this, bytes] { pty->write(bytes); });
    }
    // Seconds that `read` took.
    template <class Read> static double timed(Read read) {
        double start = Timer();
        read();
        return Timer() - start;
    }

    ScratchDirectory directory;
    WorkingDirectory here{directory.root()};
    // The instrument's end of the line.
    std::unique_ptr<LinkedPty> pty = std::make_unique<LinkedPty>("COM1");
    Bytes buffer = Bytes(256);
};

} // namespace

TEST_F(SerialPort, ReadsTakeTheirWholeCountOrWhatCameWithinTheTimeOut) {
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(SetComTime(1, HOUR), 0);
    Bytes frame = pattern(256);
    pty->write(Bytes(frame.begin(), frame.begin() + 100));
    send_later(Bytes(frame.begin() + 100, frame.end()));
    EXPECT_EQ(ComRd(1, buffer.data(), 256), 256);
    EXPECT_EQ(buffer, frame);

    ASSERT_EQ(SetComTime(1, TIMEOUT), 0);
    Bytes part = pattern(100, 3);
    pty->write(part);
    int got = 0;
    EXPECT_GE(timed([&] { got = ComRd(1, buffer.data(), 256); }), AT_LEAST_TIMEOUT);
    EXPECT_EQ(got, 100);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 100), part);
    pty->write({0x00, 0xFF});
    EXPECT_EQ(ComRdByte(1), 0x00);
    EXPECT_EQ(ComRdByte(1), 0xFF);
    EXPECT_GE(timed([&] { got = ComRdByte(1); }), AT_LEAST_TIMEOUT);
    EXPECT_LT(got, 0);
}

TEST_F(SerialPort, VanishedDeviceFailsAfterTheTimeOutAndIsReadAgainWhenBack) {
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(SetComTime(1, TIMEOUT), 0);
    // Unplugged: the line hangs up and the device's name goes away (a freed
    // pseudo-terminal's number may at once serve another process).
    pty->hang_up();
    link_com1("unplugged");
    for (int attempt = 0; attempt < 2; ++attempt) {
        int got = 0;
        // Waited out, no busy loop.
        EXPECT_GE(timed([&] { got = ComRd(1, buffer.data(), 256); }), AT_LEAST_TIMEOUT);
        EXPECT_LT(got, 0) << attempt;
    }
    EXPECT_LT(ComRdByte(1), 0);
    // The adapter is plugged in again behind the same name.
    ::unlink("COM1");
    pty = std::make_unique<LinkedPty>("COM1");
    Bytes frame = pattern(256, 11);
    send_later(frame);
    SetComTime(1, HOUR);
    EXPECT_EQ(ComRd(1, buffer.data(), 256), 256);
    EXPECT_EQ(buffer, frame);
}

TEST_F(SerialPort, PortNotOpenFailsAtOnceAndFailedOpensGiveTheReasonInErrno) {
    EXPECT_LT(ComRd(1, buffer.data(), 1), 0);
    EXPECT_LT(SetComTime(1, 1.0), 0);
    ASSERT_EQ(open(), 0);
    EXPECT_LT(ComRdByte(2), 0); // only the port opened exists
    EXPECT_EQ(CloseCom(1), 0);
    EXPECT_LT(ComRdByte(1), 0);
    EXPECT_LT(CloseCom(1), 0);
    struct Case {
        const char* device;
        int parity, data_bits, stop_bits;
        int error;
    };
    for (Case c : {Case{"", 0, 9, 1, EINVAL}, Case{"", 7, 8, 1, EINVAL}, Case{"", 0, 8, 3, EINVAL},
                   Case{"/nonexistent/kx-adapter", 0, 8, 1, ENOENT}}) {
        SCOPED_TRACE(c.error);
        if (*c.device) link_com1(c.device);
        errno = 0;
        EXPECT_LT(open(c.parity, c.data_bits, c.stop_bits), 0);
        EXPECT_EQ(errno, c.error);
    }
}
