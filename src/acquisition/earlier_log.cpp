#include "earlier_log.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <stdio.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

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

// Renames `from` to `to` unless `to` exists, in one step, so that another
// program choosing the same name at the same moment cannot lose either file.
// A file system without such a rename gets a hard link and an unlink, which
// refuse to replace as well; one without hard links (FAT) only a check
// before the rename. errno is EEXIST when `to` was taken.
bool rename_unless_taken(const fs::path& from, const fs::path& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (link(from.c_str(), to.c_str()) == 0) {
        // Left with both names, the new log would empty the one moved aside.
        if (unlink(from.c_str()) == 0) return true;
        int reason = errno;
        unlink(to.c_str());
        errno = reason;
        return false;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) return false;
    struct stat taken {};
    if (lstat(to.c_str(), &taken) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

// Moves `log` to the first name of the series that names nothing yet.
// Returns that name, or an empty path with the reason in `error`.
fs::path move_to_free_name(const fs::path& log, const std::string& stamp, std::string* error) {
    fs::path base = log.parent_path() / (log.stem().string() + "-" + stamp);
    std::string extension = log.extension().string();
    for (int suffix = 0; suffix <= MOST_SUFFIXES; ++suffix) {
        fs::path name = base;
        name += (suffix == 0 ? "" : "-" + std::to_string(suffix)) + extension;
        if (rename_unless_taken(log, name)) return name;
        if (errno != EEXIST) {
            *error = std::strerror(errno);
            return {};
        }
    }
    *error = "every name for it is taken";
    return {};
}

} // namespace

bool move_earlier_log_aside(const char* path, std::string* error) {
    std::error_code code;
    fs::path log(path);
    if (!fs::is_regular_file(log, code) || fs::file_size(log, code) == 0) return true;
    fs::file_time_type modified = fs::last_write_time(log, code);
    if (code) {
        *error = code.message();
        return false;
    }
    fs::path aside = move_to_free_name(log, local_stamp(modified), error);
    if (aside.empty()) return false;
    std::fprintf(stderr, "kxview: earlier raw log %s moved to %s\n", path, aside.c_str());
    return true;
}
