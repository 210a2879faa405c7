#include "frame_process.h"

#include <gtest/gtest.h>

#include "controls.h"
#include "fake_runtime.h"
#include "frames.h"

namespace {

using Texts = std::vector<std::string>;

// A frame of the mode in `mode_byte` with recognisable values in every shown field.
Frame frame_of_mode(unsigned char mode_byte) {
    Frame frame = frame_with(5, {mode_byte, 0x02, 0xB3, 0x2C, 0x95}); // counter 45296789
    put(&frame, 10, {0x00, 0x0A, 0x00, 0x0C, 0x00, 0x0E});
    put(&frame, 16, {0xAB, 0xCD, 0xEF});
    put(&frame, 46, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
    put(&frame, 244, {0xFF, 0xFF, 0xFF, 0xFF, 0x04, 0xD2, 0x00, 0x01, 0x01, 0x00});
    return frame;
}

const std::string WORD_252 = "SetCtrlVal(1, PANEL_WORD_252, 256)";
const std::string CHARTS[] = {"PlotStripChart(1, PANEL_RATES, 20, 0, 0, 1)",
                              "PlotStripChart(1, PANEL_GROUP_CHART, 80, 0, 0, 6)"};

// Modes 0 and 2 carry three fine-scaled words, modes 1 and 3 two tenths; the
// controls of the other scaling, and the counters of other modes, are left
// alone. (Mode 0 shows in the service's frame turn.)
// clang-format off
const std::pair<unsigned char, Texts> MODE_CASES[] = { // the mode byte (only its low two bits count)
    {0x05, {"SetCtrlVal(1, PANEL_TENTH_246, -0.10000000149011612)",
            "SetCtrlVal(1, PANEL_TENTH_248, 123.4000015258789)", WORD_252, CHARTS[0], CHARTS[1],
            R"(SetCtrlVal(1, PANEL_TIME, "12:34:56.8"))"}},
    {0x02, {"SetCtrlVal(1, PANEL_SCALED_246, -9.999999747378752e-05)",
            "SetCtrlVal(1, PANEL_SCALED_248, 0.1234000027179718)",
            "SetCtrlVal(1, PANEL_SCALED_250, 9.999999747378752e-05)", WORD_252, CHARTS[0], CHARTS[1],
            "SetCtrlVal(1, PANEL_COUNT_MODE2, 3.7967315571910003)"}},
    {0x07, {"SetCtrlVal(1, PANEL_TENTH_246, -0.10000000149011612)",
            "SetCtrlVal(1, PANEL_TENTH_248, 123.4000015258789)", WORD_252, CHARTS[0], CHARTS[1],
            "SetCtrlVal(1, PANEL_COUNT_MODE3, 3.7967315571910003)"}},
};
// clang-format on

TEST(FrameProcess, ShowsTheFieldsTheFramesModeCarries) {
    for (const auto& [mode_byte, calls] : MODE_CASES) {
        SCOPED_TRACE(static_cast<int>(mode_byte));
        fake::reset();
        SpectrumStore store{};
        frm_process(frame_of_mode(mode_byte).data(), &store, PANEL, 0);
        Texts expected = {"SetCtrlVal(1, PANEL_WORD_244, 65535)",
                          "SetCtrlVal(1, PANEL_WORD_10, 10)", "SetCtrlVal(1, PANEL_WORD_12, 12)",
                          "SetCtrlVal(1, PANEL_WORD_14, 14)"};
        expected.insert(expected.end(), calls.begin(), calls.end());
        EXPECT_EQ(fake::texts(), expected);
    }
}

} // namespace
