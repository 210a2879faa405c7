// Replay's transport over the fake backend: what the operator sees after
// driving it, the pace of each speed, and where the positions come from.
#include "replay_transport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "controls.h"
#include "fake_runtime.h"
#include "frame_source.h"
#include "frames.h"
#include "kxview_storage.h"
#include "replay_positions.h"
#include "service.h"

namespace {

constexpr int FRAMES = 30;
constexpr int PANEL_HANDLE = 1;
constexpr long long T0 = 1'800'000'000'000'000LL;
constexpr long long SECOND = 1'000'000;

// Frame n is numbered n at byte 4 and in its first rate (16 n), and holds
// n + 1 counts in its first spectrum bin; n % 3 junk bytes come before it,
// and a bad record before frame 20.
Bytes recording() {
    Bytes bytes;
    for (int n = 0; n < FRAMES; ++n) {
        bytes.insert(bytes.end(), static_cast<size_t>(n % 3), 0x01);
        Frame frame = frame_with(0, {0xEB, 0x90, 0x00, 0x00, static_cast<unsigned char>(n)});
        put(&frame, OFF_RATES, {static_cast<unsigned char>(n)});
        put(&frame, 166,
            {static_cast<unsigned char>((n + 1) >> 4),
             static_cast<unsigned char>(((n + 1) & 0x0F) << 4)});
        if (n == 20) bytes = joined(bytes, frame_with(0, {0xEB, 0x90, 0x66}));
        bytes = joined(bytes, sealed(frame));
    }
    return bytes;
}

// What a replay from the start skipped to reach frame n: the junk, and the
// bad record before frame 20.
int32_t skipped_before(int n) {
    int32_t skipped = 0;
    for (int k = 0; k <= n; ++k)
        skipped += k % 3 + (k == 20 ? FRAME_SIZE : 0);
    return skipped;
}

class Transport : public ::testing::Test {
  protected:
    void SetUp() override {
        fresh_storage();
        fake::reset();
        init(&store);
    }
    void TearDown() override { std::fclose(file); }
    // The journal a live run would have written: frame n came n seconds
    // after T0; only the first `records` of them when fewer.
    void journal(int records = FRAMES) {
        for (int n = 0; n < records; ++n)
            kx.replay_journal.records.push_back({T0 + n * SECOND, kx.positions.offsets[n], true});
    }
    int replay(const std::vector<int>& events) {
        fake::push_events(events);
        return service(PANEL_HANDLE, SOURCE_REPLAY, &store);
    }
    std::vector<int64_t> scanned() {
        start_frames(SOURCE_REPLAY, file);
        while (scan_positions(1 << 20)) {
        }
        return kx.positions.offsets;
    }
    std::FILE* file = file_of(recording());
    SpectrumStore store{};
};

struct Drive {
    const char* name;
    std::vector<int> events; // 0: a frame turn; PANEL_POSITION goes to `position`
    int position;
    int shown;                 // the frame on the panel at the end
    std::vector<int> spectrum; // the frames the spectrum holds
};

// Whatever the operator does, the spectrum holds each frame from where the
// replay last jumped at most once, and the skipped count is the one a replay
// from the start shows at that frame.
const Drive DRIVES[] = {
    {"untouched", {0, 0, 0}, 0, 2, {0, 1, 2}},
    {"a frame back", {0, 0, 0, PANEL_STEP_BACK, 0}, 0, 1, {1}},
    {"to the end, then back past its end",
     {0, PANEL_TO_END, 0, 0, PANEL_STEP_BACK, 0},
     0,
     28,
     {28}},
    {"the slider past the bad record", {0, PANEL_POSITION, 0, 0}, 19, 20, {19, 20}},
    {"paused, a frame forward", {PANEL_PLAY, 0, 0, PANEL_STEP_FORWARD, 0, 0}, 0, 0, {0}},
    {"to the start", {0, 0, 0, 0, PANEL_TO_START, 0}, 0, 0, {0}},
    {"back from the first frame", {0, PANEL_STEP_BACK, 0, 0}, 0, 1, {0, 1}},
    {"a jump while paused shows its frame", {0, PANEL_PLAY, PANEL_POSITION, 0, 0}, 10, 10, {10}},
};

TEST_F(Transport, KeepsTheSpectrumWholeWhereverTheOperatorGoes) {
    for (const Drive& drive : DRIVES) {
        SCOPED_TRACE(drive.name);
        SetUp();
        std::rewind(file);
        start_frames(SOURCE_REPLAY, file);
        fake::set_control(PANEL_POSITION, drive.position);
        replay(drive.events);
        EXPECT_EQ(kx.frame[4], drive.shown);
        EXPECT_EQ(kx.transport.frame, drive.shown);
        int32_t counts = 0;
        for (int n : drive.spectrum)
            counts += n + 1;
        EXPECT_EQ(store.mode_frames[0], static_cast<int32_t>(drive.spectrum.size()));
        EXPECT_EQ(store.counts[0][0], counts);
        EXPECT_EQ(skipped_bytes(), skipped_before(drive.shown));
    }
}

TEST_F(Transport, AJumpFillsTheStripChartsWithTheFramesBeforeIt) {
    start_frames(SOURCE_REPLAY, file);
    fake::set_control(PANEL_POSITION, 12);
    replay({0, PANEL_POSITION, 0});
    // Frame 0 as played, then frames 0 to 11 again on cleared charts, then 12.
    std::vector<fake::Call> plots = fake::calls_of("PlotStripChart");
    ASSERT_EQ(plots.size(), 2u * 14);
    for (int n = 0; n < 13; ++n)
        EXPECT_EQ(plots[2 * (n + 1)].y[0], 16 * n) << n;
    EXPECT_EQ(fake::texts({"ClearStripChart("}),
              (std::vector<std::string>{"ClearStripChart(1, PANEL_RATES, 0)",
                                        "ClearStripChart(1, PANEL_GROUP_CHART, 0)"}));
    EXPECT_EQ(fake::texts({"SetCtrlVal(1, PANEL_STATUS"}).back(),
              R"(SetCtrlVal(1, PANEL_STATUS, "spectrum from frame 12"))");
}

struct Pace {
    int speed;
    std::vector<std::string> delays; // before the second frame, after the first
};

// Slow paces wait in slices, so that the operator's input is answered.
const Pace PACES[] = {
    {1, {"Delay(0.2)", "Delay(0.2)", "Delay(0.2)", "Delay(0.2)", "Delay(0.2)"}},
    {SPEED_STANDARD, {"Delay(0.2)"}},
    {1000, {"Delay(0.001)"}},
    {SPEED_FASTEST, {}},
    {10 * SPEED_AS_RECORDED, {"Delay(0.1)"}}, // the journal's frames came a second apart
};

TEST_F(Transport, PacesEachSpeed) {
    for (const Pace& pace : PACES) {
        SCOPED_TRACE(pace.speed);
        SetUp();
        kx.positions.offsets = scanned();
        journal();
        std::rewind(file);
        start_frames(SOURCE_REPLAY, file);
        kx.transport.speed = pace.speed;
        replay(std::vector<int>(12, 0));
        const std::string plot = "PlotStripChart(1, PANEL_RATES, 20, 0, 0, 1)";
        std::vector<std::string> texts = fake::texts({"Delay(", plot});
        auto first = std::find(texts.begin(), texts.end(), plot);
        auto second = std::find(first + 1, texts.end(), plot);
        ASSERT_NE(second, texts.end());
        EXPECT_EQ(std::vector<std::string>(first + 1, second), pace.delays);
    }
}

// Past the last frame, attempts come at the standard pace, however fast the
// frames came.
TEST_F(Transport, WaitsAtTheEnd) {
    start_frames(SOURCE_REPLAY, file);
    kx.transport.speed = SPEED_FASTEST;
    replay(std::vector<int>(FRAMES + 3, 0));
    EXPECT_EQ(fake::texts({"Delay("}), (std::vector<std::string>{"Delay(0.2)", "Delay(0.2)"}));
    EXPECT_EQ(fake::texts({"SetCtrlVal(1, PANEL_STATUS"}).back(),
              R"(SetCtrlVal(1, PANEL_STATUS, "EOF on input file"))");
}

TEST_F(Transport, PositionsFromASoundJournalOrTheScanAgree) {
    const std::vector<int64_t> offsets = scanned();
    ASSERT_EQ(offsets.size(), size_t{FRAMES});
    for (int records : {FRAMES, FRAMES / 2}) {
        SCOPED_TRACE(records);
        fresh_storage();
        kx.positions.offsets = offsets;
        journal(records);
        kx.positions.offsets.clear();
        std::rewind(file);
        EXPECT_EQ(scanned(), offsets);
        EXPECT_EQ(kx.positions.times.size(), size_t(records));
    }
    // A journal with problems may have lost lines: the scan alone counts.
    fresh_storage();
    kx.replay_journal.records.push_back({T0, offsets[5], true});
    kx.replay_journal.problems.push_back("line 3: not a line");
    std::rewind(file);
    EXPECT_EQ(scanned(), offsets);
    EXPECT_TRUE(kx.positions.times.empty());
}

TEST_F(Transport, StartsWhereTheCommandLineSays) {
    kx.positions.offsets = scanned();
    journal();
    std::rewind(file);
    kx.positions.offsets.clear();
    start_frames(SOURCE_REPLAY, file);
    const std::pair<std::string, std::string> starts[] = {
        {"#7", "7"},
        {"#30", "the recording has 30 frames"},
        {"#x", "not a frame number: #x"},
        {"2027-01-15T08:00:04.5Z", "5"},
        {"08:00:10", "10"},
        {"2027-01-15T09:00:00Z", "no frame came at 2027-01-15T09:00:00Z or later"},
        {"noon", "not a time (YYYY-MM-DDThh:mm:ssZ or hh:mm:ss) nor #N: noon"},
    };
    for (const auto& [start, expected] : starts) {
        std::string why;
        int64_t frame = find_start(start, &why);
        EXPECT_EQ(frame >= 0 ? std::to_string(frame) : why, expected) << start;
    }
}

TEST_F(Transport, APipePlaysForwardOnly) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    Bytes bytes = recording();
    ASSERT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(ends[1]);
    std::FILE* piped = fdopen(ends[0], "rb");
    start_frames(SOURCE_REPLAY, piped);
    std::string why;
    EXPECT_EQ(find_start("#1", &why), -1);
    EXPECT_EQ(why, "a recording read through a pipe plays from its start");
    replay({0, 0, PANEL_TO_START, 0});
    std::fclose(piped);
    EXPECT_EQ(kx.frame[4], 2);
    EXPECT_EQ(
        fake::texts({"SetCtrlAttribute(1, PANEL_TO_START"}),
        (std::vector<std::string>{
            "SetCtrlAttribute(1, PANEL_TO_START, ATTR_DIMMED, 1)",
            R"(SetCtrlAttribute(1, PANEL_TO_START, ATTR_TOOLTIP, "A recording read through a pipe plays forward only"))"}));
    EXPECT_EQ(fake::texts({"SetCtrlVal(1, PANEL_POSITION_TEXT"}).back(),
              R"(SetCtrlVal(1, PANEL_POSITION_TEXT, "frame 2"))");
}

} // namespace
