#include "limits_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <toml++/toml.h>

#include "limit_values.h"
#include "toml_guard.h"

namespace {

// The keys a limit's table takes, limits first, in the order they nest.
constexpr const char* BOUND_KEYS[] = {"red_low", "yellow_low", "yellow_high", "red_high"};
constexpr int BOUND_COUNT = 4;
constexpr int YELLOW_LOW = 1;
constexpr int64_t PERSISTENCE_MAX = INT32_MAX;

struct Problem {
    uint32_t line, column;
    std::string text;
};

// A limit as read, with where it starts, to keep the file's order.
struct ReadLimit {
    uint32_t line, column;
    LimitRule rule;
    LimitLabel label;
};

struct FileCheck {
    const std::string* file_name;
    std::vector<Problem> problems;
    std::vector<ReadLimit> limits;
    uint32_t value_line[WATCHED_VALUE_COUNT] = {}; // where each value's limit is, 0: none yet
};

std::string number_text(double x) {
    char text[32];
    auto end = std::to_chars(text, text + sizeof text, x).ptr;
    return std::string(text, end);
}

void report(FileCheck* check, const toml::source_region& where, const std::string& key,
            const std::string& what) {
    const toml::source_position& at = where.begin;
    check->problems.push_back(
        {at.line, at.column,
         *check->file_name + ":" + std::to_string(at.line) + ": " + key + ": " + what});
}

// A limit's number: finite, so that comparisons mean what they say.
bool read_bound(const toml::node& node, const std::string& key, FileCheck* check, double* out) {
    if (!node.is_number()) {
        report(check, node.source(), key, "not a number");
        return false;
    }
    // Any whole number, the nearest double (toml++ converts only those it can
    // hold exactly).
    if (const toml::value<int64_t>* whole = node.as_integer())
        *out = static_cast<double>(whole->get());
    else
        *out = node.as_floating_point()->get();
    if (std::isfinite(*out)) return true;
    report(check, node.source(), key, "not a finite number");
    return false;
}

void read_persistence(const toml::node& node, const std::string& key, FileCheck* check,
                      LimitRule* rule) {
    if (!node.is_integer()) return report(check, node.source(), key, "not a whole number");
    int64_t n = node.value<int64_t>().value_or(0);
    if (n < 1) return report(check, node.source(), key, "must be 1 or more");
    if (n > PERSISTENCE_MAX)
        return report(check, node.source(), key,
                      "must be at most " + std::to_string(PERSISTENCE_MAX));
    rule->persistence = static_cast<int32_t>(n);
}

void read_text(const toml::node& node, const std::string& key, FileCheck* check, std::string* out) {
    if (const toml::value<std::string>* text = node.as_string()) {
        *out = text->get();
        return;
    }
    report(check, node.source(), key, "not a string");
}

// The limits given, in the order they must come, each no greater than the
// next: a yellow limit within its red one, every low limit below every high.
struct Bounds {
    double value[BOUND_COUNT];
    const toml::node* node[BOUND_COUNT] = {};
};

// The problem of the pair (i, j), i < j: shown at the yellow low limit below
// its red one, or else at the earlier limit, which lies above the later.
void report_disorder(const Bounds& b, int i, int j, const std::string& path, FileCheck* check) {
    bool yellow_below_red = j == YELLOW_LOW;
    int at = yellow_below_red ? j : i, other = yellow_below_red ? i : j;
    report(check, b.node[at]->source(), path + "." + BOUND_KEYS[at],
           number_text(b.value[at]) + (yellow_below_red ? " is below " : " is above ") +
               BOUND_KEYS[other] + " " + number_text(b.value[other]));
}

void check_order(const Bounds& b, const std::string& path, FileCheck* check) {
    int previous = -1;
    for (int i = 0; i < BOUND_COUNT; ++i) {
        if (b.node[i] == nullptr) continue;
        if (previous >= 0 && b.value[previous] > b.value[i])
            report_disorder(b, previous, i, path, check);
        previous = i;
    }
}

int bound_index(std::string_view key) {
    for (int i = 0; i < BOUND_COUNT; ++i)
        if (key == BOUND_KEYS[i]) return i;
    return -1;
}

// Where a table starts: its header, or its first key when it has none (a
// table made by dotted keys).
toml::source_position start_of(const toml::table& table) {
    toml::source_position at = table.source().begin;
    if (at.line > 0) return at;
    for (auto&& [key, node] : table)
        if (at.line == 0 || node.source().begin.line < at.line) at = node.source().begin;
    return at;
}

// The keys of one limit's table; false when one of them is wrong.
bool read_keys(const toml::table& table, const std::string& path, FileCheck* check,
               ReadLimit* limit, Bounds* bounds) {
    size_t before = check->problems.size();
    for (auto&& [name, node] : table) {
        std::string key = path + "." + std::string(name.str());
        int b = bound_index(name.str());
        if (b >= 0 && read_bound(node, key, check, &bounds->value[b])) bounds->node[b] = &node;
        if (b >= 0) continue;
        if (name == "persistence")
            read_persistence(node, key, check, &limit->rule);
        else if (name == "label")
            read_text(node, key, check, &limit->label.label);
        else if (name == "unit")
            read_text(node, key, check, &limit->label.unit);
        else
            report(check, node.source(), key,
                   "unknown key; a limit takes red_low, yellow_low, yellow_high, red_high, "
                   "persistence, label and unit");
    }
    return check->problems.size() == before;
}

void read_limit(const toml::node& node, const std::string& path, int value, FileCheck* check) {
    const toml::table* table = node.as_table();
    if (table == nullptr) return report(check, node.source(), path, "not a table of limits");
    toml::source_position at = start_of(*table);
    if (uint32_t first = check->value_line[value]; first != 0)
        return report(check, table->source(), path,
                      "given twice, first at line " + std::to_string(first));
    check->value_line[value] = at.line > 0 ? at.line : 1;
    ReadLimit limit{at.line, at.column, {}, {}};
    limit.rule.value = value;
    Bounds bounds;
    if (!read_keys(*table, path, check, &limit, &bounds)) return;
    check_order(bounds, path, check);
    double* targets[BOUND_COUNT] = {&limit.rule.red_low, &limit.rule.yellow_low,
                                    &limit.rule.yellow_high, &limit.rule.red_high};
    for (int i = 0; i < BOUND_COUNT; ++i)
        if (bounds.node[i] != nullptr) *targets[i] = bounds.value[i];
    check->limits.push_back(std::move(limit));
}

// A node at `path`: a value's limits, or tables leading to values.
void read_node(const toml::node& node, const std::string& path, FileCheck* check) {
    if (int value = watched_value(path); value >= 0) return read_limit(node, path, value, check);
    if (!watched_prefix(path))
        return report(check, node.source(), path, "not a value a limit can watch");
    const toml::table* table = node.as_table();
    if (table == nullptr) return report(check, node.source(), path, "not a table of values");
    for (auto&& [name, child] : *table)
        read_node(child, path + "." + std::string(name.str()), check);
}

bool earlier(uint32_t line_a, uint32_t column_a, uint32_t line_b, uint32_t column_b) {
    return line_a != line_b ? line_a < line_b : column_a < column_b;
}

// The limits in the file's order, or none when there is any problem.
void finish(FileCheck* check, LimitsReading* reading) {
    std::stable_sort(check->problems.begin(), check->problems.end(),
                     [](const Problem& a, const Problem& b) {
                         return earlier(a.line, a.column, b.line, b.column);
                     });
    for (Problem& problem : check->problems)
        reading->problems.push_back(std::move(problem.text));
    if (!reading->problems.empty()) return;
    std::stable_sort(check->limits.begin(), check->limits.end(),
                     [](const ReadLimit& a, const ReadLimit& b) {
                         return earlier(a.line, a.column, b.line, b.column);
                     });
    for (ReadLimit& limit : check->limits) {
        reading->limits.rules.push_back(limit.rule);
        reading->limits.labels.push_back(std::move(limit.label));
    }
    reset_limits(&reading->limits);
}

} // namespace

void parse_limits(std::string_view text, const std::string& file_name, LimitsReading* reading) {
    *reading = {};
    FileCheck check{&file_name, {}, {}};
    std::string ascii;
    GuardProblem guard;
    if (!ascii_toml(text, &ascii, &guard)) {
        check.problems.push_back(
            {guard.line, 0,
             file_name + ":" + std::to_string(guard.line) + ": syntax error: " + guard.why});
        return finish(&check, reading);
    }
    toml::table root;
    try {
        root = toml::parse(ascii, file_name);
    } catch (const toml::parse_error& error) {
        report(&check, error.source(), "syntax error", std::string(error.description()));
        return finish(&check, reading);
    }
    for (auto&& [name, node] : root)
        read_node(node, std::string(name.str()), &check);
    finish(&check, reading);
}

int read_limits_file(const std::string& path, LimitsReading* reading) {
    *reading = {};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return errno;
    std::string text;
    char block[4096];
    size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0)
        text.append(block, n);
    int error = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
    std::fclose(file);
    if (error == 0) parse_limits(text, path, reading);
    return error;
}
