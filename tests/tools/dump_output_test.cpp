// The batch decoder's text for golden frames, against output written by hand
// from the frame layout (tests/fixtures/kxdump_golden.jsonl).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dump_output.h"
#include "files.h"
#include "frames.h"

namespace {

const char* const GOLDEN_FRAMES[] = {"kxdump_mode0.hex", "kxdump_mode1.hex", "kxdump_mode2.hex",
                                     "kxdump_mode3.hex"};

std::vector<std::string> golden_lines() {
    return lines_of(read_file(std::string(KX_FIXTURES) + "/kxdump_golden.jsonl"));
}

FrameValues decoded(const char* fixture) {
    Frame frame = fixture_frame(fixture);
    FrameValues values;
    decode_frame(frame.data(), &values);
    return values;
}

SpectrumStore golden_store() {
    SpectrumStore store{};
    init(&store);
    for (const char* fixture : GOLDEN_FRAMES)
        accumulate_counts(&store, decoded(fixture), 1);
    return store;
}

std::vector<std::string> fields_of(const std::string& row) {
    std::vector<std::string> fields(1);
    for (char c : row) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

// The start of `text`, as long as `expected`.
std::string start_of(const std::string& text, const std::string& expected) {
    return text.substr(0, expected.size());
}

} // namespace

TEST(DumpJson, EveryModeGivesTheGoldenLine) {
    std::vector<std::string> expected = golden_lines();
    ASSERT_EQ(expected.size(), 5u);
    for (int i = 0; i < 4; ++i) {
        TextBuffer line_text;
        append_json_frame(line_text, FramePlace{i, 256 * i, 0}, decoded(GOLDEN_FRAMES[i]));
        std::string line(line_text.view());
        EXPECT_EQ(line, expected[i] + "\n") << GOLDEN_FRAMES[i];
    }
}

TEST(DumpJson, PlaceFieldsComeFirst) {
    TextBuffer line_text;
    append_json_frame(line_text, FramePlace{7, 1234567890123, 2147483647},
                      decoded("kxdump_mode1.hex"));
    std::string line(line_text.view());
    std::string expected =
        R"({"frame": 7, "offset": 1234567890123, "skipped": 2147483647, "mode": 1, )";
    EXPECT_EQ(start_of(line, expected), expected);
}

TEST(DumpJson, SummaryGivesTheGoldenLine) {
    TextBuffer line_text;
    append_json_summary(line_text, golden_store(), 4, 0);
    std::string line(line_text.view());
    EXPECT_EQ(line, golden_lines()[4] + "\n");
}

TEST(DumpJson, SummaryOfNoFramesPlotsZeroEverywhere) {
    SpectrumStore store{};
    init(&store);
    TextBuffer line_text;
    append_json_summary(line_text, store, 0, 300);
    std::string line(line_text.view());
    std::string zeros;
    for (int n = 0; n < CHANNEL_COUNT; ++n)
        zeros += n == 0 ? "0" : ", 0";
    std::string expected =
        R"({"summary": {"frames": 0, "skipped": 300, "mode_frames": [0, 0, 0, 0], )";
    EXPECT_EQ(start_of(line, expected), expected);
    EXPECT_EQ(line.substr(line.size() - zeros.size() - 4), zeros + "]}}\n");
}

TEST(DumpCsv, HeaderNamesEveryColumn) {
    TextBuffer header_text;
    append_csv_header(header_text);
    std::string header(header_text.view());
    std::vector<std::string> names = fields_of(header.substr(0, header.size() - 1));
    ASSERT_EQ(names.size(), 15u + 20u + 80u + 52u);
    std::string expected = "frame,offset,skipped,mode,counter,counter_value,time,"
                           "words_10,words_12,words_14,words_244,words_252,"
                           "scaled_246,scaled_248,scaled_250,rates_0,rates_1,";
    EXPECT_EQ(start_of(header, expected), expected);
    EXPECT_EQ(names[34], "rates_19");
    EXPECT_EQ(names[35], "groups_0");
    EXPECT_EQ(names[114], "groups_79");
    EXPECT_EQ(names[115], "counts_0");
    EXPECT_EQ(names[166], "counts_51");
    EXPECT_EQ(header.back(), '\n');
}

TEST(DumpCsv, RowsLeaveOutWhatTheModeDoesNotCarry) {
    TextBuffer mode0_text, mode1_text;
    append_csv_frame(mode0_text, FramePlace{0, 0, 0}, decoded("kxdump_mode0.hex"));
    append_csv_frame(mode1_text, FramePlace{1, 300, 44}, decoded("kxdump_mode1.hex"));
    std::string mode0(mode0_text.view()), mode1(mode1_text.view());
    std::string expected0 = "0,0,0,0,1234567,1234.567,,258,4660,65534,65535,42,"
                            "-9.999999747378752e-05,0.1234000027179718,-3.2767999172210693,2748,";
    std::string expected1 = "1,300,44,1,45296789,,12:34:56.8,258,4660,65534,65535,42,"
                            "-0.10000000149011612,123.4000015258789,,2748,";
    EXPECT_EQ(start_of(mode0, expected0), expected0);
    EXPECT_EQ(start_of(mode1, expected1), expected1);
    std::vector<std::string> fields = fields_of(mode1.substr(0, mode1.size() - 1));
    ASSERT_EQ(fields.size(), 167u);
    EXPECT_EQ(fields[34], "4095");   // rates_19
    EXPECT_EQ(fields[111], "65535"); // groups_76
    EXPECT_EQ(fields[114], "128");   // groups_79
    EXPECT_EQ(fields[116], "4095");  // counts_1
    EXPECT_EQ(fields[166], "0");     // counts_51
}

TEST(DumpSpectrumCsv, OneRowPerChannelWithItsBinAndNormalisedValue) {
    TextBuffer csv_text;
    append_spectrum_csv(csv_text, golden_store());
    std::string csv(csv_text.view());
    std::vector<std::string> lines = lines_of(csv);
    ASSERT_EQ(lines.size(), 209u);
    EXPECT_EQ(lines[0], "channel,mode,bin,position,width,counts,normalised");
    EXPECT_EQ(lines[1], "0,0,0,1,2,1000,208.33333");
    EXPECT_EQ(lines[2], "1,0,1,3,2,0,0");
    EXPECT_EQ(lines[54], "53,1,1,156,4,4095,426.56247");
    EXPECT_EQ(lines[155], "154,2,50,1574,32,1,0.013020833");
    EXPECT_EQ(lines[157], "156,3,0,1638,32,2748,35.78125");
    EXPECT_EQ(lines[208], "207,3,51,4086,64,0,0");
}

TEST(TextBuffer, GrowsWithoutLosingTextAndClearsForReuse) {
    TextBuffer out;
    std::string expected;
    for (int i = 0; i < 40000; ++i) {
        int value = i * 7919 - 100000;
        out.number(value);
        out.character(',');
        expected += std::to_string(value) + ',';
    }
    EXPECT_EQ(out.view(), expected);
    out.clear();
    EXPECT_EQ(out.size(), 0u);
    out.text("x=");
    out.number(0.1);
    out.text(" y=");
    out.number(1.0f / 3.0f);
    out.text(" z=");
    out.number(-9.999999747378752e-05);
    EXPECT_EQ(out.view(), "x=0.1 y=0.33333334 z=-9.999999747378752e-05");
}
