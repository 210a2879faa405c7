// The journal beside a recording, as kxsim writes it and kxdump uses it:
// arrival times at the line's pace, windows of times and frame numbers,
// events and notes, and what kxdump says of a journal missing or not
// matching its recording.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "files.h"
#include "tool_programs.h"

namespace {

// A recording with every fault, 12 records: 8 good frames, 2 corrupted
// records, 2 that lost their tail, junk before 4; and two notes.
const std::vector<std::string> SIM = {"kxsim",
                                      "--out",
                                      "rec.dat",
                                      "--count",
                                      "12",
                                      "--seed",
                                      "3",
                                      "--bad",
                                      "0.2",
                                      "--junk",
                                      "0.2",
                                      "--drop",
                                      "0.1",
                                      "--start-time",
                                      "2026-12-07T14:32:00Z",
                                      "--note",
                                      "2:heater on",
                                      "--note",
                                      "0:say \"hi\" \\ ok"};

const std::string T = "2026-12-07T14:32:";

std::string line(const std::string& time, int offset, const std::string& kind,
                 const std::string& text = "") {
    return T + time + "\t" + std::to_string(offset) + "\t" + kind + "\t" + text + "\n";
}

// A frame a line's period (0.1333 s) after the record before, dropped
// records counted; each record starts after the junk before it.
const std::string JOURNAL =
    "time\toffset\tkind\ttext\n" +
    line("00.000000Z", 0, "start",
         "kxsim " KX_VERSION " --seed 3 --bad 0.2 --junk 0.2 --drop 0.1") +
    line("00.133333Z", 0, "frame") + line("00.133333Z", 256, "note", "say \"hi\" \\ ok") +
    line("00.400000Z", 271, "frame") + line("00.533333Z", 584, "frame") +
    line("00.533333Z", 840, "note", "heater on") + line("00.800000Z", 1027, "frame") +
    line("00.933333Z", 1283, "frame") + line("01.066667Z", 1539, "bad") +
    line("01.200000Z", 1806, "bad") + line("01.333333Z", 2062, "frame") +
    line("01.466667Z", 2376, "frame") + line("01.600000Z", 2694, "frame");

class Recording {
  public:
    Recording() {
        ProgramResult made = run(SIM, {.directory = scratch_.root()});
        EXPECT_EQ(made.status, 0) << made.err;
    }
    std::string operator/(const std::string& name) const { return scratch_ / name; }
    // kxdump run in the recording's folder.
    ProgramResult dump(std::vector<std::string> args, ChildSetup setup = {}) const {
        args.insert(args.begin(), "kxdump");
        setup.directory = scratch_.root();
        return run(args, setup);
    }

  private:
    ScratchDirectory scratch_;
};

// Of kxdump's JSON output, each frame's number and arrival ("-" without
// one), then the summary's frame count.
std::string frames_of(const std::string& out) {
    std::istringstream lines(out);
    std::string text, shown;
    const std::string frame = "{\"frame\": ", arrival = "\"arrival\": ", summary = "\"frames\": ";
    while (std::getline(lines, text)) {
        if (text.starts_with(frame)) {
            shown += text.substr(frame.size(), text.find(',') - frame.size());
            size_t at = text.find(arrival);
            shown += at == std::string::npos
                         ? " -"
                         : " " + text.substr(at + arrival.size(),
                                             text.find(',', at) - at - arrival.size());
            shown += "\n";
        } else if (size_t at = text.find(summary); at != std::string::npos) {
            shown += "summary " +
                     text.substr(at + summary.size(), text.find(',', at) - at - summary.size());
        }
    }
    return shown;
}

// The frame lines of a window: "N -" each.
std::string untimed_frames(const std::vector<int>& frames) {
    std::string shown;
    for (int n : frames)
        shown += std::to_string(n) + " -\n";
    return shown + "summary " + std::to_string(frames.size());
}

std::string summary_from_mode_frames(const std::string& out) {
    return out.substr(out.find("\"mode_frames\""));
}

} // namespace

TEST(KxsimJournal, TimesRecordsAtTheLinesPaceWhereTheyStartWithTheNotes) {
    Recording first, again;
    EXPECT_EQ(read_file(first / "rec.tsv"), JOURNAL);
    EXPECT_EQ(read_file(again / "rec.tsv"), JOURNAL);
    EXPECT_EQ(read_file(again / "rec.dat"), read_file(first / "rec.dat"));
    std::vector<std::string> late = SIM;
    late.back() = "8:after the last frame";
    ScratchDirectory scratch;
    EXPECT_EQ(outcome(run(late, {.directory = scratch.root()})),
              outcome(1, "",
                      "kxsim: 12 records: 8 good, 2 corrupted, 2 dropped; 4 junk runs, 188 junk "
                      "bytes\nkxsim: no note after frame 8: the recording holds 8 frames\n"));
}

// Both ends are inclusive; a time window holds the frames that came in it,
// a frame window the frames so numbered; they mix.
TEST(KxdumpJournal, WindowsHoldExactlyTheFramesThatCameInThem) {
    Recording rec;
    ProgramResult timed = rec.dump({"--times", "rec.dat"});
    EXPECT_EQ(outcome(timed.status, frames_of(timed.out), timed.err),
              outcome(0,
                      "0 \"" + T + "00.133333Z\"\n1 \"" + T + "00.400000Z\"\n2 \"" + T +
                          "00.533333Z\"\n3 \"" + T + "00.800000Z\"\n4 \"" + T +
                          "00.933333Z\"\n5 \"" + T + "01.333333Z\"\n6 \"" + T +
                          "01.466667Z\"\n7 \"" + T + "01.600000Z\"\nsummary 8",
                      ""));
    const std::pair<std::vector<std::string>, std::vector<int>> windows[] = {
        {{"--from", T + "00.4Z", "--to", T + "00.933333Z"}, {1, 2, 3, 4}},
        {{"--from", T + "00.400001Z", "--to", T + "00.933332Z"}, {2, 3}},
        {{"--from", T + "01Z"}, {5, 6, 7}},
        {{"--to", T + "00.2Z"}, {0}},
        {{"--from", "2026-12-07T15:00:00Z"}, {}},
        {{"--from", "#3", "--to", "#5"}, {3, 4, 5}},
        {{"--from=#6"}, {6, 7}},
        {{"--to", "#0"}, {0}},
        {{"--from", "#2", "--to", T + "00.9Z"}, {2, 3}},
    };
    for (const auto& [window, frames] : windows) {
        std::vector<std::string> args = window;
        args.push_back("rec.dat");
        ProgramResult r = rec.dump(args);
        SCOPED_TRACE(window[0] + " " + window.back());
        EXPECT_EQ(outcome(r.status, frames_of(r.out), r.err),
                  outcome(0, untimed_frames(frames), ""));
    }
    // A window's summary is its frames' alone: as decoding only their bytes
    // (frames 3 to 5, from 1027 to 2062 + 256, the bad records between) gives it.
    std::string bytes = read_file(rec / "rec.dat");
    write_file(rec / "cut.dat", bytes.substr(1027, 2062 + 256 - 1027));
    EXPECT_EQ(summary_from_mode_frames(
                  rec.dump({"--summary", "--from", "#3", "--to", T + "01.4Z", "rec.dat"}).out),
              summary_from_mode_frames(rec.dump({"--summary", "cut.dat"}).out));
    ProgramResult csv = rec.dump({"--csv", "--times", "--to", "#0", "rec.dat"});
    EXPECT_TRUE(csv.out.starts_with(
        "frame,offset,arrival,skipped,mode,counter,counter_value,time,words_10,"))
        << csv.out;
    EXPECT_NE(csv.out.find("\n0,0," + T + "00.133333Z,0,0,"), std::string::npos) << csv.out;
}

// Text that JSON cannot hold as it is, escaped; a byte that is no UTF-8
// replaced. kxview's limit events, and a kind no version writes yet, are
// events like the others.
TEST(KxdumpJournal, EventsAreTheJournalsEventsAndNotesAsJsonLines) {
    Recording rec;
    const std::string start = "{\"time\": \"" + T +
                              "00.000000Z\", \"offset\": 0, \"kind\": \"start\", \"text\": "
                              "\"kxsim " KX_VERSION
                              " --seed 3 --bad 0.2 --junk 0.2 --drop 0.1\"}\n",
                      say = "{\"time\": \"" + T +
                            "00.133333Z\", \"offset\": 256, \"kind\": \"note\", \"text\": \"say "
                            "\\\"hi\\\" \\\\ ok\"}\n",
                      heater = "{\"time\": \"" + T +
                               "00.533333Z\", \"offset\": 840, \"kind\": \"note\", \"text\": "
                               "\"heater on\"}\n";
    EXPECT_EQ(outcome(rec.dump({"--events", "rec.dat"})), outcome(0, start + say + heater, ""));
    EXPECT_EQ(outcome(rec.dump({"--events", "--from", T + "00.2Z", "rec.dat"})),
              outcome(0, heater, ""));
    write_file(rec / "odd.tsv", "time\toffset\tkind\ttext\n" +
                                    line("02Z", 9, "note", "\x01 caf\xc3\xa9 \xff \xed\xa0\x80.") +
                                    line("03Z", 9, "limit", "words.252 in range -> red 700") +
                                    line("04Z", 9, "acknowledge", "words.252") +
                                    line("05Z", 9, "from-a-later-kxview", "x"));
    auto event = [](const std::string& second, const std::string& kind, const std::string& text) {
        return "{\"time\": \"" + T + second + ".000000Z\", \"offset\": 9, \"kind\": \"" + kind +
               "\", \"text\": \"" + text + "\"}\n";
    };
    EXPECT_EQ(outcome(rec.dump({"--events", "--journal", "odd.tsv", "rec.dat"})),
              outcome(0,
                      event("02", "note", "\\u0001 caf\xc3\xa9 \\ufffd \\ufffd\\ufffd\\ufffd.") +
                          event("03", "limit", "words.252 in range -> red 700") +
                          event("04", "acknowledge", "words.252") +
                          event("05", "from-a-later-kxview", "x"),
                      ""));
}

// Never an empty output that looks like success; a window of frame numbers
// needs no journal.
TEST(KxdumpJournal, AnOptionThatNeedsAJournalFindingNoneExits2) {
    Recording rec;
    std::rename((rec / "rec.tsv").c_str(), (rec / "other.tsv").c_str());
    auto none = [](const std::string& option, const std::string& why) {
        return "kxdump: " + option + " needs a journal, and " + why +
               ": name one with --journal FILE\n";
    };
    const std::string beside = "there is no rec.tsv beside the recording";
    struct Case {
        std::vector<std::string> args;
        std::string outcome;
        ChildSetup setup = {};
    };
    const Case cases[] = {
        {{"--times", "rec.dat"}, outcome(2, "", none("--times", beside))},
        {{"--events", "rec.dat"}, outcome(2, "", none("--events", beside))},
        {{"--from", T + "00Z", "rec.dat"}, outcome(2, "", none("--from", beside))},
        {{"--to", T + "00Z", "--spectrum", "s.csv", "rec.dat"},
         outcome(2, "", none("--to", beside))},
        {{"--times", "-"},
         outcome(2, "", none("--times", "standard input has none beside it")),
         {.in_path = rec / "rec.dat"}},
        {{"--times", "other.tsv"},
         outcome(2, "", none("--times", "other.tsv is the recording itself"))},
        {{"--times", "--journal", "no.tsv", "rec.dat"},
         outcome(1, "", "kxdump: cannot open no.tsv: No such file or directory\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        EXPECT_EQ(outcome(rec.dump(c.args, c.setup)), c.outcome);
    }
    EXPECT_FALSE(entry_exists(rec / "s.csv"));
    ProgramResult frames = rec.dump({"--from", "#6", "rec.dat"});
    EXPECT_EQ(outcome(frames.status, frames_of(frames.out), frames.err),
              outcome(0, untimed_frames({6, 7}), ""));
    ProgramResult named = rec.dump({"--times", "--to", "#0", "--journal", "other.tsv", "rec.dat"});
    EXPECT_EQ(outcome(named.status, frames_of(named.out), named.err),
              outcome(0, "0 \"" + T + "00.133333Z\"\nsummary 1", ""));
}

// The recording cut short by hand, a line of garbage, the clock stepped back
// and a torn last line: each reported with its line, the rest used; a
// frame's time is what the journal says, even stepped back.
TEST(KxdumpJournal, AJournalThatDoesNotMatchIsReportedByLineAndWhatIsUsableIsUsed) {
    Recording rec;
    std::string journal = JOURNAL;
    auto replace = [&](const std::string& from, const std::string& to) {
        journal.replace(journal.find(from), from.size(), to);
    };
    replace(line("00.533333Z", 584, "frame"), "garbage\n");
    replace(line("01.333333Z", 2062, "frame"), "2026-12-07T14:31:59Z\t2062\tframe\t\n");
    journal += T + "01.7";
    write_file(rec / "rec.tsv", journal);
    write_file(rec / "rec.dat", read_file(rec / "rec.dat").substr(0, 2900));
    const std::string problems = "kxdump: rec.tsv: line 6: not a journal line\n"
                                 "kxdump: rec.tsv: line 12: time earlier than the line above\n"
                                 "kxdump: rec.tsv: line 14: offset 2694 past the recording's end "
                                 "(2900 bytes)\n"
                                 "kxdump: rec.tsv: line 15: torn: the journal ends inside it\n";
    // Of the frames read: reading stops past the last record that came by --to.
    auto untimed = [](int read) {
        return "kxdump: rec.tsv: no arrival time for 1 of " + std::to_string(read) +
               " frames: no line at their offset\n";
    };
    ProgramResult all = rec.dump({"--times", "rec.dat"});
    EXPECT_EQ(outcome(all.status, frames_of(all.out), all.err),
              outcome(0,
                      "0 \"" + T + "00.133333Z\"\n1 \"" + T + "00.400000Z\"\n2 null\n3 \"" + T +
                          "00.800000Z\"\n4 \"" + T +
                          "00.933333Z\"\n5 \"2026-12-07T14:31:59.000000Z\"\n6 \"" + T +
                          "01.466667Z\"\nsummary 7",
                      problems + untimed(7)));
    // Frame 2 has no time, so no window of times holds it; frame 5, stepped
    // back, is in the window though frame 4 before it is not.
    ProgramResult window = rec.dump({"--to", T + "00.9Z", "rec.dat"});
    EXPECT_EQ(outcome(window.status, frames_of(window.out), window.err),
              outcome(0, untimed_frames({0, 1, 3, 5}), problems + untimed(6)));
    write_file(rec / "rec.tsv", "offset,kind\n0,frame\n");
    EXPECT_EQ(outcome(rec.dump({"--times", "rec.dat"})),
              outcome(1, "",
                      "kxdump: rec.tsv: line 1: not a journal's header\n"
                      "kxdump: rec.tsv: line 2: not a journal line\n"
                      "kxdump: rec.tsv: not a line of it is usable\n"));
}
