// The journal's format and reading it back: times, names, and the problems a
// journal that does not match its recording gets, line by line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files.h"
#include "frames.h"
#include "journal_format.h"
#include "journal_reader.h"

namespace {

using Texts = std::vector<std::string>;

TEST(JournalFormat, TimesAndNames) {
    const int64_t T = 1772600767LL * 1000000; // 2026-03-04T05:06:07Z
    struct TimeCase {
        const char* text;
        int64_t micros; // -2: not a time
    };
    const TimeCase TIMES[] = {
        {"2026-03-04T05:06:07.000000Z", T},
        {"2026-03-04T05:06:07.5Z", T + 500000},
        {"2026-03-04T05:06:07Z", T},
        {"2026-03-04T05:06:07.12345678Z", T + 123456}, // beyond microseconds: cut
        {"1969-12-31T23:59:59.999999Z", -1},           // before 1970
        {"2026-03-04T05:06:07.Z", -2},
        {"2026-03-04 05:06:07Z", -2},
        {"2026-13-04T05:06:07Z", -2},
        {"2026-03-04T05:06:07", -2},
        {"2026-03-04T05:06:07Zx", -2},
        {"#12", -2},
    };
    for (const TimeCase& c : TIMES) {
        SCOPED_TRACE(c.text);
        int64_t micros = -2;
        bool parsed = parse_utc(c.text, &micros);
        EXPECT_EQ(parsed ? micros : -2, c.micros);
    }
    EXPECT_EQ(utc_text(T + 1), "2026-03-04T05:06:07.000001Z");
    EXPECT_EQ(utc_text(-1), "1969-12-31T23:59:59.999999Z");
    EXPECT_EQ(journal_line(T, 512, "note", "heater\ton\nnow"),
              "2026-03-04T05:06:07.000000Z\t512\tnote\theater on now\n");
    EXPECT_EQ(journal_path_for("varno.dat"), "varno.tsv");
    EXPECT_EQ(journal_path_for("runs/varno-20260304-050607-1.dat"),
              "runs/varno-20260304-050607-1.tsv");
    EXPECT_EQ(journal_path_for("runs.d/rec"), "runs.d/rec.tsv");
    EXPECT_EQ(journal_path_for(".hidden"), ".hidden.tsv");
}

const std::string HEADER = "time\toffset\tkind\ttext\n";
std::string row(int second, int64_t offset, const std::string& kind, const std::string& text = "") {
    return "2026-03-04T05:06:" + std::to_string(10 + second) + ".000000Z\t" +
           std::to_string(offset) + "\t" + kind + "\t" + text + "\n";
}

struct ReadCase {
    const char* name;
    std::string journal;
    int64_t recording_size;
    std::vector<int64_t> records; // offsets taken
    Texts events;                 // kinds taken
    Texts problems;
};

// clang-format off
const ReadCase READ_CASES[] = {
    {"a whole journal", HEADER + row(0, 0, "start", "kxview") + row(1, 0, "frame") +
         row(2, 256, "bad") + row(3, 257, "frame") + row(4, 513, "note", "heater on"),
     513 + 256, {0, 256, 257}, {"start", "note"}, {}},
    {"a torn last line after a crash", HEADER + row(0, 0, "frame") + "2026-03-04T05:06:1",
     512, {0}, {}, {"line 3: torn: the journal ends inside it"}},
    {"the log cut short by hand", HEADER + row(0, 0, "frame") + row(1, 256, "frame") + row(2, 500, "quit"),
     400, {0}, {}, {"line 3: offset 256 past the recording's end (400 bytes)",
                     "line 4: offset 500 past the recording's end (400 bytes)"}},
    {"no size known: every offset taken", HEADER + row(0, 9000, "frame"), -1, {9000}, {}, {}},
    {"a clock stepped back: kept, reported", HEADER + row(5, 0, "frame") + row(1, 256, "frame"),
     512, {0, 256}, {}, {"line 3: time earlier than the line above"}},
    {"overlapping records", HEADER + row(0, 0, "frame") + row(1, 100, "frame"),
     512, {0}, {}, {"line 3: offset 100 before the record above ends"}},
    {"not a journal", "offset,kind\n0,frame\n", 512, {}, {},
     {"line 1: not a journal's header", "line 2: not a journal line"}},
    {"empty", "", 512, {}, {}, {"line 1: empty: not even a header"}},
    // A power cut can leave a block of zeros where lines were being written.
    {"zeros in the middle", HEADER + std::string(10, '\0') + "\n" + row(0, 0, "frame"),
     512, {0}, {}, {"line 2: not a journal line"}},
    {"a line too long", HEADER + std::string(5000, 'x') + "\n" + row(0, 0, "frame"),
     512, {0}, {}, {"line 2: longer than a journal line"}},
};
// clang-format on

TEST(JournalReader, TakesWhatIsUsableAndReportsTheRestByLine) {
    for (const ReadCase& c : READ_CASES) {
        SCOPED_TRACE(c.name);
        std::FILE* file = file_of(Bytes(c.journal.begin(), c.journal.end()));
        JournalReading reading;
        read_journal(file, c.recording_size, &reading);
        std::fclose(file);
        std::vector<int64_t> records;
        for (const JournalRecord& r : reading.records)
            records.push_back(r.offset);
        Texts events;
        for (const JournalEvent& e : reading.events)
            events.push_back(e.kind);
        EXPECT_EQ(records, c.records);
        EXPECT_EQ(events, c.events);
        EXPECT_EQ(reading.problems, c.problems);
    }
}

} // namespace
