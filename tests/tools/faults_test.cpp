// Faults on request: what each does to the bytes, and that none hides a good
// record from a reader resynchronising on 0xEB 0x90.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "faults.h"
#include "frame_format.h"
#include "instrument.h"

namespace {

using Bytes = std::vector<unsigned char>;

// One simulated frame and what the faults made of it.
struct Emission {
    Bytes frame;
    Bytes out;
};

std::vector<Emission> emissions(uint64_t seed, const FaultRates& rates, int count,
                                FaultTally* tally) {
    Instrument instrument(1, 0.1);
    FaultInjector faults(seed, rates);
    std::vector<Emission> result(count);
    for (Emission& e : result) {
        e.frame.resize(FRAME_SIZE);
        instrument.next_frame(e.frame.data());
        faults.emit(e.frame.data(), &e.out, tally);
    }
    return result;
}

// A valid frame whose checksum's low byte, its last byte, is 0xEB.
std::array<unsigned char, FRAME_SIZE> frame_ending_in_eb() {
    std::array<unsigned char, FRAME_SIZE> frame{};
    frame[0] = 0xEB;
    frame[1] = 0x90;
    frame[253] = 0x5B; // 0xEB90 + 0x5B = 0xEBEB
    frame[254] = 0xEB;
    frame[255] = 0xEB;
    return frame;
}

} // namespace

TEST(Faults, NoneAskedLeavesRecordsWhole) {
    FaultTally tally;
    for (const Emission& e : emissions(2, FaultRates{}, 50, &tally))
        ASSERT_EQ(e.out, e.frame);
    EXPECT_EQ(tally.records, 50);
    EXPECT_EQ(tally.good, 50);
    EXPECT_EQ(tally.corrupted + tally.dropped + tally.junk_runs + tally.junk_bytes, 0);
}

TEST(Faults, CorruptedRecordDiffersInOneByteAndFailsItsChecksum) {
    FaultTally tally;
    for (const Emission& e : emissions(3, FaultRates{1.0, 0.0, 0.0}, 300, &tally)) {
        ASSERT_EQ(e.out.size(), 256u);
        int changed = 0;
        for (int b = 0; b < FRAME_SIZE; ++b)
            changed += e.out[b] != e.frame[b];
        EXPECT_EQ(changed, 1);
        EXPECT_FALSE(checksum_ok(e.out.data()));
    }
    EXPECT_EQ(tally.corrupted, 300);
    EXPECT_EQ(tally.good, 0);
}

TEST(Faults, DroppedRecordIsAShortPrefix) {
    FaultTally tally;
    for (const Emission& e : emissions(4, FaultRates{0.0, 0.0, 1.0}, 300, &tally)) {
        ASSERT_GE(e.out.size(), 2u);
        ASSERT_LT(e.out.size(), 256u);
        EXPECT_EQ(e.out, Bytes(e.frame.begin(), e.frame.begin() + e.out.size()));
    }
    EXPECT_EQ(tally.dropped, 300);
}

TEST(Faults, JunkComesBetweenRecordsOnly) {
    FaultTally tally;
    size_t total = 0, index = 0;
    for (const Emission& e : emissions(5, FaultRates{0.0, 1.0, 0.0}, 100, &tally)) {
        size_t junk = e.out.size() - FRAME_SIZE;
        EXPECT_GE(junk, index == 0 ? 0u : 1u);
        EXPECT_LE(junk, index == 0 ? 0u : static_cast<size_t>(JUNK_MAX));
        EXPECT_EQ(Bytes(e.out.end() - FRAME_SIZE, e.out.end()), e.frame);
        total += e.out.size();
        ++index;
    }
    EXPECT_EQ(tally.junk_runs, 99);
    EXPECT_EQ(static_cast<size_t>(tally.junk_bytes), total - 100 * FRAME_SIZE);
}

TEST(Faults, RatesAreKeptOverManyRecords) {
    FaultTally tally;
    size_t total = 0;
    for (const Emission& e : emissions(6, FaultRates{0.1, 0.2, 0.05}, 10000, &tally))
        total += e.out.size();
    EXPECT_NEAR(static_cast<double>(tally.dropped), 500, 75);
    EXPECT_NEAR(static_cast<double>(tally.corrupted), 950, 100); // 0.1 of those not dropped
    EXPECT_NEAR(static_cast<double>(tally.junk_runs), 2000, 150);
    EXPECT_EQ(tally.good + tally.corrupted + tally.dropped, 10000);
    auto whole = static_cast<size_t>(256 * (tally.good + tally.corrupted) + tally.junk_bytes);
    auto dropped = static_cast<size_t>(tally.dropped);
    EXPECT_GE(total, whole + 2 * dropped);
    EXPECT_LE(total, whole + 255 * dropped);
}

TEST(Faults, RegressionFaultEndingIn0xEBWouldHideTheNextRecord) {
    std::array<unsigned char, FRAME_SIZE> frame = frame_ending_in_eb();
    ASSERT_TRUE(checksum_ok(frame.data()));
    FaultInjector corrupting(7, FaultRates{1.0, 0.0, 0.0});
    FaultInjector dropping(8, FaultRates{0.0, 0.0, 1.0});
    FaultInjector junking(9, FaultRates{0.0, 1.0, 0.0});
    std::array<unsigned char, FRAME_SIZE> all_eb = frame;
    for (int b = 2; b < FRAME_SIZE; ++b)
        all_eb[b] = 0xEB;
    FaultTally tally;
    for (int i = 0; i < 200; ++i) {
        Bytes corrupted, dropped, junked;
        corrupting.emit(frame.data(), &corrupted, &tally);
        EXPECT_NE(corrupted.back(), 0xEB);
        EXPECT_FALSE(checksum_ok(corrupted.data()));
        dropping.emit(all_eb.data(), &dropped, &tally);
        EXPECT_EQ(dropped.size(), 2u); // only byte 1, 0x90, may end it
        junking.emit(frame.data(), &junked, &tally);
        if (i > 0) {
            EXPECT_NE(junked[junked.size() - FRAME_SIZE - 1], 0xEB);
        }
    }
}
