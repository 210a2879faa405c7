// The batch decoder's CSV. The JSON lines and the spectrum are checked where
// kxdump reads the golden recording; the CSV rows must carry the same values
// (tests/fixtures/kxdump_golden.jsonl).
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "dump_output.h"
#include "files.h"
#include "frames.h"

namespace {

FrameValues decoded(int mode) {
    Frame frame = fixture_frame("kxdump_mode" + std::to_string(mode) + ".hex");
    FrameValues values;
    decode_frame(frame.data(), &values);
    return values;
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

// The values of a JSON line in order, without the keys and quotes.
std::vector<std::string> json_values(const std::string& line) {
    std::string values_only = std::regex_replace(line, std::regex(R"("[^"]*": )"), "");
    std::regex value(R"([^{}\[\], "]+)");
    std::vector<std::string> values;
    for (std::sregex_iterator it(values_only.begin(), values_only.end(), value), end; it != end;
         ++it)
        values.push_back(it->str());
    return values;
}

} // namespace

// The columns a mode does not carry are left empty: the time in modes 0, 2
// and 3, the counter's value in mode 1, the third scaled word in modes 1
// and 3.
TEST(DumpCsv, RowsCarryTheGoldenValuesUnderTheirHeader) {
    TextBuffer csv;
    append_csv_header(csv);
    for (int mode = 0; mode < 4; ++mode)
        append_csv_frame(csv, FramePlace{mode, 256 * mode, 0}, decoded(mode));
    std::vector<std::string> rows = lines_of(std::string(csv.view()));
    std::vector<std::string> golden =
        lines_of(read_file(std::string(KX_FIXTURES) + "/kxdump_golden.jsonl"));
    std::string header = "frame,offset,skipped,mode,counter,counter_value,time,words_10,words_12,"
                         "words_14,words_244,words_252,scaled_246,scaled_248,scaled_250";
    for (auto [array, count] : {std::pair{"rates", 20}, {"groups", 80}, {"counts", 52}})
        for (int i = 0; i < count; ++i)
            header += std::string(",") + array + "_" + std::to_string(i);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], header);
    std::vector<std::string> names = fields_of(header);
    const std::set<std::string> empty_in[] = {
        {"time"}, {"counter_value", "scaled_250"}, {"time"}, {"time", "scaled_250"}};
    for (int mode = 0; mode < 4; ++mode) {
        std::vector<std::string> fields = fields_of(rows[mode + 1]), values;
        ASSERT_EQ(fields.size(), names.size()) << mode;
        std::set<std::string> empty;
        for (size_t i = 0; i < fields.size(); ++i)
            if (fields[i].empty())
                empty.insert(names[i]);
            else
                values.push_back(fields[i]);
        EXPECT_EQ(empty, empty_in[mode]);
        EXPECT_EQ(values, json_values(golden[mode]));
    }
}
