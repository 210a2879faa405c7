// The simulator: its random numbers, an instrument whose frames decode to
// what its model says, faults that go out as tallied, the journal of its
// recordings, and its line.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "accumulator.h"
#include "faults.h"
#include "files.h"
#include "frame_values.h"
#include "instrument.h"
#include "journal_reader.h"
#include "pty_link.h"
#include "record_reader.h"
#include "sim_journal.h"
#include "sim_records.h"

namespace {

constexpr double LINE_PERIOD = 256 * 10 / 19200.0;

using Bytes = std::vector<unsigned char>;

std::vector<FrameValues> decoded_run(uint64_t seed, int count, double period = LINE_PERIOD) {
    Instrument instrument(seed, period);
    std::vector<FrameValues> values(count);
    Bytes frame(FRAME_SIZE);
    for (FrameValues& v : values) {
        instrument.next_frame(frame.data());
        EXPECT_TRUE(checksum_ok(frame.data()));
        decode_frame(frame.data(), &v);
    }
    return values;
}

} // namespace

TEST(SimRandom, IsSplitmix64AndBetweenTakesEveryValueOfItsRange) {
    SimRandom random(0);
    EXPECT_EQ(random.next(), 0xE220A8397B1DCDAFull);
    EXPECT_EQ(random.next(), 0x6E789E6AA1B965F4ull);
    std::set<int> seen;
    for (int i = 0; i < 1000; ++i)
        seen.insert(random.between(-2, 1));
    EXPECT_EQ(seen, (std::set<int>{-2, -1, 0, 1}));
}

// Means within five standard errors, variances within 6 %.
TEST(SimRandom, PoissonHasItsMeanAndVariance) {
    SimRandom random(42);
    const int n = 20000;
    for (double mean : {0.5, 5.0, 35.0, 300.0, 3000.0}) {
        double sum = 0, squares = 0;
        for (int i = 0; i < n; ++i) {
            auto k = static_cast<double>(random.poisson(mean));
            sum += k;
            squares += k * k;
        }
        double m = sum / n;
        EXPECT_NEAR(m, mean, 5.0 * std::sqrt(mean / n)) << mean;
        EXPECT_NEAR((squares / n - m * m) / mean, 1.0, 0.06) << mean;
    }
    EXPECT_EQ(random.poisson(0.0), 0);
}

// Housekeeping words 10, 12, 14, 244 and 252 about their nominal values; the
// first scaled word +2.5 V in modes 0 and 2, the detector at -12.5 degrees in
// 1 and 3; per segment: events, the live time they leave, the threshold and
// the temperature in quarter degrees. Accumulated: a falling continuum, and
// the 511 line in channel 107 (510-526), the 1461 line in 150 (1446).
TEST(Instrument, FramesDecodeToWhatTheModelSays) {
    const int nominal[] = {12000, 28000, 5010, 29815, 420};
    const int spread[] = {40, 300, 30, 600, 50};
    Instrument instrument(3, LINE_PERIOD);
    std::array<unsigned char, FRAME_SIZE> f;
    SpectrumStore store{};
    init(&store);
    for (int i = 0; i < 2000; ++i) {
        SCOPED_TRACE(i);
        instrument.next_frame(f.data());
        ASSERT_TRUE(checksum_ok(f.data()));
        EXPECT_EQ(
            (std::array{f[0], f[1], f[2], f[3], f[4], static_cast<unsigned char>(f[5] & 7)}),
            (std::array<unsigned char, 6>{0xEB, 0x90, 0x4B, 0x01, static_cast<unsigned char>(i),
                                          static_cast<unsigned char>(4 | i % 4)}));
        FrameValues v;
        decode_frame(f.data(), &v);
        const int words[] = {v.word_10, v.word_12, v.word_14, v.word_244, v.word_252};
        for (int w = 0; w < 5; ++w)
            EXPECT_NEAR(words[w], nominal[w], spread[w]) << w;
        bool fine = v.mode == 0 || v.mode == 2;
        EXPECT_NEAR(v.scaled[0], fine ? 2.5 : -12.5, fine ? 0.01 : 3.0);
        if (v.mode == 1) {
            EXPECT_TRUE(v.counter >= 0 && v.counter < 86400000) << v.counter; // time of day
        }
        if (v.mode == 3) {
            EXPECT_NEAR(v.counter_value, 0.0, 120.0); // elevation, degrees
        }
        EXPECT_TRUE(
            std::all_of(v.rates, v.rates + RATE_COUNT, [](int r) { return r > 100 && r < 2000; }));
        for (int g = 0; g < GROUP_COUNT; ++g) {
            const uint16_t* segment = v.groups + 4 * g;
            EXPECT_EQ(segment[1], 1000 - std::floor(segment[0] * 0.02 + 0.5));
            EXPECT_EQ(segment[2], 40 + g);
            EXPECT_NEAR(segment[3], 4 * (v.word_244 / 100.0 - 273.15 + 0.5 * g), 1.0);
        }
        accumulate_counts(&store, v, 1);
    }
    float plot[CHANNEL_COUNT];
    normalise(&store, plot);
    const int falls[][2] = {{0, 30}, {30, 77}, {100, 140}, {140, 207}};
    for (const auto& [high, low] : falls)
        EXPECT_GT(plot[high], plot[low]) << high;
    EXPECT_GT(plot[207], 0.0f);
    const int peaks[][2] = {{107, 104}, {107, 111}, {150, 146}, {150, 154}};
    for (const auto& [line, beside] : peaks)
        EXPECT_GT(plot[line], 2.0f * plot[beside]) << beside;
}

// Counters four frames apart: modes 0 and 1 count milliseconds, mode 2's spin
// phase turns 36 degrees a second, whole turns a frame not showing.
TEST(Instrument, ClocksAdvanceWithTheFramePeriod) {
    struct Case {
        double period;
        int first;
        double step, tolerance;
    };
    const Case cases[] = {{LINE_PERIOD, 0, 533.5, 0.5},
                          {LINE_PERIOD, 1, 533.5, 0.5},
                          {LINE_PERIOD, 2, 19.2, 0.01},
                          {0.5, 0, 2000, 1},
                          {10.25, 2, 36.0, 0.01}}; // 369 degrees a frame
    for (const Case& c : cases) {
        std::vector<FrameValues> v = decoded_run(5, c.first + 5, c.period);
        const FrameValues &a = v[c.first], &b = v[c.first + 4];
        double step = a.mode == 2 ? std::fmod(b.counter_value - a.counter_value + 360.0, 360.0)
                                  : b.counter - a.counter;
        EXPECT_NEAR(step, c.step, c.tolerance) << c.period << " " << c.first;
    }
}

// Each record as the tally says it went out: junk first (1 to JUNK_MAX bytes
// not ending in 0xEB, never before the first record), then the record whole,
// with one byte changed so that its checksum fails, or cut short to at least
// two bytes.
TEST(Faults, EachRecordGoesOutAsTalliedAtTheRatesAsked) {
    struct Case {
        FaultRates rates; // bad, junk, drop
        int records;
        int64_t good, corrupted, dropped, junk_runs, tolerance;
    };
    const Case cases[] = {{{0, 0, 0}, 50, 50, 0, 0, 0, 0},
                          {{1, 0, 0}, 300, 0, 300, 0, 0, 0},
                          {{0, 0, 1}, 300, 0, 0, 300, 0, 0},
                          {{0, 1, 0}, 100, 100, 0, 0, 99, 0},
                          {{0.1, 0.2, 0.05}, 10000, 8550, 950, 500, 2000, 120}};
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        Instrument instrument(1, 0.1);
        FaultInjector faults(6, c.rates);
        FaultTally t;
        Bytes frame(FRAME_SIZE);
        for (int i = 0; i < c.records; ++i) {
            instrument.next_frame(frame.data());
            FaultTally before = t;
            Bytes out;
            faults.emit(frame.data(), &out, &t);
            auto junk = static_cast<long>(t.junk_bytes - before.junk_bytes);
            bool junk_run = t.junk_runs > before.junk_runs;
            ASSERT_TRUE(junk_run ? junk >= 1 && junk <= JUNK_MAX : junk == 0) << junk;
            EXPECT_TRUE(junk == 0 || out[junk - 1] != SYNC_FIRST);
            bool corrupted = t.corrupted > before.corrupted, dropped = t.dropped > before.dropped;
            Bytes record(out.begin() + junk, out.end());
            ASSERT_EQ(record.size() < FRAME_SIZE, dropped) << record.size();
            ASSERT_GE(record.size(), 2u);
            int changed = 0;
            for (size_t b = 0; b < record.size(); ++b)
                changed += record[b] != frame[b];
            EXPECT_EQ(changed, corrupted ? 1 : 0);
            EXPECT_EQ(dropped || checksum_ok(record.data()), !corrupted);
        }
        EXPECT_EQ(t.records, c.records);
        EXPECT_EQ(t.good + t.corrupted + t.dropped, c.records);
        const int64_t got[][2] = {{t.good, c.good},
                                  {t.corrupted, c.corrupted},
                                  {t.dropped, c.dropped},
                                  {t.junk_runs, c.junk_runs}};
        for (const auto& [actual, expected] : got)
            EXPECT_LE(std::llabs(actual - expected), c.tolerance) << actual << " " << expected;
    }
}

// A record that is 0xEB from byte 2 on: no fault may end in 0xEB before the
// next record, where it would hide that record's sync pattern.
TEST(Faults, NoneEndsIn0xEB) {
    std::array<unsigned char, FRAME_SIZE> frame{0xEB, 0x90};
    std::fill(frame.begin() + 2, frame.end(), 0xEB);
    FaultInjector corrupting(7, {1, 0, 0}), dropping(8, {0, 0, 1}), junking(9, {0, 1, 0});
    FaultTally tally;
    for (int i = 0; i < 200; ++i) {
        Bytes corrupted, dropped, junked;
        corrupting.emit(frame.data(), &corrupted, &tally);
        dropping.emit(frame.data(), &dropped, &tally);
        junking.emit(frame.data(), &junked, &tally);
        EXPECT_NE(corrupted.back(), 0xEB);
        EXPECT_EQ(dropped, (Bytes{0xEB, 0x90}));
        if (junked.size() > FRAME_SIZE) {
            EXPECT_NE(junked[junked.size() - FRAME_SIZE - 1], 0xEB);
        }
    }
}

// kxsim's journal against the record reader over the same bytes: each good
// frame where the reader finds it, each corrupted record where the reader
// checks it (all corrupted: some lose their pattern while the reader scans,
// and it never checks them), and no line for junk or a lost tail.
TEST(SimJournal, NamesEachRecordWhereTheReaderChecksIt) {
    struct Case {
        bool random;
        FaultRates rates; // bad, junk, drop
    };
    const Case cases[] = {
        {false, {0.1, 0.2, 0.1}}, {true, {0.1, 0.2, 0.1}}, {false, {1, 0, 0}}, {true, {0, 1, 0}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        RecordOptions options{.random = c.random, .seed = 11, .faults = c.rates, .spikes = {}};
        Records records(options, LINE_PERIOD);
        std::FILE* journal_file = std::tmpfile();
        ASSERT_NE(journal_file, nullptr);
        Bytes recording;
        {
            SimJournal journal(journal_file, 0, "kxsim", {});
            for (int i = 0; i < 3000; ++i) {
                const Bytes& bytes = records.next();
                recording.insert(recording.end(), bytes.begin(), bytes.end());
                journal.record(records.last(), bytes);
            }
        }
        std::rewind(journal_file);
        JournalReading reading;
        read_journal(journal_file, static_cast<int64_t>(recording.size()), &reading);
        std::fclose(journal_file);
        EXPECT_EQ(reading.problems, std::vector<std::string>{});
        std::vector<int64_t> journal_offsets[2], reader_offsets[2]; // bad, good
        for (const JournalRecord& record : reading.records)
            journal_offsets[record.good].push_back(record.offset);
        std::FILE* bytes = fmemopen(recording.data(), recording.size(), "rb");
        static RecordReader reader;
        start_reading(&reader, bytes);
        unsigned char frame[FRAME_SIZE];
        for (int result; (result = next_record(&reader, frame)) >= 0;)
            if (result <= 1) reader_offsets[result == 0].push_back(record_offset(reader));
        std::fclose(bytes);
        EXPECT_EQ(journal_offsets[1], reader_offsets[1]);
        EXPECT_EQ(static_cast<int64_t>(journal_offsets[1].size()), records.tally().good);
        EXPECT_TRUE(std::includes(reader_offsets[0].begin(), reader_offsets[0].end(),
                                  journal_offsets[0].begin(), journal_offsets[0].end()));
        EXPECT_LE(static_cast<int64_t>(journal_offsets[0].size()), records.tally().corrupted);
        EXPECT_GE(static_cast<int64_t>(journal_offsets[0].size()),
                  records.tally().corrupted * 97 / 100);
    }
}

// What a reader leaves unread goes with it: a reader coming back starts at
// what is sent next, not in the middle of an old record.
TEST(PtyLink, AReaderComingBackStartsAtWhatIsSentNext) {
    ScratchDirectory scratch;
    const std::string name = scratch / "TTY";
    PtyLink link;
    std::string error;
    ASSERT_TRUE(link.open(name.c_str(), &error)) << error;
    const unsigned char old_bytes[] = {0x01, 0x02, 0x03}, next[] = {0xEB};
    int reader = open(name.c_str(), O_RDONLY | O_NOCTTY);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(link.send(old_bytes, 3, 1000), Delivery::sent);
    close(reader);
    EXPECT_EQ(link.send(next, 1, 1000), Delivery::no_reader);
    reader = open(name.c_str(), O_RDONLY | O_NOCTTY);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(link.send(next, 1, 1000), Delivery::sent);
    unsigned char first = 0;
    EXPECT_EQ(read(reader, &first, 1), 1);
    EXPECT_EQ(first, 0xEB);
    close(reader);
}
