// Limits and alarms over the fake backend: the limits file found, refused or
// read again, and what the operator sees of a simulated instrument's frames
// with a value spiked beyond its limits: the fields' states, the alarm list,
// the title, the strip charts' limit lines, the bell, the acknowledgements,
// and the journal's record of it all.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "alarm_display.h"
#include "controls.h"
#include "fake_runtime.h"
#include "files.h"
#include "frame_source.h"
#include "frames.h"
#include "instrument.h"
#include "journal_reader.h"
#include "kxview_storage.h"
#include "limit_values.h"
#include "limits_watch.h"
#include "replay_transport.h"
#include "run_journal.h"
#include "service.h"
#include "sim_spikes.h"

namespace {

using Texts = std::vector<std::string>;

// Limits the simulated instrument keeps within (its bus current is about
// 420 mA) but for the spikes; the group chart's trace 1 is shared by the
// two groups' word23, and shows the first.
const std::string LIMITS = R"([words.252]
label = "bus current"
unit = "mA"
yellow_high = 500
red_high = 600

[tenths.246]
yellow_high = 50
red_high = 100

[rates.7]
yellow_high = 1e9
red_high = 2e9

[groups.1.word23]
red_low = -2
yellow_low = -1

[groups.2.word23]
red_low = -3
)";

// What the operator sees, made from every call so far.
struct View {
    std::map<std::string, int> fields;        // a field's limit state, by control
    Texts rows;                               // "cells [state]"
    std::string title;                        // the window's
    std::map<std::string, std::string> lines; // "CHART trace" -> the four limits
    int beeps = 0;
    std::string status; // the status line
    bool operator==(const View&) const = default;
};

void PrintTo(const View& v, std::ostream* out) {
    *out << "title \"" << v.title << "\" beeps " << v.beeps << " status \"" << v.status << "\"";
    for (const auto& [field, state] : v.fields)
        *out << "\n  field " << field << " " << state;
    for (const std::string& row : v.rows)
        *out << "\n  row " << row;
    for (const auto& [trace, lines] : v.lines)
        *out << "\n  lines " << trace << ": " << lines;
}

View seen() {
    static const std::regex FIELD(R"re(SetCtrlAttribute\(1, (\w+), ATTR_LIMIT_STATE, (\d)\))re");
    static const std::regex ROWS(R"re(SetTableRowCount\(1, PANEL_ALARMS, (\d+)\))re");
    static const std::regex ROW(R"re(SetTableRow\(1, PANEL_ALARMS, (\d+), "(.*)", (\d)\))re");
    static const std::regex TITLE(R"re(SetPanelAttribute\(1, ATTR_TITLE, "(.*)"\))re");
    static const std::regex LINES(R"re(SetStripChartLimits\(1, (\w+), (\d+), (.*)\))re");
    static const std::regex STATUS(R"re(SetCtrlVal\(1, PANEL_STATUS, "(.*)"\))re");
    View v;
    std::smatch m;
    for (const fake::Call& call : fake::calls()) {
        const std::string& t = call.text;
        if (std::regex_match(t, m, FIELD)) {
            v.fields[m[1]] = std::stoi(m[2]);
        } else if (std::regex_match(t, m, ROWS)) {
            v.rows.resize(std::stoul(m[1]));
        } else if (std::regex_match(t, m, ROW)) {
            v.rows.at(std::stoul(m[1])) = m[2].str() + " [" + m[3].str() + "]";
        } else if (std::regex_match(t, m, TITLE)) {
            v.title = m[1];
        } else if (std::regex_match(t, m, LINES)) {
            std::string trace = m[1].str() + " " + m[2].str();
            if (m[3] == "-inf, -inf, inf, inf")
                v.lines.erase(trace);
            else
                v.lines[trace] = m[3];
        } else if (std::regex_match(t, m, STATUS)) {
            v.status = m[1];
        }
        v.beeps += t == "Beep()";
    }
    return v;
}

const std::string NAME = "COM1";
constexpr int NORMAL = -1; // a frame as the instrument makes it

class Alarms : public ::testing::Test {
  protected:
    void SetUp() override { begin(); }
    void TearDown() override { close_files(); }
    // A fresh run: nothing read, no limits, no alarms, new logs.
    void begin() {
        close_files();
        fresh_storage();
        fake::reset();
        init(&store);
        start_frames(SOURCE_LIVE, nullptr);
        raw_log = std::tmpfile();
        journal = std::tmpfile();
        ASSERT_TRUE(raw_log != nullptr && journal != nullptr);
        set_raw_log(raw_log);
        set_journal(journal);
        name_window(PANEL, NAME.c_str());
    }
    void close_files() {
        set_raw_log(nullptr);
        set_journal(nullptr);
        for (std::FILE* file : {raw_log, journal})
            if (file != nullptr) std::fclose(file);
        raw_log = journal = nullptr;
    }
    // Reads the limits file as kxview does at its start; what it said on
    // standard error.
    std::string start(const std::optional<std::string>& limits) {
        if (limits) write_file("kx-limits.toml", *limits);
        testing::internal::CaptureStderr();
        start_limits(PANEL);
        return testing::internal::GetCapturedStderr();
    }
    // A live pass over the next frames, words.252 spiked to each value given
    // (NORMAL: not), then the operator's acknowledgements with the alarm
    // list's current row for each, then (`idle`) a read that times out, and
    // quit. What it said on standard error.
    std::string run(const std::vector<double>& bus_current, const std::vector<int>& rows = {},
                    bool idle = true) {
        std::vector<int> events;
        for (double amount : bus_current) {
            events.push_back(0);
            fake::push_read(joined(next_frame(amount)));
        }
        for (int row : rows) {
            fake::set_control(PANEL_ALARMS, row);
            events.push_back(PANEL_ACKNOWLEDGE);
        }
        if (idle) {
            events.push_back(0);
            fake::push_read({});
        }
        fake::push_events(events);
        testing::internal::CaptureStderr();
        EXPECT_EQ(service(PANEL, SOURCE_LIVE, &store), 1);
        return testing::internal::GetCapturedStderr();
    }
    Frame next_frame(double bus_current) {
        Frame frame{};
        instrument.next_frame(frame.data());
        if (bus_current != NORMAL)
            apply_spikes({{watched_value("words.252"), bus_current, number, 1}}, number,
                         frame.data());
        ++number;
        frames.push_back(frame);
        return frame;
    }
    int bus_current(size_t frame) {
        FrameValues values{};
        decode_frame(frames.at(frame).data(), &values);
        return values.word_252;
    }
    // The journal's limit and acknowledgement lines: "offset kind text".
    Texts alarm_events() {
        JournalReading reading;
        std::rewind(journal);
        read_journal(journal, -1, &reading);
        EXPECT_EQ(reading.problems, Texts{});
        Texts out;
        for (const JournalEvent& e : reading.events)
            if (e.kind == "limit" || e.kind == "acknowledge")
                out.push_back(std::to_string(e.offset) + " " + e.kind + " " + e.text);
        return out;
    }
    ScratchDirectory dir;
    WorkingDirectory here{dir.root()};
    std::string path = dir / "kx-limits.toml";
    SpectrumStore store{};
    std::FILE* raw_log = nullptr;
    std::FILE* journal = nullptr;
    Instrument instrument{7, 0.133};
    int64_t number = 0;
    std::vector<Frame> frames;
};

// Lines drawn by LIMITS: rates.7's on its own trace, the group chart's trace
// 1 from groups.1.word23, the first of the two limits it shows.
const std::map<std::string, std::string> LINES_DRAWN = {
    {"PANEL_RATES 6", "-inf, -inf, 1e+09, 2e+09"}, {"PANEL_GROUP_CHART 1", "-2, -1, inf, inf"}};

// The operator's day: a spike beyond yellow then red, back in range
// (latched until acknowledged), acknowledged while out of range, then
// worse; every change in the journal, where it fell among the frames.
TEST_F(Alarms, ASpikeRaisesAnAlarmThatLatchesUntilAcknowledged) {
    EXPECT_EQ(start(LIMITS), "");
    View v{{}, {}, "COM1 - kxview", LINES_DRAWN, 0, " "};
    EXPECT_EQ(seen().lines, LINES_DRAWN);
    // Frames 0 to 9: yellow at 4, red at 6, back at 8. The frames' times:
    // 0.1 s of flush, then 256 characters at 19200 baud each.
    EXPECT_EQ(run({NORMAL, NORMAL, NORMAL, NORMAL, 550, 550, 700, 700, NORMAL, NORMAL}), "");
    v.fields = {{"PANEL_WORD_252", 0}};
    v.rows = {"bus current | back in range | 700 mA | 2026-03-04 05:06:07 | "
              "2026-03-04 05:06:08 | 1 [0]"};
    v.title = "COM1 - 1 alarm - kxview";
    v.status = "COM1 err: too few bytes read";
    EXPECT_EQ(seen(), v);
    // No row current: every alarm acknowledged; back in range, it goes.
    EXPECT_EQ(run({}, {-1}), "");
    v.rows = {};
    v.title = "COM1 - kxview";
    EXPECT_EQ(seen(), v);
    // Acknowledged while yellow, it stays, marked; red brings it back. The
    // row tells the limit's whole story since the limits were read: the
    // worst value, the first and the last time out of range, the excursions.
    run({550}, {0});
    v.fields = {{"PANEL_WORD_252", 1}};
    v.rows = {"bus current | yellow, acknowledged | 700 mA | 2026-03-04 05:06:07 | "
              "2026-03-04 05:06:10 | 2 [1]"};
    EXPECT_EQ(seen(), v);
    run({700});
    v.fields = {{"PANEL_WORD_252", 2}};
    v.rows = {"bus current | red | 700 mA | 2026-03-04 05:06:07 | 2026-03-04 05:06:12 | 2 [2]"};
    v.title = "COM1 - 1 alarm - kxview";
    EXPECT_EQ(seen(), v);
    const std::string back = std::to_string(bus_current(8));
    EXPECT_EQ(alarm_events(),
              (Texts{"1280 limit words.252 in range -> yellow 550",
                     "1792 limit words.252 yellow -> red 700",
                     "2304 limit words.252 red -> in range " + back, "2560 acknowledge words.252",
                     "2816 limit words.252 in range -> yellow 550", "2816 acknowledge words.252",
                     "3072 limit words.252 yellow -> red 700"}));
}

// The bell rings at a new red only, and only when asked for.
TEST_F(Alarms, TheBellRingsAtANewRedWhenAskedFor) {
    for (bool bell : {false, true}) {
        SCOPED_TRACE(bell);
        begin();
        kx.alarms.bell = bell;
        start(LIMITS);
        run({550, 700, 700, NORMAL, 700, 550});
        EXPECT_EQ(seen().beeps, bell ? 2 : 0);
    }
}

// While a value stays out of range the list follows its times and worst
// value at most four times a second; in range, untouched, it is not written.
TEST_F(Alarms, TheListIsWrittenAtMostFourTimesASecond) {
    start(LIMITS);
    run(std::vector<double>(30, 700));
    // 30 frames of 0.133 s, the first within 0.25 s of the list's first
    // write (at the start): a write at every second frame.
    EXPECT_EQ(fake::calls_of("SetTableRow").size(), 15u);
    fake::clear_calls();
    run(std::vector<double>(30, NORMAL));
    EXPECT_EQ(fake::calls_of("SetTableRow").size(), 1u); // the frame that went back
    fake::clear_calls();
    run(std::vector<double>(30, NORMAL));
    EXPECT_EQ(fake::calls_of("SetTableRow").size(), 0u);
}

// A replay's jump takes the limits back to fresh states and checks again
// the frames the strip charts are filled with, as history: no bell for
// them.
TEST_F(Alarms, AReplaysJumpShowsTheAlarmsOfTheFramesBeforeItsNewPlace) {
    start(LIMITS);
    kx.alarms.bell = true;
    kx.transport.speed = SPEED_FASTEST;
    Bytes recording;
    for (int n = 0; n < 6; ++n)
        recording = joined(recording, next_frame(n == 2 ? 700 : NORMAL));
    std::FILE* file = file_of(recording);
    start_frames(SOURCE_REPLAY, file);
    const std::vector<int> paused(6, 0); // long enough for the list to be written
    const std::string latched = "bus current | back in range | 700 mA |  |  | 1 [0]";
    struct Step {
        std::vector<int> events;
        Texts rows;
        int beeps;
    };
    const Step steps[] = {
        {{0, 0, 0, 0, PANEL_PLAY}, {latched}, 1}, // frames 0 to 3, then paused
        {{PANEL_TO_START}, {}, 1},                // frame 0 shown again
        {{PANEL_TO_END}, {latched}, 1},           // frames 0 to 4 again, then 5
    };
    for (const Step& step : steps) {
        fake::push_events(step.events);
        fake::push_events(paused);
        EXPECT_EQ(service(PANEL, SOURCE_REPLAY, &store), 1);
        View v = seen();
        EXPECT_EQ(v.rows, step.rows);
        EXPECT_EQ(v.beeps, step.beeps);
        EXPECT_EQ(v.fields, (std::map<std::string, int>{{"PANEL_WORD_252", 0}}));
    }
    std::fclose(file);
}

struct StartCase {
    const char* name;
    std::optional<std::string> file; // kx-limits.toml in the working directory
    std::string err;                 // standard error; PATH stands for the file's
    std::string status;              // the status line after a frame
};

// clang-format off
const StartCase START_CASES[] = {
    {"no file: nothing said", std::nullopt, "", " "},
    {"a file with problems: none of it used",
     "[words.252]\nyellow_high = 700\nred_high = 600\n[words.7]\nred_low = 1\n",
     "kxview: PATH:2: words.252.yellow_high: 700 is above red_high 600\n"
     "kxview: PATH:4: words.7: not a value a limit can watch\n"
     "kxview: PATH: not used, running without limits\n",
     "PATH:2: words.252.yellow_high: 700 is above red_high 600 (and 1 more); running without limits"},
    {"an empty file: no limits", "", "", " "},
};
// clang-format on

std::string with_path(std::string text, const std::string& path) {
    for (size_t at; (at = text.find("PATH")) != std::string::npos;)
        text.replace(at, 4, path);
    return text;
}

// Without limits in force a spike changes nothing on the panel.
TEST_F(Alarms, ALimitsFileMissingOrRefusedLeavesNoLimits) {
    for (const StartCase& c : START_CASES) {
        SCOPED_TRACE(c.name);
        begin();
        std::remove("kx-limits.toml");
        EXPECT_EQ(start(c.file), with_path(c.err, path));
        EXPECT_EQ(fake::texts({"FindDataFile("}), Texts{R"(FindDataFile("kx-limits.toml"))"});
        run({700}, {}, false);
        EXPECT_EQ(seen(), (View{{}, {}, "COM1 - kxview", {}, 0, with_path(c.status, path)}));
        EXPECT_EQ(alarm_events(), Texts{});
    }
}

// Without a file at the start, one made in the working directory later is
// read within a second.
TEST_F(Alarms, AFileMadeAfterTheStartIsRead) {
    EXPECT_EQ(start(std::nullopt), "");
    run({});
    write_file("kx-limits.toml", LIMITS);
    EXPECT_EQ(run({}), "kxview: kx-limits.toml: 5 limits in force\n");
    run({700});
    EXPECT_EQ(seen().fields, (std::map<std::string, int>{{"PANEL_WORD_252", 2}}));
}

// A file changed on disk is read again within a second: the alarms stay,
// by value; lines of a limit that went are taken away. A new file with a
// problem leaves the limits in force.
TEST_F(Alarms, ReloadKeepsTheAlarmsAndABadFileKeepsTheLimits) {
    start(LIMITS);
    run({700, NORMAL});
    write_file("kx-limits.toml", "[words.10]\nred_low = 1\n\n[words.252]\nlabel = \"bus\"\n"
                                 "unit = \"mA\"\nred_high = 800\n");
    // The read that times out passes the second: the new file is read.
    EXPECT_EQ(run({}), "kxview: " + path + ": 2 limits in force\n");
    View v = seen();
    EXPECT_EQ(v.rows, Texts{"bus | back in range | 700 mA | 2026-03-04 05:06:07 | "
                            "2026-03-04 05:06:07 | 1 [0]"});
    EXPECT_EQ(v.lines, (std::map<std::string, std::string>{}));
    run({700}); // within the new file's red_high of 800
    EXPECT_EQ(seen().fields, (std::map<std::string, int>{{"PANEL_WORD_252", 0}}));
    write_file("kx-limits.toml", "[words.252]\nred_high = 800\nyellow_high = 900\n");
    const std::string problem = path + ":3: words.252.yellow_high: 900 is above red_high 800";
    EXPECT_EQ(run({}), "kxview: " + problem + "\nkxview: " + path +
                           ": not used, keeping the limits read before\n");
    run({900}, {}, false);
    v = seen();
    EXPECT_EQ(v.fields, (std::map<std::string, int>{{"PANEL_WORD_252", 2}}));
    EXPECT_EQ(v.status, problem + "; keeping the limits read before");
    EXPECT_EQ(v.title, "COM1 - 1 alarm - kxview");
}

} // namespace
