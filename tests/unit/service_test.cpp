#include "service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <sys/types.h>

#include "controls.h"
#include "fake_runtime.h"
#include "frame_process.h"
#include "frame_source.h"
#include "frames.h"
#include "pass_start.h"
#include "scratch_directory.h"

namespace {

const std::string POLL = "GetUserEvent(0)";
const std::string LIVE_SET_UP[] = {
    R"(SetCtrlVal(1, 29, "setting up serial port"))",
    "SetComTime(1, 0.1)",
    "ComRdByte(1)",
    "SetComTime(1, 1.05)",
    R"(SetCtrlVal(1, 29, "serial port ready"))",
};
// The axis ranges of a fresh pass, with y in single precision.
const std::string X_RANGE_0_4095 = "SetAxisRange(1, 17, 0, 0, 4095, -1, 0.0010000000474974513, 10)";
const std::string Y_FLOOR_RANGE = "SetAxisRange(1, 17, -1, 0, 4095, 0, 9.999999747378752e-05, 10)";
const std::string RUN_ENDED_MARK = "SetCtrlAttribute(1, 12, 10, 2)";
const std::string PLOT = "PlotXY(1, 17, 208, 2, 3, 6, 0, 0, 1, 255)";

// A frame of `mode` whose first spectrum bin holds `count` (the other 51 are 0).
Frame counts_frame(int mode, int count) {
    Frame frame = frame_with(166, {static_cast<unsigned char>(count >> 4),
                                   static_cast<unsigned char>((count & 0x0F) << 4), 0x00});
    frame[5] = static_cast<unsigned char>(mode);
    return frame;
}

Bytes bytes_of(const Frame& frame) { return Bytes(frame.begin(), frame.end()); }

// Eight lines of 64 `digit`s, each preceded by a newline.
std::string uniform_dump(char digit) {
    std::string dump;
    for (int line = 0; line < 8; ++line)
        dump += "\n" + std::string(64, digit);
    return dump;
}

std::string dump_call(const std::string& dump) { return "SetCtrlVal(1, 27, \"" + dump + "\")"; }

// The dump of tests/fixtures/mixed_frame.hex.
const std::string MIXED_DUMP = "\nEB90557A9FC4E90E33587DA2C7EC11365B80A5CAEF14395E83A8CDF2173C6186"
                               "\nABD0F51A3F6489AED3F81D42678CB1D6FB20456A8FB4D9FE23486D92B7DC0126"
                               "\n4B7095BADF04294E7398BDE2072C51769BC0E50A2F54799EC3E80D32577CA1C6"
                               "\nEB10355A7FA4C9EE13385D82A7CCF1163B6085AACFF4193E6388ADD2F71C4166"
                               "\n8BB0D5FA1F44698EB3D8FD22476C91B6DB00254A6F94B9DE03284D7297BCE106"
                               "\n2B50759ABFE4092E53789DC2E70C31567BA0C5EA0F34597EA3C8ED12375C81A6"
                               "\nCBF0153A5F84A9CEF3183D6287ACD1F61B40658AAFD4F91E43688DB2D7FC2146"
                               "\n6B90B5DAFF24496E93B8DD02274C7196BBE0052A4F7499BEE3082D52779CC1E6";

// The recorded calls without the start settings of each pass, which the
// test of a new pass checks once.
Texts pass_texts() { return without_start_settings(fake::texts()); }

// The recorded calls, in order, whose text starts with one of `prefixes`.
Texts starting(std::initializer_list<std::string> prefixes) {
    Texts out;
    for (const std::string& text : pass_texts())
        if (std::any_of(prefixes.begin(), prefixes.end(),
                        [&](const std::string& prefix) { return text.rfind(prefix, 0) == 0; }))
            out.push_back(text);
    return out;
}
Texts starting(const std::string& prefix) { return starting({prefix}); }

Texts without(const Texts& texts, const std::string& text) {
    Texts out;
    std::copy_if(texts.begin(), texts.end(), std::back_inserter(out),
                 [&](const std::string& t) { return t != text; });
    return out;
}

long count_of(const Texts& texts, const std::string& text) {
    return std::count(texts.begin(), texts.end(), text);
}

// The values of the last spectrum plot.
std::vector<double> last_plot() {
    std::vector<fake::Call> plots = fake::calls_of("PlotXY");
    return plots.empty() ? std::vector<double>{} : plots.back().y;
}

// A raw log that notes how many run-time calls had been made whenever bytes
// reached it (to tell when the stream handed them to the system), and that
// lets a test act between frames, as an operator would.
struct Sink {
    Bytes bytes;
    std::vector<size_t> calls_before;
    std::function<void()> on_write = [] {};
};

ssize_t sink_write(void* cookie, const char* data, size_t size) {
    auto* sink = static_cast<Sink*>(cookie);
    sink->calls_before.push_back(fake::calls().size());
    sink->bytes.insert(sink->bytes.end(), data, data + size);
    sink->on_write();
    return static_cast<ssize_t>(size);
}

struct SinkStream {
    explicit SinkStream(Sink* sink)
        : file(fopencookie(sink, "w", {nullptr, sink_write, nullptr, nullptr})) {}
    ~SinkStream() {
        if (file != nullptr) std::fclose(file);
    }
    SinkStream(const SinkStream&) = delete;
    SinkStream& operator=(const SinkStream&) = delete;
    std::FILE* file;
};

class Service : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::reset();
        init(&store);
        recording = file_of({});
        set_replay_stream(recording);
        log = std::tmpfile();
        ASSERT_NE(log, nullptr);
        set_raw_log(log);
    }
    void TearDown() override {
        set_raw_log(nullptr);
        set_replay_stream(nullptr);
        if (log != nullptr) std::fclose(log);
        std::fclose(recording);
    }
    int live() { return service(PANEL, SOURCE_LIVE, &store); }
    int replay() { return service(PANEL, SOURCE_REPLAY, &store); }
    void record(const Bytes& bytes) {
        std::fclose(recording);
        recording = file_of(bytes);
        set_replay_stream(recording);
    }
    void live_frames(const std::vector<Frame>& frames) {
        for (const Frame& frame : frames)
            fake::push_read(bytes_of(frame));
    }
    Bytes logged() {
        std::fflush(log);
        std::rewind(log);
        Bytes bytes;
        for (int c; (c = std::getc(log)) != EOF;)
            bytes.push_back(static_cast<unsigned char>(c));
        return bytes;
    }
    // The calls of a replay pass that answers `events` and then quits.
    Texts replay_events(const std::vector<int>& events) {
        fake::push_events(events);
        EXPECT_EQ(replay(), 1);
        return without(pass_texts(), POLL);
    }
    SpectrumStore store{};
    std::FILE* log = nullptr;
    std::FILE* recording = nullptr;
};

// Event table ---------------------------------------------------------------

TEST_F(Service, QuitEndsThePassWithOneAndTouchesNothing) {
    fake::push_events({PANEL_QUIT, 0});
    EXPECT_EQ(replay(), 1);
    EXPECT_EQ(pass_texts(), Texts{POLL});
}

TEST_F(Service, ControlsOutsideSevenToSixteenEndThePassWithZero) {
    for (int control : {int{PANEL_RESTART}, int{PANEL_WORD_12}, int{PANEL_SPECTRUM}, 99}) {
        fake::reset();
        fake::push_events({control, PANEL_QUIT});
        EXPECT_EQ(replay(), 0) << "control " << control;
        EXPECT_EQ(pass_texts(), Texts{POLL}) << "control " << control;
    }
}

// Each limit applies its own axis's range with the other three as they stand;
// y in single precision.
TEST_F(Service, AxisLimitsApplyTheirAxisRangeAndLeaveTheOther) {
    fake::set_control(PANEL_XMIN, 100);
    fake::set_control(PANEL_XMAX, 2000);
    fake::set_control(PANEL_YMAX, 250);
    fake::set_control(PANEL_YMIN, 0.1);
    EXPECT_EQ(replay_events({PANEL_XMIN, PANEL_YMAX, PANEL_XMAX, PANEL_YMIN}),
              (Texts{"GetCtrlVal(1, 8)",
                     "SetAxisRange(1, 17, 0, 100, 4095, -1, 0.0010000000474974513, 10)",
                     "GetCtrlVal(1, 11)",
                     "SetAxisRange(1, 17, -1, 100, 4095, 0, 0.0010000000474974513, 250)",
                     "GetCtrlVal(1, 9)",
                     "SetAxisRange(1, 17, 0, 100, 2000, -1, 0.0010000000474974513, 250)",
                     "GetCtrlVal(1, 10)",
                     "SetAxisRange(1, 17, -1, 100, 2000, 0, 0.10000000149011612, 250)"}));
}

TEST_F(Service, NFramesOnlyReadsTheBudget) {
    fake::set_control(PANEL_NFRAMES, 5);
    EXPECT_EQ(replay_events({PANEL_NFRAMES}), Texts{"GetCtrlVal(1, 12)"});
}

TEST_F(Service, ResetEmptiesCountsFramesAndGraph) {
    store.counts[1][4] = 77;
    store.mode_frames[3] = 9;
    EXPECT_EQ(replay_events({PANEL_RESET}), Texts{"DeleteGraphPlot(1, 17, -1, 1)"});
    EXPECT_EQ(store.counts[1][4], 0);
    EXPECT_EQ(store.mode_frames[3], 0);
    EXPECT_EQ(store.bin_pos[207], 4086);
}

// Off ends the run; Add or Subtract with plots left starts a new one, and
// with none left starts nothing.
TEST_F(Service, AccumulateChoiceEndsOrStartsTheRun) {
    const std::string RUN_ON_MARK = "SetCtrlAttribute(1, 12, 10, 0)";
    struct Case {
        int accumulate;
        int budget;
        Texts marks;
    };
    for (Case c : {Case{0, 5, {RUN_ENDED_MARK}}, Case{-1, 5, {RUN_ON_MARK}},
                   Case{1, 5, {RUN_ON_MARK}}, Case{1, 0, {}}}) {
        fake::reset();
        fake::set_control(PANEL_NFRAMES, c.budget);
        fake::set_control(PANEL_ACCUMULATE, c.accumulate);
        Texts expected = {"GetCtrlVal(1, 12)", "GetCtrlVal(1, 14)"};
        expected.insert(expected.end(), c.marks.begin(), c.marks.end());
        EXPECT_EQ(replay_events({PANEL_NFRAMES, PANEL_ACCUMULATE}), expected)
            << c.accumulate << " with " << c.budget << " plots left";
    }
}

TEST_F(Service, XLogChangesOnlyTheXMappingEvenWithXMinimumZero) {
    fake::set_control(PANEL_XLOG, 3);
    EXPECT_EQ(replay_events({PANEL_XLOG}),
              (Texts{"GetCtrlVal(1, 15)", "SetCtrlAttribute(1, 17, 1141, 1)"}));
    fake::reset();
    fake::set_control(PANEL_XLOG, 0);
    EXPECT_EQ(replay_events({PANEL_XLOG}),
              (Texts{"GetCtrlVal(1, 15)", "SetCtrlAttribute(1, 17, 1141, 0)"}));
}

TEST_F(Service, YLogOnWithTheInitialMinimumChangesOnlyTheMapping) {
    fake::set_control(PANEL_YLOG, 1);
    EXPECT_EQ(replay_events({PANEL_YLOG}),
              (Texts{"GetCtrlVal(1, 16)", "SetCtrlAttribute(1, 17, 1096, 1)"}));
}

TEST_F(Service, YLogOnRaisesANonPositiveMinimumToTheFloorBeforeTheMapping) {
    fake::set_control(PANEL_YMIN, -2);
    fake::set_control(PANEL_YLOG, 1);
    EXPECT_EQ(replay_events({PANEL_YMIN, PANEL_YLOG}),
              (Texts{"GetCtrlVal(1, 10)", "SetAxisRange(1, 17, -1, 0, 4095, 0, -2, 10)",
                     "GetCtrlVal(1, 16)", "SetCtrlVal(1, 10, 9.999999747378752e-05)", Y_FLOOR_RANGE,
                     "SetCtrlAttribute(1, 17, 1096, 1)"}));
}

// The floored minimum is 0.0001 in single precision, which is below the
// double 0.0001 of the test: every switch-on applies the range again.
TEST_F(Service, YLogFloorIsAppliedAgainAfterOffAndOn) {
    fake::set_control(PANEL_YMIN, 0);
    fake::set_control(PANEL_YLOG, 1);
    // The operator turns the switch between frames: off after the first, on after the second.
    Sink sink;
    int writes = 0;
    sink.on_write = [&] { fake::set_control(PANEL_YLOG, ++writes == 1 ? 0 : 1); };
    SinkStream stream(&sink);
    set_raw_log(stream.file);
    fake::push_events({PANEL_YMIN, PANEL_YLOG, 0, PANEL_YLOG, 0, PANEL_YLOG});
    live_frames({Frame{}, Frame{}});
    EXPECT_EQ(live(), 1);
    EXPECT_EQ(starting({"GetCtrlVal(1, 16)", "SetAxisRange(", "SetCtrlAttribute(1, 17, "}),
              (Texts{"SetAxisRange(1, 17, -1, 0, 4095, 0, 0, 10)", "GetCtrlVal(1, 16)",
                     Y_FLOOR_RANGE, "SetCtrlAttribute(1, 17, 1096, 1)", "GetCtrlVal(1, 16)",
                     "SetCtrlAttribute(1, 17, 1096, 0)", "GetCtrlVal(1, 16)", Y_FLOOR_RANGE,
                     "SetCtrlAttribute(1, 17, 1096, 1)"}));
}

TEST_F(Service, YLogValuesOtherThanOneMapButDoNotFloor) {
    fake::set_control(PANEL_YMIN, 0);
    fake::set_control(PANEL_YLOG, 2);
    EXPECT_EQ(replay_events({PANEL_YMIN, PANEL_YLOG}),
              (Texts{"GetCtrlVal(1, 10)", "SetAxisRange(1, 17, -1, 0, 4095, 0, 0, 10)",
                     "GetCtrlVal(1, 16)", "SetCtrlAttribute(1, 17, 1096, 1)"}));
}

TEST_F(Service, YMinimumEventAppliesTheEnteredValueWithoutTheFloorOnALogAxis) {
    fake::set_control(PANEL_YMIN, 0);
    fake::set_control(PANEL_YLOG, 1);
    Texts texts = replay_events({PANEL_YLOG, PANEL_YMIN});
    EXPECT_EQ(texts, (Texts{"GetCtrlVal(1, 16)", "SetCtrlAttribute(1, 17, 1096, 1)",
                            "GetCtrlVal(1, 10)", "SetAxisRange(1, 17, -1, 0, 4095, 0, 0, 10)"}));
}

TEST_F(Service, NewPassResetsTheAxisLimits) {
    fake::set_control(PANEL_XMAX, 1000);
    fake::set_control(PANEL_YMIN, 5);
    fake::set_control(PANEL_YMAX, 50);
    fake::push_events({PANEL_XMAX, PANEL_YMIN, PANEL_YMAX, PANEL_RESTART});
    EXPECT_EQ(replay(), 0);
    fake::clear_calls();
    fake::set_control(PANEL_XMIN, 0);
    EXPECT_EQ(replay_events({PANEL_XMIN}), (Texts{"GetCtrlVal(1, 8)", X_RANGE_0_4095}));
}

TEST_F(Service, HandlersAddressTheEventPanel) {
    fake::set_load_result(3); // the fake reports commits on panel 3
    fake::set_control(PANEL_XMIN, 0);
    fake::set_control(PANEL_ACCUMULATE, 0);
    EXPECT_EQ(
        replay_events({PANEL_XMIN, PANEL_ACCUMULATE}),
        (Texts{"GetCtrlVal(3, 8)", "SetAxisRange(3, 17, 0, 0, 4095, -1, 0.0010000000474974513, 10)",
               "GetCtrlVal(3, 14)", "SetCtrlAttribute(3, 12, 10, 2)"}));
}

TEST_F(Service, ResetAddressesThePanelHandleNotTheEventPanel) {
    fake::set_load_result(3);
    EXPECT_EQ(replay_events({PANEL_RESET}), Texts{"DeleteGraphPlot(1, 17, -1, 1)"});
}

TEST_F(Service, EventsAreAllAnsweredBeforeTheNextFrameRead) {
    fake::set_control(PANEL_XLOG, 1);
    fake::set_control(PANEL_NFRAMES, 4);
    fake::push_events({PANEL_XLOG, PANEL_NFRAMES, 0, PANEL_XLOG});
    live_frames({Frame{}});
    EXPECT_EQ(live(), 1);
    Texts texts = pass_texts();
    Texts head(texts.begin() + 5, texts.begin() + 12);
    EXPECT_EQ(head, (Texts{POLL, "GetCtrlVal(1, 15)", "SetCtrlAttribute(1, 17, 1141, 1)", POLL,
                           "GetCtrlVal(1, 12)", POLL, "ComRd(1, 256)"}));
    EXPECT_EQ(count_of(texts, "ComRd(1, 256)"), 1);
    Texts tail(texts.end() - 4, texts.end());
    EXPECT_EQ(tail, (Texts{POLL, "GetCtrlVal(1, 15)", "SetCtrlAttribute(1, 17, 1141, 1)", POLL}));
}

// Set-up of a pass ------------------------------------------------------------

TEST_F(Service, LiveSetUpShowsItsTextsAndFlushesAtTheShortTimeout) {
    fake::push_line_bytes(3);
    EXPECT_EQ(live(), 1);
    EXPECT_EQ(pass_texts(),
              (Texts{LIVE_SET_UP[0], LIVE_SET_UP[1], "ComRdByte(1)", "ComRdByte(1)", "ComRdByte(1)",
                     "ComRdByte(1)", LIVE_SET_UP[3], LIVE_SET_UP[4], POLL}));
    EXPECT_NEAR(fake::now(), 3 * 10.0 / 19200 + 0.1, 1e-9);
}

TEST_F(Service, LiveSetUpOnAQuietLineReadsOneByte) {
    EXPECT_EQ(live(), 1);
    Texts expected(std::begin(LIVE_SET_UP), std::end(LIVE_SET_UP));
    expected.push_back(POLL);
    EXPECT_EQ(pass_texts(), expected);
}

TEST_F(Service, FlushOfALineThatNeverGoesQuietEndsAfterTwoSeconds) {
    fake::push_line_bytes(100000);
    EXPECT_EQ(live(), 1);
    double ended = fake::now();
    EXPECT_GE(ended, 2.0);
    EXPECT_LT(ended, 2.0 + 2 * 10.0 / 19200);
    long reads = static_cast<long>(fake::texts("ComRdByte").size());
    EXPECT_GE(reads, 3840);
    EXPECT_LE(reads, 3841);
    Texts texts = pass_texts();
    EXPECT_EQ(Texts(texts.end() - 3, texts.end()), (Texts{LIVE_SET_UP[3], LIVE_SET_UP[4], POLL}));
}

TEST_F(Service, ReplaySetUpTouchesNothing) {
    fake::push_events({PANEL_QUIT});
    EXPECT_EQ(replay(), 1);
    EXPECT_EQ(pass_texts(), Texts{POLL});
}

TEST_F(Service, EveryLivePassSetsUpAgain) {
    fake::push_events({PANEL_RESTART, PANEL_QUIT});
    EXPECT_EQ(live(), 0);
    EXPECT_EQ(live(), 1);
    Texts one(std::begin(LIVE_SET_UP), std::end(LIVE_SET_UP));
    one.push_back(POLL);
    Texts two = one;
    two.insert(two.end(), one.begin(), one.end());
    EXPECT_EQ(pass_texts(), two);
}

// Frame path ------------------------------------------------------------------

// The calls frm_process makes for `frame` with accumulation on.
Texts processing_of(const Frame& frame) {
    SpectrumStore scratch{};
    fake::clear_calls();
    frm_process(frame.data(), &scratch, PANEL, 1);
    Texts texts = pass_texts();
    fake::reset();
    return texts;
}

TEST_F(Service, FrameTurnLogsProcessesRefreshesDumpsAndShowsStatusInOrder) {
    Frame frame = fixture_frame("mixed_frame.hex");
    Texts processing = processing_of(frame);
    ASSERT_FALSE(processing.empty());
    Sink sink;
    SinkStream stream(&sink);
    set_raw_log(stream.file);
    fake::push_events({0});
    live_frames({frame});
    EXPECT_EQ(live(), 1);

    Texts expected(std::begin(LIVE_SET_UP), std::end(LIVE_SET_UP));
    Texts shown = start_settings(PANEL, 1000);
    expected.insert(expected.end(), shown.begin(), shown.end());
    expected.insert(expected.end(), {POLL, "ComRd(1, 256)"});
    size_t logged_at = expected.size();
    expected.insert(expected.end(), processing.begin(), processing.end());
    expected.insert(expected.end(), {"DeleteGraphPlot(1, 17, -1, 1)", PLOT,
                                     "SetCtrlVal(1, 12, 999)", dump_call(MIXED_DUMP),
                                     "SetCtrlVal(1, 28, " + std::to_string(skipped_bytes()) + ")",
                                     R"(SetCtrlVal(1, 29, " "))", POLL});
    EXPECT_EQ(fake::texts(), expected);
    EXPECT_EQ(sink.calls_before, std::vector<size_t>{logged_at});
    EXPECT_EQ(sink.bytes, bytes_of(frame));
}

TEST_F(Service, DumpOfZeroFrameIsEightNewlinesEachBefore64Zeros) {
    fake::push_events({0});
    live_frames({Frame{}});
    EXPECT_EQ(live(), 1);
    std::string zeros = uniform_dump('0');
    EXPECT_EQ(zeros.size(), 520u);
    EXPECT_EQ(starting("SetCtrlVal(1, 27, "), Texts{dump_call(zeros)});
    EXPECT_EQ(starting("SetCtrlVal(1, 29, ").back(), R"(SetCtrlVal(1, 29, " "))");
}

TEST_F(Service, DumpOfMixedFrameIsUppercaseHex32BytesALine) {
    fake::push_events({0});
    live_frames({fixture_frame("mixed_frame.hex")});
    EXPECT_EQ(live(), 1);
    EXPECT_EQ(MIXED_DUMP.size(), 520u);
    EXPECT_EQ(starting("SetCtrlVal(1, 27, "), Texts{dump_call(MIXED_DUMP)});
}

TEST_F(Service, FailedLiveReadsTouchOnlyTheStatusLine) {
    fake::push_events({0, 0, 0});
    fake::push_read(Bytes(255, 0x11));
    fake::push_read_error(-5);
    EXPECT_EQ(live(), 1);
    Texts texts = pass_texts();
    const std::string failed = R"(SetCtrlVal(1, 29, "COM1 err: too few bytes read"))";
    Texts expected(std::begin(LIVE_SET_UP), std::end(LIVE_SET_UP));
    for (int i = 0; i < 3; ++i)
        expected.insert(expected.end(), {POLL, "ComRd(1, 256)", failed});
    expected.push_back(POLL);
    EXPECT_EQ(texts, expected);
    EXPECT_TRUE(logged().empty());
    EXPECT_EQ(store.mode_frames[0], 0);
}

TEST_F(Service, ReplayEndShowsEofAtThePaceOfThePauseAndStillAnswersEvents) {
    fake::set_control(PANEL_XLOG, 1);
    fake::push_events({0, 0, PANEL_XLOG, 0});
    EXPECT_EQ(replay(), 1);
    const std::string eof = R"(SetCtrlVal(1, 29, "EOF on input file"))";
    EXPECT_EQ(pass_texts(),
              (Texts{POLL, "Delay(0.2)", eof, POLL, "Delay(0.2)", eof, POLL, "GetCtrlVal(1, 15)",
                     "SetCtrlAttribute(1, 17, 1141, 1)", POLL, "Delay(0.2)", eof, POLL}));
}

TEST_F(Service, ReplayReadErrorShowsAsSuchNotAsTheEnd) {
    ScratchDirectory scratch;
    std::fclose(recording);
    recording = std::fopen(scratch.root().c_str(), "rb"); // opens; reads fail
    ASSERT_NE(recording, nullptr);
    set_replay_stream(recording);
    fake::push_events({0});
    EXPECT_EQ(replay(), 1);
    EXPECT_EQ(pass_texts(), (Texts{POLL, "Delay(0.2)",
                                   R"(SetCtrlVal(1, 29, "read error on input file"))", POLL}));
}

TEST_F(Service, GoodFrameClearsAnEarlierErrorText) {
    fake::push_events({0, 0});
    fake::push_read(Bytes(10, 0x00));
    live_frames({Frame{}});
    EXPECT_EQ(live(), 1);
    EXPECT_EQ(starting("SetCtrlVal(1, 29, "),
              (Texts{LIVE_SET_UP[0], LIVE_SET_UP[4],
                     R"(SetCtrlVal(1, 29, "COM1 err: too few bytes read"))",
                     R"(SetCtrlVal(1, 29, " "))"}));
}

TEST_F(Service, ReplayShowsSkippedBytesAndWritesNoRawLog) {
    Bytes bytes;
    append(&bytes, Bytes(300, 0x01)); // fails the checksum, holds no sync pattern
    append(&bytes, sealed(frame_with(0, {0xEB, 0x90, 0x00, 0x42})));
    record(bytes);
    int32_t skipped_before = skipped_bytes();
    fake::push_events({0});
    EXPECT_EQ(replay(), 1);
    Texts texts = pass_texts();
    EXPECT_EQ(texts[1], "Delay(0.2)");
    EXPECT_EQ(Texts(texts.end() - 3, texts.end()),
              (Texts{"SetCtrlVal(1, 28, " + std::to_string(skipped_before + 300) + ")",
                     R"(SetCtrlVal(1, 29, " "))", POLL}));
    EXPECT_EQ(count_of(texts, PLOT), 1);
    EXPECT_EQ(count_of(texts, "SetCtrlVal(1, 12, 9999)"), 1);
    EXPECT_TRUE(logged().empty());
}

// Raw log ---------------------------------------------------------------------

TEST_F(Service, RawLogReceivesExactlyTheGoodFramesInOrder) {
    Frame a = frame_with(0, {0xA1, 0xA2});
    Frame b = fixture_frame("mixed_frame.hex");
    Frame c = frame_with(250, {0xC1});
    fake::push_events({0, 0, 0, 0, 0});
    fake::push_read(bytes_of(a));
    fake::push_read(Bytes(200, 0x77)); // a short read is dropped
    fake::push_read(bytes_of(b));
    fake::push_read_error(-1);
    fake::push_read(bytes_of(c));
    EXPECT_EQ(live(), 1);
    Bytes expected;
    for (const Frame& frame : {a, b, c})
        append(&expected, frame);
    EXPECT_EQ(logged(), expected);
}

// A byte too many, then a frame that breaks off: the bytes passed over to
// realign are logged in their place, also when the frame they led to never came.
TEST_F(Service, RawLogHoldsEveryByteOfCompleteReadsAcrossRealignment) {
    Frame a = frame_with(0, {0xEB, 0x90, 0x0A});
    Frame b = frame_with(0, {0xEB, 0x90, 0x0B});
    Frame c = frame_with(0, {0xEB, 0x90, 0x0C});
    Bytes line;
    append(&line, a);
    append(&line, Bytes{0x33});
    append(&line, b);
    append(&line, Bytes(100, 0x44));
    append(&line, Bytes(c.begin(), c.begin() + 200));
    fake::push_line(line);
    int32_t skipped_before = skipped_bytes();
    fake::push_events({0, 0, 0, 0});
    EXPECT_EQ(live(), 1);
    EXPECT_EQ(logged(), Bytes(line.begin(), line.begin() + 256 + 1 + 256 + 256));
    const std::string failed = R"(SetCtrlVal(1, 29, "COM1 err: too few bytes read"))";
    EXPECT_EQ(starting({"SetCtrlVal(1, 28, ", "SetCtrlVal(1, 29, "}),
              (Texts{LIVE_SET_UP[0], LIVE_SET_UP[4],
                     "SetCtrlVal(1, 28, " + std::to_string(skipped_before) + ")",
                     R"(SetCtrlVal(1, 29, " "))",
                     "SetCtrlVal(1, 28, " + std::to_string(skipped_before + 1) + ")",
                     R"(SetCtrlVal(1, 29, " "))", failed, failed}));
    EXPECT_EQ(skipped_bytes(), skipped_before + 1 + 100);
    EXPECT_EQ(store.mode_frames[0], 2);
}

TEST_F(Service, FailedRawLogWriteShowsOnTheStatusLineAndTheFrameIsStillShown) {
    for (const char* path : {"/dev/full", "/dev/null"}) {
        // /dev/full refuses the bytes; /dev/null opened read-only refuses the write.
        std::FILE* stream = std::fopen(path, std::string(path) == "/dev/full" ? "wb" : "rb");
        ASSERT_NE(stream, nullptr) << path;
        fake::reset();
        set_raw_log(stream);
        fake::push_events({0, 0, 0});
        live_frames({Frame{}, Frame{}});
        EXPECT_EQ(live(), 1);
        EXPECT_EQ(
            starting("SetCtrlVal(1, 29, "),
            (Texts{LIVE_SET_UP[0], LIVE_SET_UP[4], R"(SetCtrlVal(1, 29, "raw log write error"))",
                   R"(SetCtrlVal(1, 29, "raw log write error"))",
                   R"(SetCtrlVal(1, 29, "COM1 err: too few bytes read"))"}))
            << path;
        EXPECT_EQ(starting("SetCtrlVal(1, 27, "), Texts(2, dump_call(uniform_dump('0')))) << path;
        EXPECT_EQ(count_of(pass_texts(), PLOT), 2) << path;
        std::fclose(stream);
    }
}

// Accumulation runs -------------------------------------------------------------

TEST_F(Service, BudgetOfNGivesNPlotsThenTheNextFrameEndsTheRunUnplotted) {
    fake::set_control(PANEL_NFRAMES, 3);
    fake::push_events({PANEL_NFRAMES, 0, 0, 0, 0, 0});
    live_frames(std::vector<Frame>(5, counts_frame(0, 300)));
    EXPECT_EQ(live(), 1);
    Texts texts = pass_texts();
    EXPECT_EQ(count_of(texts, PLOT), 3);
    EXPECT_EQ(starting("SetCtrlVal(1, 12, "),
              (Texts{"SetCtrlVal(1, 12, 2)", "SetCtrlVal(1, 12, 1)", "SetCtrlVal(1, 12, 0)"}));
    EXPECT_EQ(count_of(texts, RUN_ENDED_MARK), 1);
    EXPECT_EQ(starting("SetCtrlVal(1, 14, "), Texts{"SetCtrlVal(1, 14, 0)"});
    EXPECT_EQ(store.mode_frames[0], 4); // the frame that ended the run was accumulated
    EXPECT_EQ(store.counts[0][0], 1200);
    EXPECT_EQ(starting("SetCtrlVal(1, 27, ").size(), 5u);
}

TEST_F(Service, NewPassStartsAFreshRunShownInItsControlsAndNormalisedByItsOwnFrames) {
    fake::set_control(PANEL_NFRAMES, 1);
    fake::set_control(PANEL_XMAX, 2000);
    fake::push_events({PANEL_NFRAMES, PANEL_XMAX, 0, 0, PANEL_RESTART});
    live_frames({counts_frame(0, 50), counts_frame(0, 50)});
    EXPECT_EQ(live(), 0);
    EXPECT_EQ(count_of(pass_texts(), RUN_ENDED_MARK), 1);
    EXPECT_EQ(store.mode_frames[0], 2);

    fake::clear_calls();
    fake::push_events({0});
    live_frames({counts_frame(0, 300)});
    EXPECT_EQ(live(), 1);
    // X max 4095 again, Accumulate "Add", 1000 plots left, the mark cleared.
    Texts texts = fake::texts();
    Texts shown = start_settings(PANEL, 1000);
    EXPECT_NE(std::search(texts.begin(), texts.end(), shown.begin(), shown.end()), texts.end());
    EXPECT_EQ(count_of(texts, PLOT), 1);
    EXPECT_EQ(starting("SetCtrlVal(1, 12, "), Texts{"SetCtrlVal(1, 12, 999)"});
    EXPECT_EQ(store.counts[0][0], 300);
    ASSERT_EQ(last_plot().size(), 208u);
    EXPECT_EQ(static_cast<float>(last_plot()[0]), static_cast<float>(300.0 / 2 / 1 / 2.4f));
}

TEST_F(Service, ReplayPassBudgetIsTenThousand) {
    Bytes bytes;
    append(&bytes, Frame{});
    record(bytes);
    fake::push_events({0});
    EXPECT_EQ(replay(), 1);
    EXPECT_EQ(starting("SetCtrlVal(1, 12, "), Texts{"SetCtrlVal(1, 12, 9999)"});
}

TEST_F(Service, ResetMidRunEmptiesTheGraphAndKeepsPlotting) {
    fake::set_control(PANEL_NFRAMES, 3);
    fake::push_events({PANEL_NFRAMES, 0, PANEL_RESET, 0, 0});
    live_frames({counts_frame(0, 600), counts_frame(0, 100), counts_frame(0, 100)});
    EXPECT_EQ(live(), 1);
    EXPECT_EQ(count_of(pass_texts(), PLOT), 3);
    EXPECT_EQ(count_of(pass_texts(), "DeleteGraphPlot(1, 17, -1, 1)"), 4);
    EXPECT_EQ(starting("SetCtrlVal(1, 12, "),
              (Texts{"SetCtrlVal(1, 12, 2)", "SetCtrlVal(1, 12, 1)", "SetCtrlVal(1, 12, 0)"}));
    EXPECT_TRUE(starting("SetCtrlVal(1, 14, ").empty());
    EXPECT_EQ(store.mode_frames[0], 2);
    EXPECT_EQ(static_cast<float>(last_plot()[0]), 20.833332f); // 200 / 2 / 2 / 2.4f
}

TEST_F(Service, AccumulateOffStopsAccumulationButFramesAreStillShown) {
    fake::set_control(PANEL_ACCUMULATE, 0);
    fake::push_events({PANEL_ACCUMULATE, 0, 0});
    live_frames({counts_frame(0, 100), counts_frame(0, 100)});
    EXPECT_EQ(live(), 1);
    Texts texts = pass_texts();
    EXPECT_EQ(count_of(texts, RUN_ENDED_MARK), 1);
    EXPECT_EQ(count_of(texts, PLOT), 0);
    EXPECT_EQ(store.mode_frames[0], 0);
    EXPECT_EQ(starting("SetCtrlVal(1, 27, ").size(), 2u);
    EXPECT_EQ(starting("SetCtrlVal(1, 28, ").size(), 2u);
    EXPECT_EQ(count_of(texts, R"(SetCtrlVal(1, 29, " "))"), 2);
}

TEST_F(Service, AccumulateOnWithBudgetZeroTakesOneFrameAndEndsAgain) {
    fake::set_control(PANEL_NFRAMES, 0);
    fake::set_control(PANEL_ACCUMULATE, 1);
    fake::push_events({PANEL_NFRAMES, 0, 0, PANEL_ACCUMULATE, 0, 0});
    live_frames(std::vector<Frame>(4, counts_frame(0, 10)));
    EXPECT_EQ(live(), 1);
    EXPECT_EQ(count_of(pass_texts(), PLOT), 0);
    EXPECT_EQ(count_of(pass_texts(), RUN_ENDED_MARK), 2);
    EXPECT_EQ(store.mode_frames[0], 2);
    EXPECT_EQ(store.counts[0][0], 20);
}

TEST_F(Service, NegativeAccumulateSubtractsTheFrames) {
    fake::set_control(PANEL_ACCUMULATE, -4);
    fake::push_events({0, PANEL_ACCUMULATE, 0, 0});
    live_frames({counts_frame(2, 100), counts_frame(2, 40), counts_frame(2, 40)});
    EXPECT_EQ(live(), 1);
    EXPECT_EQ(store.counts[2][0], 20);
    EXPECT_EQ(store.mode_frames[2], 3);
    EXPECT_EQ(count_of(pass_texts(), PLOT), 3);
}

} // namespace
