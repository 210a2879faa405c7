// The serial port over real pseudo-terminals, linked as COM1 in a temporary
// working directory.
#include <QTimer>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

#include "files.h"
#include "pty_link.h"
#include "runtime.h"

TEST(SerialPort, VanishedDeviceFailsAfterTheTimeOutAndIsReadAgainWhenBack) {
    ScratchDirectory directory;
    WorkingDirectory here(directory.root());
    std::string error;
    PtyLink line, again;
    ASSERT_TRUE(line.open("COM1", &error)) << error;
    ASSERT_EQ(OpenComConfig(1, "COM1", 19200, 0, 8, 1, 0, 0), 0);
    ASSERT_EQ(SetComTime(1, 0.2), 0);
    // Unplugged: the line hangs up and the device's name goes away.
    line.close();
    std::vector<unsigned char> frame(256), buffer(256);
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
    QTimer::singleShot(30, [&] { EXPECT_EQ(again.send(frame.data(), 256, 2000), Delivery::sent); });
    EXPECT_EQ(ComRd(1, buffer.data(), 256), 256);
    EXPECT_EQ(buffer, frame);
    CloseCom(1);
}
