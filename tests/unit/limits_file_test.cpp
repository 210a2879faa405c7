// The limits file: what a good one gives, and each problem's message with
// its line. One problem anywhere and no limit is kept.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "limit_values.h"
#include "limits_file.h"

namespace {

std::string name_of(int value) {
    char name[VALUE_NAME_SIZE];
    watched_value_name(value, name);
    return name;
}

} // namespace

// The limits come in the file's order, whatever the order of their names,
// with the keys not given at infinity and a persistence of 1.
TEST(LimitsFile, GivesTheLimitsInTheFilesOrder) {
    LimitsReading reading;
    parse_limits("[words.244]\n"
                 "yellow_high = 50000\n"
                 "red_high = 60000\n"
                 "persistence = 3\n"
                 "label = \"heater current \u2014 \\\"A\\\"\"\n"
                 "unit = \"\u00b5A\" # \u00b5\n"
                 "[rates.7]\n"
                 "yellow_high = 900\n"
                 "[groups]\n"
                 "2 = { byte5 = { red_low = -1.5, yellow_low = 0 } }\n"
                 "[counter]\n"
                 "mode0.red_high = 1e6\n",
                 "f.toml", &reading);
    ASSERT_EQ(reading.problems, std::vector<std::string>{});
    const Limits& l = reading.limits;
    ASSERT_EQ(l.rules.size(), 4u);
    ASSERT_EQ(l.labels.size(), 4u);
    ASSERT_EQ(l.status.size(), 4u);
    std::vector<std::string> names;
    for (const LimitRule& rule : l.rules)
        names.push_back(name_of(rule.value));
    EXPECT_EQ(names, (std::vector<std::string>{"words.244", "rates.7", "groups.2.byte5",
                                               "counter.mode0"}));
    const LimitRule& heater = l.rules[0];
    EXPECT_EQ(heater.red_low, NO_LOW);
    EXPECT_EQ(heater.yellow_low, NO_LOW);
    EXPECT_EQ(heater.yellow_high, 50000);
    EXPECT_EQ(heater.red_high, 60000);
    EXPECT_EQ(heater.persistence, 3);
    EXPECT_EQ(l.labels[0].label, "heater current \u2014 \"A\"");
    EXPECT_EQ(l.labels[0].unit, "\u00b5A");
    EXPECT_EQ(l.rules[1].persistence, 1);
    EXPECT_EQ(l.labels[1].label, "");
    EXPECT_EQ(l.rules[2].red_low, -1.5);
    EXPECT_EQ(l.rules[2].yellow_low, 0);
    EXPECT_EQ(l.rules[2].red_high, NO_HIGH);
    EXPECT_EQ(l.rules[3].red_high, 1e6);
}

TEST(LimitsFile, ReportsEachProblemWithItsLineAndKeepsNoLimit) {
    const std::string takes = "unknown key; a limit takes red_low, yellow_low, yellow_high, "
                              "red_high, persistence, label and unit";
    struct Case {
        std::string text;
        std::vector<std::string> problems;
    };
    const Case cases[] = {
        {"[words.244\nred_high = 1\n",
         {"f.toml:1: syntax error: Error while parsing table header: expected ']', saw '\\n'"}},
        {"[words.244]\nred_high = 1\nred_high = 2\n",
         {"f.toml:3: syntax error: Error while parsing key-value pair: cannot redefine "
          "existing integer 'red_high'"}},
        // Characters other than ASCII: where toml++ 3.3.0 could not take them
        // safely, and where TOML has no escape for them.
        {"# \u00b5 in a comment\n[words.244] # \u00b5\nlabel = \"\u00b5\"\n"
         "yellow_high = 50 \u00b5\n",
         {"f.toml:4: syntax error: characters other than ASCII belong in double-quoted strings "
          "and comments"}},
        {"[words.244]\nunit = '\u00b5A'\n",
         {"f.toml:2: syntax error: characters other than ASCII belong in double-quoted strings "
          "and comments"}},
        {"[words.244]\nunit = \"\xb5"
         "A\"\n",
         {"f.toml:2: syntax error: not UTF-8"}},
        {"[rates.7]\nyellow_high = 900\n[words.245]\nred_high = 1\n",
         {"f.toml:3: words.245: not a value a limit can watch"}},
        {"[rates.21]\n[rates.0]\n[groups.1.word45]\n[voltage]\n",
         {"f.toml:1: rates.21: not a value a limit can watch",
          "f.toml:2: rates.0: not a value a limit can watch",
          "f.toml:3: groups.1.word45: not a value a limit can watch",
          "f.toml:4: voltage: not a value a limit can watch"}},
        {"words = 3\n[rates]\n7 = 900\n",
         {"f.toml:1: words: not a table of values", "f.toml:3: rates.7: not a table of limits"}},
        {"[rates.7]\nyellow_hi = 900\n", {"f.toml:2: rates.7.yellow_hi: " + takes}},
        {"[words.10]\nred_high = \"60000\"\nred_low = true\nyellow_high = nan\n",
         {"f.toml:2: words.10.red_high: not a number", "f.toml:3: words.10.red_low: not a number",
          "f.toml:4: words.10.yellow_high: not a finite number"}},
        {"[words.244]\nyellow_high = 70000\nred_high = 60000\n",
         {"f.toml:2: words.244.yellow_high: 70000 is above red_high 60000"}},
        {"[scaled.246]\nred_low = 2.4\nyellow_low = 2.35\n",
         {"f.toml:3: scaled.246.yellow_low: 2.35 is below red_low 2.4"}},
        {"[tenths.248]\nred_low = 10\nred_high = -10\n",
         {"f.toml:2: tenths.248.red_low: 10 is above red_high -10"}},
        {"[rates.1]\nyellow_low = 500\nyellow_high = 400\n",
         {"f.toml:2: rates.1.yellow_low: 500 is above yellow_high 400"}},
        {"[rates.2]\npersistence = 0\n[rates.3]\npersistence = 1.5\n[rates.4]\n"
         "persistence = 3000000000\n",
         {"f.toml:2: rates.2.persistence: must be 1 or more",
          "f.toml:4: rates.3.persistence: not a whole number",
          "f.toml:6: rates.4.persistence: must be at most 2147483647"}},
        {"[rates.5]\nlabel = 5\nunit = [\"mA\"]\n",
         {"f.toml:2: rates.5.label: not a string", "f.toml:3: rates.5.unit: not a string"}},
        {"[rates.6]\nred_high = 1\n[\"rates.6\"]\nred_high = 2\n",
         {"f.toml:3: rates.6: given twice, first at line 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        LimitsReading reading;
        parse_limits(c.text, "f.toml", &reading);
        EXPECT_EQ(reading.problems, c.problems);
        EXPECT_EQ(reading.limits.rules.size(), 0u);
        EXPECT_EQ(reading.limits.status.size(), 0u);
    }
}

// The example installed beside the panel reads without a problem.
TEST(LimitsFile, TheInstalledExampleHasNoProblem) {
    LimitsReading reading;
    std::string path = KX_SOURCE_DIR "/ui/kx-limits.toml";
    ASSERT_EQ(read_limits_file(path, &reading), 0);
    EXPECT_EQ(reading.problems, std::vector<std::string>{});
    EXPECT_GE(reading.limits.rules.size(), 5u);
    EXPECT_EQ(read_limits_file(KX_SOURCE_DIR "/ui/no-such-file.toml", &reading), ENOENT);
}
