#include "frame_process.h"

#include <gtest/gtest.h>

#include "controls.h"
#include "fake_runtime.h"
#include "frames.h"

namespace {

class FrameProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::reset();
        init(&store);
    }
    // A frame of `mode` with recognisable values in every displayed field.
    static Frame frame_of_mode(unsigned char mode_byte) {
        Frame frame = frame_with(5, {mode_byte, 0x02, 0xB3, 0x2C, 0x95}); // counter 45296789
        put(&frame, 10, {0x00, 0x0A, 0x00, 0x0C, 0x00, 0x0E});
        put(&frame, 16, {0xAB, 0xCD, 0xEF});
        put(&frame, 46, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
        put(&frame, 166, {0x00, 0x10, 0x02}); // counts 1 and 2
        put(&frame, 244, {0xFF, 0xFF, 0xFF, 0xFF, 0x04, 0xD2, 0x00, 0x01, 0x01, 0x00});
        return frame;
    }
    SpectrumStore store{};
};

TEST_F(FrameProcess, ModeZeroWritesWordsFineScaledWordsAndItsCounter) {
    frm_process(frame_of_mode(0xFC).data(), &store, PANEL, 0);
    EXPECT_EQ(fake::texts(), (std::vector<std::string>{
                                 "SetCtrlVal(1, 2, 65535)",
                                 "SetCtrlVal(1, 3, 10)",
                                 "SetCtrlVal(1, 6, 12)",
                                 "SetCtrlVal(1, 5, 14)",
                                 "SetCtrlVal(1, 24, -9.999999747378752e-05)",
                                 "SetCtrlVal(1, 25, 0.1234000027179718)",
                                 "SetCtrlVal(1, 26, 9.999999747378752e-05)",
                                 "SetCtrlVal(1, 4, 256)",
                                 "PlotStripChart(1, 30, 20, 0, 0, 1)",
                                 "PlotStripChart(1, 31, 80, 0, 0, 6)",
                                 "SetCtrlVal(1, 20, 45296.789000000004)",
                             }));
}

TEST_F(FrameProcess, ModeOneWritesTenthsAndTheTimeButNotTheThirdWord) {
    frm_process(frame_of_mode(0x05).data(), &store, PANEL, 0);
    std::vector<std::string> texts = fake::texts("SetCtrlVal");
    EXPECT_EQ(std::vector<std::string>(texts.begin() + 4, texts.end()),
              (std::vector<std::string>{
                  "SetCtrlVal(1, 23, -0.10000000149011612)",
                  "SetCtrlVal(1, 22, 123.4000015258789)",
                  "SetCtrlVal(1, 4, 256)",
                  "SetCtrlVal(1, 21, \"12:34:56.8\")",
              }));
}

TEST_F(FrameProcess, ModesTwoAndThreeWriteOnlyTheirOwnCounter) {
    frm_process(frame_of_mode(0x02).data(), &store, PANEL, 0);
    EXPECT_EQ(fake::texts("SetCtrlVal").back(), "SetCtrlVal(1, 19, 3.7967315571910003)");
    EXPECT_EQ(fake::texts("SetCtrlVal")[4], "SetCtrlVal(1, 24, -9.999999747378752e-05)");
    fake::clear_calls();
    frm_process(frame_of_mode(0x07).data(), &store, PANEL, 0);
    EXPECT_EQ(fake::texts("SetCtrlVal").back(), "SetCtrlVal(1, 18, 3.7967315571910003)");
    EXPECT_EQ(fake::texts("SetCtrlVal")[4], "SetCtrlVal(1, 23, -0.10000000149011612)");
    EXPECT_EQ(fake::texts("SetCtrlVal").size(), 8u);
}

TEST_F(FrameProcess, StripChartsReceiveRatesAndGroupValues) {
    frm_process(frame_of_mode(0).data(), &store, PANEL, 0);
    std::vector<fake::Call> charts = fake::calls_of("PlotStripChart");
    ASSERT_EQ(charts.size(), 2u);
    ASSERT_EQ(charts[0].y.size(), 20u);
    EXPECT_EQ(charts[0].y[0], 2748);
    EXPECT_EQ(charts[0].y[1], 3567);
    EXPECT_EQ(charts[0].y[2], 0);
    ASSERT_EQ(charts[1].y.size(), 80u);
    EXPECT_EQ((std::vector<double>(charts[1].y.begin(), charts[1].y.begin() + 5)),
              (std::vector<double>{4660, 22136, 154, 188, 0}));
}

TEST_F(FrameProcess, AccumulatesOnlyWhileTheSettingIsNonzero) {
    Frame frame = frame_of_mode(0x06); // mode 2
    frm_process(frame.data(), &store, PANEL, 0);
    EXPECT_EQ(store.mode_frames[2], 0);
    EXPECT_EQ(store.counts[2][0], 0);
    frm_process(frame.data(), &store, PANEL, 3);
    frm_process(frame.data(), &store, PANEL, 1);
    EXPECT_EQ(store.mode_frames[2], 2);
    EXPECT_EQ(store.counts[2][0], 2);
    EXPECT_EQ(store.counts[2][1], 4);
    frm_process(frame.data(), &store, PANEL, -1);
    EXPECT_EQ(store.counts[2][1], 2);
    EXPECT_EQ(store.mode_frames[2], 3);
    EXPECT_EQ(store.counts[0][0], 0);
}

} // namespace
