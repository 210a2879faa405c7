#include "earlier_log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace {

namespace fs = std::filesystem;

// Names tried after the plain one; more earlier logs with the same
// modification second than this is no operator's doing.
constexpr int MOST_SUFFIXES = 99;

// "YYYYMMDD-HHMMSS" of a file time, in local time.
std::string local_stamp(fs::file_time_type time) {
    auto system_time = std::chrono::file_clock::to_sys(time);
    std::time_t seconds = std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(system_time));
    char stamp[32] = "";
    const std::tm* local = std::localtime(&seconds);
    if (local != nullptr) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", local);
    return stamp;
}

// The first name of the series that names nothing yet, or an empty path.
fs::path free_name(const fs::path& log, const std::string& stamp) {
    fs::path base = log.parent_path() / (log.stem().string() + "-" + stamp);
    std::string extension = log.extension().string();
    for (int suffix = 0; suffix <= MOST_SUFFIXES; ++suffix) {
        fs::path name = base;
        name += (suffix == 0 ? "" : "-" + std::to_string(suffix)) + extension;
        std::error_code ignored;
        if (!fs::exists(fs::symlink_status(name, ignored))) return name;
    }
    return {};
}

} // namespace

bool move_earlier_log_aside(const char* path, std::string* error) {
    std::error_code code;
    fs::path log(path);
    if (!fs::is_regular_file(log, code) || fs::file_size(log, code) == 0) return true;
    fs::file_time_type modified = fs::last_write_time(log, code);
    fs::path aside = code ? fs::path() : free_name(log, local_stamp(modified));
    if (aside.empty()) {
        *error = code ? code.message() : "every name for it is taken";
        return false;
    }
    fs::rename(log, aside, code);
    if (code) {
        *error = code.message();
        return false;
    }
    std::fprintf(stderr, "kxview: earlier raw log %s moved to %s\n", path, aside.c_str());
    return true;
}
