// The service pass over the fake backend: operator events, the frame path,
// the raw log, the fields each mode shows and accumulation runs.
#include "service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include "controls.h"
#include "fake_runtime.h"
#include "files.h"
#include "frame_process.h"
#include "frame_source.h"
#include "frame_values.h"
#include "frames.h"
#include "journal_format.h"
#include "journal_reader.h"
#include "kxview_storage.h"
#include "run_journal.h"
#include "runtime.h"

// The raw log's syncs to the disk, counted for one descriptor.
int synced_descriptor = -1;
int syncs = 0;

// Stands in for the system's call in this test program, so that the syncs
// can be counted; the data still reach the disk.
extern "C" int fdatasync(int descriptor) {
    if (descriptor == synced_descriptor) ++syncs;
    return static_cast<int>(syscall(SYS_fdatasync, descriptor));
}

namespace {

using Texts = std::vector<std::string>;

const std::string POLL = "GetUserEvent(0)";
const std::string STATUS = "SetCtrlVal(1, PANEL_STATUS, ";
const std::string SHOWN_OK = STATUS + R"(" "))";
const std::string LINE_ERROR = STATUS + R"("COM1 err: too few bytes read"))";
const std::string SKIPPED = "SetCtrlVal(1, PANEL_SKIPPED, ";
const std::string BUDGET = "SetCtrlVal(1, PANEL_NFRAMES, ";
const std::string CLEAR_GRAPH = "DeleteGraphPlot(1, PANEL_SPECTRUM, -1, 1)";
const std::string CHARTS[] = {"PlotStripChart(1, PANEL_RATES, 20, 0, 0, 1)",
                              "PlotStripChart(1, PANEL_GROUP_CHART, 80, 0, 0, 6)"};
// The time the charts' next samples came: `time` microseconds, as text.
std::string at_time(const std::string& time, int chart) {
    return std::string("SetStripChartTime(1, ") +
           (chart == 0 ? "PANEL_RATES" : "PANEL_GROUP_CHART") + ", " + time + ")";
}
const std::string UNTIMED[] = {at_time("-9223372036854775808", 0),
                               at_time("-9223372036854775808", 1)};
const std::string PLOT = "PlotXY(1, PANEL_SPECTRUM, 208, 2, 3, 6, 0, 0, 1, 255)";
const std::string RUN_ON = "SetCtrlAttribute(1, PANEL_NFRAMES, ATTR_RUN_STATE, 0)";
const std::string RUN_ENDED = "SetCtrlAttribute(1, PANEL_NFRAMES, ATTR_RUN_STATE, 2)";
const std::string ACCUMULATION_OFF = "SetCtrlVal(1, PANEL_ACCUMULATE, 0)";
const std::string GET_ACCUMULATE = "GetCtrlVal(1, PANEL_ACCUMULATE)";
const std::string GET_Y_LOG = "GetCtrlVal(1, PANEL_YLOG)";
const std::string X_LOG = "SetCtrlAttribute(1, PANEL_SPECTRUM, ATTR_XMAP_MODE, ";
const std::string Y_LOG_ON = "SetCtrlAttribute(1, PANEL_SPECTRUM, ATTR_YMAP_MODE, 1)";
// The minimum floored for a log y axis: 0.0001 in single precision.
const std::string Y_FLOORED = "SetCtrlVal(1, PANEL_YMIN, 9.999999747378752e-05)";
const std::string Y_FLOOR_RANGE =
    "SetAxisRange(1, PANEL_SPECTRUM, -1, 0, 4095, 0, 9.999999747378752e-05, 10)";

// The calls after the pass's set-up, i.e. from its first poll on, polls left
// out; with `prefixes`, only those that start with one of them.
Texts after_set_up(std::vector<std::string> prefixes = {}) {
    if (!prefixes.empty()) prefixes.push_back(POLL);
    Texts texts = fake::texts(prefixes);
    texts.erase(texts.begin(), std::find(texts.begin(), texts.end(), POLL));
    std::erase(texts, POLL);
    return texts;
}

// A frame of mode 0 whose first spectrum bin holds `count`, the others 0.
Bytes counts_frame(int count) {
    Frame frame = frame_with(0, {0xEB, 0x90});
    put(&frame, 166,
        {static_cast<unsigned char>(count >> 4), static_cast<unsigned char>((count & 0x0F) << 4)});
    return joined(sealed(frame));
}

// The raw log: keeps the bytes, and notes the last run-time call before each
// write reaching it, to tell when the stream handed them to the system.
struct Sink {
    Bytes bytes;
    Texts written_after;
};

ssize_t sink_write(void* cookie, const char* data, size_t size) {
    auto* sink = static_cast<Sink*>(cookie);
    sink->written_after.push_back(fake::calls().back().text);
    sink->bytes.insert(sink->bytes.end(), data, data + size);
    return static_cast<ssize_t>(size);
}

class Service : public ::testing::Test {
  protected:
    void SetUp() override {
        fresh_storage();
        fake::reset();
        init(&store);
        start_frames(SOURCE_LIVE, nullptr);
        ASSERT_NE(log, nullptr);
        set_raw_log(log);
    }
    void TearDown() override {
        set_raw_log(nullptr);
        if (log != nullptr) std::fclose(log);
    }
    int live() { return service(PANEL, SOURCE_LIVE, &store); }
    // The run's journal, kept in a temporary file, and what it holds.
    void keep_journal() {
        journal = std::tmpfile();
        ASSERT_NE(journal, nullptr);
        set_journal(journal);
    }
    JournalReading journal_kept() {
        JournalReading reading;
        std::rewind(journal);
        read_journal(journal, static_cast<int64_t>(sink.bytes.size()), &reading);
        std::fclose(journal);
        set_journal(nullptr);
        return reading;
    }
    int replay(std::FILE* recording = nullptr) {
        start_frames(SOURCE_REPLAY, recording);
        return service(PANEL, SOURCE_REPLAY, &store);
    }
    SpectrumStore store{};
    Sink sink;
    std::FILE* journal = nullptr;
    std::FILE* log = fopencookie(&sink, "w", {nullptr, sink_write, nullptr, nullptr});
};

// Events -------------------------------------------------------------------------

struct EventCase {
    const char* name;
    std::vector<std::pair<int, double>> inputs; // what the controls hold
    std::vector<int> events;
    Texts calls;             // what answers them
    int returns = 1;         // what the pass returns
    int event_panel = PANEL; // the panel the commits come from
};

// clang-format off
const EventCase EVENT_CASES[] = {
    {"quit", {}, {PANEL_QUIT}, {}},
    {"restart", {}, {PANEL_RESTART}, {}, 0},
    {"a control outside the inputs", {}, {PANEL_SPECTRUM}, {}, 0},
    // Each limit applies its own axis's range with the other three as they stand.
    {"axis limits", {{PANEL_YMIN, 0.5}, {PANEL_XMIN, 100}, {PANEL_YMAX, 250}, {PANEL_XMAX, 2000}},
     {PANEL_YMIN, PANEL_XMIN, PANEL_YMAX, PANEL_XMAX},
     {"GetCtrlVal(1, PANEL_YMIN)", "SetAxisRange(1, PANEL_SPECTRUM, -1, 0, 4095, 0, 0.5, 10)",
      "GetCtrlVal(1, PANEL_XMIN)", "SetAxisRange(1, PANEL_SPECTRUM, 0, 100, 4095, -1, 0.5, 10)",
      "GetCtrlVal(1, PANEL_YMAX)", "SetAxisRange(1, PANEL_SPECTRUM, -1, 100, 4095, 0, 0.5, 250)",
      "GetCtrlVal(1, PANEL_XMAX)", "SetAxisRange(1, PANEL_SPECTRUM, 0, 100, 2000, -1, 0.5, 250)"}},
    {"the budget is only read", {}, {PANEL_NFRAMES}, {"GetCtrlVal(1, PANEL_NFRAMES)"}},
    {"reset", {}, {PANEL_RESET}, {CLEAR_GRAPH}},
    // Off ends the run; Add or Subtract with plots left starts a new one, with none nothing.
    {"accumulation off", {{PANEL_ACCUMULATE, 0}}, {PANEL_ACCUMULATE}, {GET_ACCUMULATE, RUN_ENDED}},
    {"subtract", {{PANEL_ACCUMULATE, -1}}, {PANEL_ACCUMULATE}, {GET_ACCUMULATE, RUN_ON}},
    {"add", {{PANEL_ACCUMULATE, 1}}, {PANEL_ACCUMULATE}, {GET_ACCUMULATE, RUN_ON}},
    {"add with none left", {{PANEL_NFRAMES, 0}, {PANEL_ACCUMULATE, 1}}, {PANEL_NFRAMES, PANEL_ACCUMULATE},
     {"GetCtrlVal(1, PANEL_NFRAMES)", GET_ACCUMULATE}},
    {"x log on", {{PANEL_XLOG, 3}}, {PANEL_XLOG}, {"GetCtrlVal(1, PANEL_XLOG)", X_LOG + "1)"}},
    {"x log off", {{PANEL_XLOG, 0}}, {PANEL_XLOG}, {"GetCtrlVal(1, PANEL_XLOG)", X_LOG + "0)"}},
    {"y log on above the floor", {{PANEL_YLOG, 1}}, {PANEL_YLOG}, {GET_Y_LOG, Y_LOG_ON}},
    // The floored minimum is still below the double floor: each switch-on applies it again.
    {"y log on below the floor", {{PANEL_YMIN, -2}, {PANEL_YLOG, 1}}, {PANEL_YMIN, PANEL_YLOG, PANEL_YLOG},
     {"GetCtrlVal(1, PANEL_YMIN)", "SetAxisRange(1, PANEL_SPECTRUM, -1, 0, 4095, 0, -2, 10)",
      GET_Y_LOG, Y_FLOORED, Y_FLOOR_RANGE, Y_LOG_ON, GET_Y_LOG, Y_FLOORED, Y_FLOOR_RANGE, Y_LOG_ON}},
    {"y log values other than 1 map unfloored", {{PANEL_YMIN, 0}, {PANEL_YLOG, 2}}, {PANEL_YMIN, PANEL_YLOG},
     {"GetCtrlVal(1, PANEL_YMIN)", "SetAxisRange(1, PANEL_SPECTRUM, -1, 0, 4095, 0, 0, 10)",
      GET_Y_LOG, Y_LOG_ON}},
    {"inputs on the commit's panel, reset on the pass's", {{PANEL_XLOG, 1}, {PANEL_ACCUMULATE, 0}},
     {PANEL_XLOG, PANEL_ACCUMULATE, PANEL_RESET},
     {"GetCtrlVal(3, PANEL_XLOG)", "SetCtrlAttribute(3, PANEL_SPECTRUM, ATTR_XMAP_MODE, 1)",
      "GetCtrlVal(3, PANEL_ACCUMULATE)", "SetCtrlAttribute(3, PANEL_NFRAMES, ATTR_RUN_STATE, 2)",
      CLEAR_GRAPH}, 1, 3},
};
// clang-format on

// A commit outside 7 to 16 ends the pass with 0, on Quit with 1.
TEST_F(Service, AnswersEachEventWithItsCalls) {
    for (const EventCase& c : EVENT_CASES) {
        SCOPED_TRACE(c.name);
        fresh_storage();
        fake::reset();
        fake::set_load_result(c.event_panel); // the panel the fake reports commits on
        for (auto [control, value] : c.inputs)
            fake::set_control(control, value);
        fake::push_events(c.events);
        EXPECT_EQ(replay(), c.returns);
        EXPECT_EQ(after_set_up(), c.calls);
    }
}

// Set-up of a pass -----------------------------------------------------------------

// Every pass starts afresh, whatever the one before changed: the line flushed
// again (read at the short time-out until quiet, zero bytes included), the
// settings it starts with shown, the run not marked as ended, the spectrum
// empty.
TEST_F(Service, EveryPassStartsWithItsSettingsShownAndAnEmptySpectrum) {
    fake::set_control(PANEL_NFRAMES, 1);
    fake::set_control(PANEL_XMAX, 2000);
    fake::set_control(PANEL_ACCUMULATE, -1);
    fake::push_events({PANEL_NFRAMES, PANEL_XMAX, PANEL_ACCUMULATE, 0, 0, PANEL_RESTART});
    fake::push_read(counts_frame(50));
    fake::push_read(counts_frame(50));
    EXPECT_EQ(live(), 0);
    fake::clear_calls();
    fake::push_line_bytes(3, 0x00);
    fake::push_events({0});
    fake::push_read(counts_frame(300));
    EXPECT_EQ(live(), 1);
    Texts texts = fake::texts();
    // clang-format off
    EXPECT_EQ(Texts(texts.begin(), std::find(texts.begin(), texts.end(), POLL)), (Texts{
        "SetCtrlAttribute(1, PANEL_NOTE, ATTR_DIMMED, 0)",
        "SetCtrlAttribute(1, PANEL_ADD_NOTE, ATTR_DIMMED, 0)",
        STATUS + R"("setting up serial port"))", "SetComTime(1, 0.1)",
        "ComRdByte(1)", "ComRdByte(1)", "ComRdByte(1)", "ComRdByte(1)",
        "SetComTime(1, 1.05)", STATUS + R"("serial port ready"))", CLEAR_GRAPH, "SetCtrlVal(1, PANEL_XMIN, 0)", "SetCtrlVal(1, PANEL_XMAX, 4095)",
        "SetCtrlVal(1, PANEL_YMIN, 0.0010000000474974513)", "SetCtrlVal(1, PANEL_YMAX, 10)",
        "SetCtrlVal(1, PANEL_ACCUMULATE, 1)", BUDGET + "1000)", RUN_ON,
        "SetAxisRange(1, PANEL_SPECTRUM, 0, 0, 4095, 0, 0.0010000000474974513, 10)",
        SKIPPED + std::to_string(skipped_bytes()) + ")"}));
    // clang-format on
    EXPECT_EQ(store.mode_frames[0], 1);
    EXPECT_EQ(store.counts[0][0], 300);
}

TEST_F(Service, FlushOfALineThatNeverGoesQuietEndsAfterTwoSeconds) {
    Delay(5.0); // the two seconds count from the flush's start
    fake::push_line_bytes(100000);
    EXPECT_EQ(live(), 1);
    EXPECT_GE(fake::now(), 7.0);
    EXPECT_LT(fake::now(), 7.0 + 2 * 10.0 / 19200);
    EXPECT_EQ(fake::texts({"SetComTime("}), (Texts{"SetComTime(1, 0.1)", "SetComTime(1, 1.05)"}));
}

// Frame path -----------------------------------------------------------------------

// One frame turn in order: the read, its bytes handed to the system before
// anything is shown, the frame's fields, the spectrum, the dump (uppercase
// hex, 32 bytes a line), the skipped count, the status line. Events are all
// answered before the next read.
TEST_F(Service, FrameTurnLogsTheBytesFirstThenShowsTheFrame) {
    fake::set_control(PANEL_XLOG, 1);
    fake::push_events({PANEL_XLOG, 0});
    // Shows only in the dump, with its checksum 0xEB+0x5A+0x1F, 0x90+0xC3.
    Frame frame = sealed(frame_with(0, {0xEB, 0x90, 0x5A, 0xC3, 0x1F}));
    fake::push_read(joined(frame));
    EXPECT_EQ(live(), 1);
    std::string dump = "\nEB905AC31F" + std::string(54, '0');
    for (int line = 1; line < 7; ++line)
        dump += "\n" + std::string(64, '0');
    dump += "\n" + std::string(60, '0') + "6553";
    Texts texts = fake::texts();
    // clang-format off
    EXPECT_EQ(Texts(std::find(texts.begin(), texts.end(), POLL), texts.end()), (Texts{
        POLL, "GetCtrlVal(1, PANEL_XLOG)", X_LOG + "1)",
        POLL, "ComRd(1, 256)",
        "SetCtrlVal(1, PANEL_WORD_244, 0)", "SetCtrlVal(1, PANEL_WORD_10, 0)",
        "SetCtrlVal(1, PANEL_WORD_12, 0)", "SetCtrlVal(1, PANEL_WORD_14, 0)",
        "SetCtrlVal(1, PANEL_SCALED_246, 0)", "SetCtrlVal(1, PANEL_SCALED_248, 0)",
        "SetCtrlVal(1, PANEL_SCALED_250, 0)", "SetCtrlVal(1, PANEL_WORD_252, 0)",
        at_time("1772600767233333", 0), CHARTS[0], at_time("1772600767233333", 1), CHARTS[1],
        "SetCtrlVal(1, PANEL_COUNT_MODE0, 0)", CLEAR_GRAPH, PLOT, BUDGET + "999)",
        "SetCtrlVal(1, PANEL_HEXDUMP, \"" + dump + "\")",
        R"(SetCtrlVal(1, PANEL_ARRIVAL, "05:06:07.233"))",
        SKIPPED + std::to_string(skipped_bytes()) + ")", SHOWN_OK, POLL}));
    // clang-format on
    // Modes without frames plot 0, not a quotient by zero.
    EXPECT_EQ(fake::calls_of("PlotXY")[0].y, std::vector<double>(CHANNEL_COUNT, 0.0));
    EXPECT_EQ(sink.written_after, Texts{"ComRd(1, 256)"});
    EXPECT_EQ(sink.bytes, joined(frame));
}

// The raw log holds every byte the line gave, in order, those of a read cut
// short by the time-out included; they also begin the next record. A record
// that fails the checksum is logged and counted as skipped, and neither
// shown nor accumulated: a live run takes the frames a replay of its log
// takes. The skipped count shows after every attempt.
TEST_F(Service, LiveAttemptsShowTheirStatusAndLogEveryByteInOrder) {
    Frame a = sealed(frame_with(0, {0xEB, 0x90, 0x0A}));
    Frame c = sealed(frame_with(0, {0xEB, 0x90, 0x0C}));
    fake::push_read(joined(a));
    fake::push_read(Bytes(100, 0x77)); // then the line falls silent
    fake::push_read_error(-5);
    fake::push_line(joined(Bytes{0x33}, c));
    fake::push_events({0, 0, 0, 0, 0, 0});
    auto skipped = [](int more) { return SKIPPED + std::to_string(skipped_bytes() + more) + ")"; };
    Texts expected = {skipped(0), SHOWN_OK,   skipped(0),   LINE_ERROR, skipped(0),   LINE_ERROR,
                      skipped(1), LINE_ERROR, skipped(101), SHOWN_OK,   skipped(101), LINE_ERROR};
    EXPECT_EQ(live(), 1);
    EXPECT_EQ(after_set_up({STATUS, SKIPPED}), expected);
    EXPECT_EQ(sink.bytes, joined(a, Bytes(100, 0x77), Bytes{0x33}, c));
    EXPECT_EQ(fake::texts({"SetCtrlVal(1, PANEL_HEXDUMP, "}).size(), 2u);
    EXPECT_EQ(store.mode_frames[0], 2);
}

// A faulty line: live takes into the spectrum exactly what a replay of its
// raw log takes, so the science result does not depend on how it was watched.
TEST_F(Service, LiveSpectrumIsTheSpectrumOfItsRawLogReplayed) {
    Bytes corrupted = counts_frame(1000), cut_short = counts_frame(500);
    corrupted[100] ^= 0x01;
    cut_short.resize(100);
    fake::push_line(joined(counts_frame(10), Bytes(37, 0x44), counts_frame(20), corrupted,
                           cut_short, counts_frame(30), Bytes(5, 0x90)));
    fake::push_events(std::vector<int>(40, 0));
    EXPECT_EQ(live(), 1);
    EXPECT_EQ(store.counts[0][0], 10 + 20 + 30);
    EXPECT_EQ(store.mode_frames[0], 3);
    SpectrumStore replayed{};
    init(&replayed);
    std::FILE* raw_log = file_of(sink.bytes);
    start_frames(SOURCE_REPLAY, raw_log);
    Frame frame{};
    while (get_frm(frame.data(), SOURCE_REPLAY) == 0) {
        FrameValues values;
        decode_frame(frame.data(), &values);
        accumulate_counts(&replayed, values, 1);
    }
    std::fclose(raw_log);
    EXPECT_EQ(std::vector<int32_t>(&store.counts[0][0], &store.counts[0][0] + CHANNEL_COUNT),
              std::vector<int32_t>(&replayed.counts[0][0], &replayed.counts[0][0] + CHANNEL_COUNT));
    EXPECT_EQ(std::vector<int32_t>(store.mode_frames, store.mode_frames + MODE_COUNT),
              std::vector<int32_t>(replayed.mode_frames, replayed.mode_frames + MODE_COUNT));
}

// The journal: each record checked, with its offset in the raw log and its
// arrival time, and the run's events where they fell among the bytes.
TEST_F(Service, LiveRunWritesEachRecordAndEventToTheJournal) {
    keep_journal();
    Bytes bad = counts_frame(7);
    bad[100] ^= 0x01;
    fake::push_read(counts_frame(1));
    fake::push_read(Bytes(100, 0x77)); // then the line falls silent
    fake::push_read_error(-5);
    fake::push_line(joined(bad, counts_frame(2)));
    fake::push_events({0, 0, 0, 0, 0, 0, 0, PANEL_RESET, 0, PANEL_ACCUMULATE});
    fake::set_control(PANEL_ACCUMULATE, -1);
    EXPECT_EQ(live(), 1);
    JournalReading reading = journal_kept();
    EXPECT_EQ(reading.problems, Texts{});
    std::vector<std::pair<int64_t, bool>> records;
    for (const JournalRecord& r : reading.records)
        records.push_back({r.offset, r.good});
    // The 100 bytes before the silence begin a record that fails; the scan
    // from its second byte finds the bad frame's pattern.
    EXPECT_EQ(records, (std::vector<std::pair<int64_t, bool>>{
                           {0, true}, {256, false}, {356, false}, {612, true}}));
    Texts events;
    for (const JournalEvent& e : reading.events)
        events.push_back(std::to_string(e.offset) + " " + e.kind + " " + e.text);
    EXPECT_EQ(events, (Texts{"0 pass x 0 4095 y 0.001 10 add 1000", "356 silent ", "356 back ",
                             "868 silent ", "868 reset ",
                             "868 accumulate x 0 4095 y 0.001 10 subtract 998", "868 quit "}));
    // A frame's time is when its last byte came: 0.1 s of flush, then 256
    // characters at 19200 baud.
    EXPECT_EQ(utc_text(reading.records[0].time), "2026-03-04T05:06:07.233333Z");
}

// A note goes into the journal where it was typed and marks both strip
// charts with its first words; a blank one is nothing.
TEST_F(Service, NotesGoToTheJournalAndMarkTheStripCharts) {
    keep_journal();
    fake::push_read(counts_frame(1));
    fake::set_text(PANEL_NOTE, "heater switched on at 14:32 by the operator");
    fake::push_events({0, PANEL_ADD_NOTE});
    EXPECT_EQ(live(), 1);
    fake::set_text(PANEL_NOTE, " \t ");
    fake::push_events({PANEL_ADD_NOTE});
    EXPECT_EQ(live(), 1);
    JournalReading reading = journal_kept();
    std::vector<std::string> notes;
    for (const JournalEvent& e : reading.events)
        if (e.kind == "note") notes.push_back(std::to_string(e.offset) + " " + e.text);
    EXPECT_EQ(notes, Texts{"256 heater switched on at 14:32 by the operator"});
    EXPECT_EQ(fake::texts({"PlotStripChartMark(", "SetCtrlVal(1, PANEL_NOTE, "}),
              (Texts{R"(PlotStripChartMark(1, PANEL_RATES, "heater switched on at..."))",
                     R"(PlotStripChartMark(1, PANEL_GROUP_CHART, "heater switched on at..."))",
                     R"(SetCtrlVal(1, PANEL_NOTE, ""))"}));
}

// Replay takes its frames' arrival times from the recording's journal, and
// marks its notes after the frame that had come when they were typed.
TEST_F(Service, ReplayShowsArrivalTimesAndNotesFromTheJournal) {
    const std::string recorded = "time\toffset\tkind\ttext\n"
                                 "2026-03-04T05:06:10.000000Z\t0\tframe\t\n"
                                 "2026-03-04T05:06:11.000000Z\t256\tnote\tvalve\n"
                                 "2026-03-04T05:06:11.500000Z\t256\tbad\t\n"
                                 "2026-03-04T05:06:12.000000Z\t512\tframe\t\n";
    std::FILE* file = file_of(Bytes(recorded.begin(), recorded.end()));
    read_journal(file, 768, &kx.replay_journal);
    std::fclose(file);
    Bytes bad = counts_frame(5);
    bad[100] ^= 0x01;
    std::FILE* recording = file_of(joined(counts_frame(1), bad, counts_frame(2)));
    fake::push_events({0, 0, 0});
    EXPECT_EQ(replay(recording), 1);
    std::fclose(recording);
    EXPECT_EQ(fake::texts({"SetCtrlVal(1, PANEL_ARRIVAL, ", "PlotStripChartMark(1, PANEL_RATES"}),
              (Texts{R"(SetCtrlVal(1, PANEL_ARRIVAL, "05:06:10.000"))",
                     R"(PlotStripChartMark(1, PANEL_RATES, "valve"))",
                     R"(SetCtrlVal(1, PANEL_ARRIVAL, "05:06:12.000"))"}));
}

// At the line's pace every frame is on the disk before the next is read; a
// quiet line brings nothing new to sync.
TEST_F(Service, LiveRawLogIsSyncedToTheDiskAfterEveryFrameAtTheLinesPace) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    set_raw_log(file);
    synced_descriptor = fileno(file);
    syncs = 0;
    fake::push_line(joined(counts_frame(1), counts_frame(2), counts_frame(3)));
    fake::push_events({0, 0, 0, 0, 0});
    EXPECT_EQ(live(), 1);
    EXPECT_EQ(syncs, 3);
    std::fclose(file);
}

TEST_F(Service, FailedRawLogWriteShowsOnTheStatusLineAndTheFrameIsStillShown) {
    // /dev/full refuses the bytes; /dev/null opened read-only refuses the write.
    for (auto [path, mode] : {std::pair{"/dev/full", "wb"}, std::pair{"/dev/null", "rb"}}) {
        SCOPED_TRACE(path);
        std::FILE* stream = std::fopen(path, mode);
        ASSERT_NE(stream, nullptr);
        fresh_storage();
        fake::reset();
        start_frames(SOURCE_LIVE, nullptr);
        set_raw_log(stream);
        fake::push_events({0, 0, 0});
        fake::push_read(Bytes(256, 0x00));
        fake::push_read(Bytes(256, 0x00));
        EXPECT_EQ(live(), 1);
        const std::string write_error = STATUS + R"("raw log write error"))";
        EXPECT_EQ(after_set_up({STATUS}), (Texts{write_error, write_error, LINE_ERROR}));
        EXPECT_EQ(fake::texts({"SetCtrlVal(1, PANEL_HEXDUMP, "}).size(), 2u);
        std::fclose(stream);
    }
}

// Replay paces every attempt, a frame found past bad bytes included, keeps
// answering events at the end of the recording, and writes no raw log.
TEST_F(Service, ReplayPacesEveryAttemptAndShowsTheEnd) {
    // 300 bytes that fail the checksum and hold no sync pattern, then a frame.
    std::FILE* recording =
        file_of(joined(Bytes(300, 0x01), sealed(frame_with(0, {0xEB, 0x90, 0x00, 0x42}))));
    fake::set_control(PANEL_XLOG, 1);
    fake::push_events({0, 0, PANEL_XLOG, 0});
    std::string skipped = std::to_string(skipped_bytes() + 300);
    EXPECT_EQ(replay(recording), 1);
    std::fclose(recording);
    const std::string end = STATUS + R"("EOF on input file"))";
    const std::string shown_skipped = SKIPPED + skipped + ")";
    EXPECT_EQ(after_set_up({"Delay(", BUDGET, SKIPPED, STATUS, X_LOG}),
              (Texts{"Delay(0.2)", BUDGET + "9999)", shown_skipped, SHOWN_OK, "Delay(0.2)",
                     shown_skipped, end, X_LOG + "1)", "Delay(0.2)", shown_skipped, end}));
    EXPECT_TRUE(sink.bytes.empty());
}

TEST_F(Service, ReplayReadErrorShowsAsSuchNotAsTheEnd) {
    ScratchDirectory scratch;
    std::FILE* directory = std::fopen(scratch.root().c_str(), "rb"); // opens; reads fail
    ASSERT_NE(directory, nullptr);
    fake::push_events({0, 0});
    EXPECT_EQ(replay(directory), 1);
    std::fclose(directory);
    const std::string read_error = STATUS + R"("read error on input file"))";
    const std::string none_skipped = SKIPPED + std::to_string(skipped_bytes()) + ")";
    EXPECT_EQ(after_set_up(), (Texts{"Delay(0.2)", none_skipped, read_error, "Delay(0.2)",
                                     none_skipped, read_error}));
}

// Fields by mode -------------------------------------------------------------------

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

// Modes 0 and 2 carry three fine-scaled words, modes 1 and 3 two tenths; the
// controls of the other scaling, and the counters of other modes, are left
// alone. (Mode 0 shows in the service's frame turn.)
// clang-format off
const std::pair<unsigned char, Texts> MODE_CASES[] = { // the mode byte (only its low two bits count)
    {0x05, {"SetCtrlVal(1, PANEL_TENTH_246, -0.10000000149011612)",
            "SetCtrlVal(1, PANEL_TENTH_248, 123.4000015258789)", WORD_252, UNTIMED[0], CHARTS[0], UNTIMED[1], CHARTS[1],
            R"(SetCtrlVal(1, PANEL_TIME, "12:34:56.8"))"}},
    {0x02, {"SetCtrlVal(1, PANEL_SCALED_246, -9.999999747378752e-05)",
            "SetCtrlVal(1, PANEL_SCALED_248, 0.1234000027179718)",
            "SetCtrlVal(1, PANEL_SCALED_250, 9.999999747378752e-05)", WORD_252, UNTIMED[0], CHARTS[0], UNTIMED[1], CHARTS[1],
            "SetCtrlVal(1, PANEL_COUNT_MODE2, 3.7967315571910003)"}},
    {0x07, {"SetCtrlVal(1, PANEL_TENTH_246, -0.10000000149011612)",
            "SetCtrlVal(1, PANEL_TENTH_248, 123.4000015258789)", WORD_252, UNTIMED[0], CHARTS[0], UNTIMED[1], CHARTS[1],
            "SetCtrlVal(1, PANEL_COUNT_MODE3, 3.7967315571910003)"}},
};
// clang-format on

TEST(FrameProcess, ShowsTheFieldsTheFramesModeCarries) {
    for (const auto& [mode_byte, calls] : MODE_CASES) {
        SCOPED_TRACE(static_cast<int>(mode_byte));
        fresh_storage();
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

// Accumulation runs ----------------------------------------------------------------

std::string left(int budget) { return BUDGET + std::to_string(budget) + ")"; }

struct BudgetCase {
    const char* name;
    int budget, accumulate;  // what the controls hold; the budget is read first
    std::vector<int> events; // 0 is a frame turn
    Texts shown;             // plots, budgets left and run marks, in order
    int32_t frames;          // frames accumulated, each with 10 in the first bin
    int32_t first_bin;
};

// A run plots and counts the budget down after each frame while it is
// nonzero; the first frame to find it at 0 is still accumulated and ends the
// run. A negative budget never runs out, and stays as the operator set it.
// clang-format off
const BudgetCase BUDGET_CASES[] = {
    {"budget 3", 3, 1, {0, 0, 0, 0, 0},
     {PLOT, left(2), PLOT, left(1), PLOT, left(0), RUN_ENDED, ACCUMULATION_OFF}, 4, 40},
    {"budget 1", 1, 1, {0, 0, 0}, {PLOT, left(0), RUN_ENDED, ACCUMULATION_OFF}, 2, 20},
    {"a spent budget switched on again takes one more frame", 0, 1, {0, 0, PANEL_ACCUMULATE, 0, 0},
     {RUN_ENDED, ACCUMULATION_OFF, RUN_ENDED, ACCUMULATION_OFF}, 2, 20},
    {"a negative budget", -1, 1, {0, 0}, {PLOT, left(-1), PLOT, left(-1)}, 2, 20},
    {"the lowest budget", INT_MIN, 1, {0, 0}, {PLOT, left(INT_MIN), PLOT, left(INT_MIN)}, 2, 20},
    {"accumulation off", 5, 0, {PANEL_ACCUMULATE, 0, 0}, {RUN_ENDED}, 0, 0},
    {"subtract", 5, -4, {PANEL_ACCUMULATE, 0, 0}, {RUN_ON, PLOT, left(4), PLOT, left(3)}, 2, -20},
    {"reset mid-run", 3, 1, {0, PANEL_RESET, 0, 0}, {PLOT, left(2), PLOT, left(1), PLOT, left(0)}, 2, 20},
};
// clang-format on

TEST_F(Service, AccumulationRunsPlotAndCountTheBudgetDown) {
    for (const BudgetCase& c : BUDGET_CASES) {
        SCOPED_TRACE(c.name);
        fresh_storage();
        fake::reset();
        start_frames(SOURCE_LIVE, nullptr);
        set_raw_log(log);
        store = SpectrumStore{};
        init(&store);
        fake::set_control(PANEL_NFRAMES, c.budget);
        fake::set_control(PANEL_ACCUMULATE, c.accumulate);
        fake::push_events({PANEL_NFRAMES});
        fake::push_events(c.events);
        for (int event : c.events)
            if (event == 0) fake::push_read(counts_frame(10));
        EXPECT_EQ(live(), 1);
        EXPECT_EQ(after_set_up(
                      {"PlotXY(", BUDGET, "SetCtrlAttribute(1, PANEL_NFRAMES, ", ACCUMULATION_OFF}),
                  c.shown);
        EXPECT_EQ(store.mode_frames[0], c.frames);
        EXPECT_EQ(store.counts[0][0], c.first_bin);
    }
}

} // namespace

// Publishing while no broker is there: the line's bytes all reach the raw
// log as without a broker, records (a bad one too) and journal lines wait in
// the bounded ring, its oldest making room, and the status line counts what
// was not published.
TEST_F(Service, APublisherWithoutItsBrokerLogsEveryByteAndCountsWhatItDrops) {
    kx.broker.role = ROLE_PUBLISHER;
    const int records = static_cast<int>(RING_SLOTS) + 3;
    Bytes line = counts_frame(7);
    line[100] ^= 0x01;
    for (int i = 1; i < records; ++i) {
        Bytes record = counts_frame(i);
        line.insert(line.end(), record.begin(), record.end());
    }
    fake::push_line(line);
    fake::push_events(std::vector<int>(records + 1, 0));
    EXPECT_EQ(live(), 1);
    EXPECT_EQ(sink.bytes, line);
    // Journal lines go too: the pass's settings, the accumulation run's end
    // after its 1000 plots and the line falling silent, by the last attempt;
    // the quit makes room for itself after it.
    const std::string dropped = std::to_string(records + 3 - static_cast<int>(RING_SLOTS));
    EXPECT_EQ(after_set_up({STATUS}).back(),
              STATUS + "\"broker gone: publishing resumes when it is back; " + dropped +
                  " messages not published\")");
    BrokerMessage oldest;
    ASSERT_TRUE(ring_take(&kx.broker.ring, &oldest));
    const int first_kept = records + 4 - static_cast<int>(RING_SLOTS);
    EXPECT_EQ(oldest.kind, MESSAGE_FRAME);
    EXPECT_EQ(oldest.sequence, static_cast<uint64_t>(first_kept));
    EXPECT_TRUE(oldest.good);
    EXPECT_EQ(Bytes(oldest.bytes, oldest.bytes + FRAME_SIZE),
              Bytes(line.begin() + (first_kept - 1) * FRAME_SIZE,
                    line.begin() + first_kept * FRAME_SIZE));
}

// A viewer numbers what it receives: a gap is records lost on the way, said
// on the status line after every frame and while it waits, with the broker
// gone when it is; a bad record is counted, not shown. One turn takes all
// that was received.
TEST_F(Service, AViewerCountsTheRecordsLostOnTheWayAndSaysWhenTheBrokerIsGone) {
    set_raw_log(nullptr);
    kx.broker.role = ROLE_VIEWER;
    kx.broker.connected = true;
    kx.broker.publisher_state = PUBLISHER_ONLINE;
    BrokerMessage message;
    for (uint64_t sequence : {1, 2, 5, 6}) {
        Bytes record = counts_frame(static_cast<int>(sequence));
        if (sequence == 6) record[100] ^= 0x01;
        message.sequence = sequence;
        ASSERT_TRUE(take_frame_payload(record.data(), record.size(), &message));
        ring_put(&kx.broker.ring, message);
    }
    fake::push_events({0, 0});
    EXPECT_EQ(service(PANEL, SOURCE_BROKER, &store), 1);
    const std::string lost = STATUS + R"("2 records lost on the way"))";
    EXPECT_EQ(after_set_up({STATUS, SKIPPED}),
              (Texts{SKIPPED + "0)", SHOWN_OK, SKIPPED + "0)", SHOWN_OK, SKIPPED + "0)", lost,
                     SKIPPED + "0)", lost, lost}));
    EXPECT_EQ(store.mode_frames[0], 3);
    fake::clear_calls();
    kx.broker.connected = false;
    fake::push_events({0});
    EXPECT_EQ(service(PANEL, SOURCE_BROKER, &store), 1);
    EXPECT_EQ(after_set_up({STATUS}),
              Texts{STATUS + R"("broker gone: reconnecting; 2 records lost on the way"))"});
}

// A full ring taken in one turn, the publisher's notes among the records:
// the copy holds every record once, in order, the journal each note where
// it came, and nothing counts as lost.
TEST_F(Service, AViewerTakesAFullRingInOneTurnWithNothingDroppedOrReordered) {
    keep_journal();
    kx.broker.role = ROLE_VIEWER;
    kx.broker.connected = true;
    kx.broker.publisher_state = PUBLISHER_ONLINE;
    constexpr int NOTE_EVERY = 100;
    Bytes sent;
    std::vector<int64_t> note_offsets;
    BrokerMessage message;
    for (uint64_t sequence = 1; ring_count(&kx.broker.ring) < RING_SLOTS; ++sequence) {
        if (sequence % NOTE_EVERY == 0) {
            message.kind = MESSAGE_JOURNAL;
            std::string note = "note " + std::to_string(sequence);
            message.length =
                format_journal_line(reinterpret_cast<char*>(message.bytes), 0, 0, KIND_NOTE, note);
            ring_put(&kx.broker.ring, message);
            note_offsets.push_back(static_cast<int64_t>(sent.size()));
        }
        Bytes record = counts_frame(static_cast<int>(sequence % 4000));
        message.sequence = sequence;
        message.arrival = fake::UTC_ORIGIN + static_cast<int64_t>(sequence);
        ASSERT_TRUE(take_frame_payload(record.data(), record.size(), &message));
        ring_put(&kx.broker.ring, message);
        sent.insert(sent.end(), record.begin(), record.end());
    }
    fake::push_events({0});
    EXPECT_EQ(service(PANEL, SOURCE_BROKER, &store), 1);
    EXPECT_EQ(ring_count(&kx.broker.ring), 0u);
    EXPECT_TRUE(sink.bytes == sent) << sink.bytes.size() << " of " << sent.size() << " bytes";
    JournalReading reading = journal_kept();
    EXPECT_EQ(reading.records.size(), sent.size() / FRAME_SIZE);
    std::vector<int64_t> noted;
    for (const JournalEvent& event : reading.events) {
        EXPECT_NE(event.kind, "lost");
        if (event.kind == KIND_NOTE) noted.push_back(event.offset);
    }
    EXPECT_EQ(noted, note_offsets);
}
