#include "limits_watch.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "alarm_display.h"
#include "controls.h"
#include "kxview_storage.h"
#include "limits_file.h"
#include "runtime.h"

namespace {

constexpr const char* LIMITS_FILE = "kx-limits.toml";
// A file saved by an editor is taken within about this long.
constexpr double CHECK_INTERVAL = 1.0;
// Longer than any path the system takes.
constexpr int PATH_BYTES = 4096;

AlarmStorage& a() { return kx.alarms; }

FileIdentity identity_of(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return {};
    return {true, status.st_dev, status.st_ino, status.st_size,
            static_cast<long long>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

// Says on standard error why the file is not used and what that means, and
// keeps the first problem for the status line.
void report(const std::vector<std::string>& problems) {
    const char* consequence =
        a().limits.rules.empty() ? "running without limits" : "keeping the limits read before";
    for (const std::string& problem : problems)
        std::fprintf(stderr, "kxview: %s\n", problem.c_str());
    std::fprintf(stderr, "kxview: %s: not used, %s\n", a().path.c_str(), consequence);
    a().problem = problems.front();
    if (problems.size() > 1)
        a().problem += " (and " + std::to_string(problems.size() - 1) + " more)";
    a().problem += std::string("; ") + consequence;
}

// A value watched before keeps how it stood, and the alarm it raised.
void carry_statuses(const Limits& before, Limits* after) {
    for (size_t i = 0; i < after->rules.size(); ++i)
        for (size_t j = 0; j < before.rules.size(); ++j)
            if (before.rules[j].value == after->rules[i].value) after->status[i] = before.status[j];
}

void read_limits(int panel, bool again) {
    a().read_identity = identity_of(a().path);
    LimitsReading reading;
    if (int error = read_limits_file(a().path, &reading); error != 0)
        reading.problems = {a().path + ": " + std::strerror(error)};
    if (!reading.problems.empty()) {
        report(reading.problems);
        SetCtrlVal(panel, PANEL_STATUS, a().problem.c_str());
        return;
    }
    carry_statuses(a().limits, &reading.limits);
    a().limits = std::move(reading.limits);
    if (again)
        std::fprintf(stderr, "kxview: %s: %zu limits in force\n", a().path.c_str(),
                     a().limits.rules.size());
    if (!a().problem.empty()) SetCtrlVal(panel, PANEL_STATUS, " ");
    a().problem.clear();
    show_limits_in_force(panel);
}

} // namespace

void start_limits(int panel) {
    char path[PATH_BYTES];
    bool found = FindDataFile(LIMITS_FILE, path, sizeof path) >= 0;
    // Without one, the place looked at first is watched: an operator's new
    // file goes there.
    a().path = found ? path : LIMITS_FILE;
    a().checked_at = Timer();
    if (found)
        read_limits(panel, false);
    else
        a().read_identity = identity_of(a().path);
}

void watch_limits_file(int panel) {
    if (a().path.empty() || Timer() - a().checked_at < CHECK_INTERVAL) return;
    a().checked_at = Timer();
    if (identity_of(a().path) != a().read_identity) read_limits(panel, true);
}

const char* limits_problem() { return a().problem.empty() ? nullptr : a().problem.c_str(); }
