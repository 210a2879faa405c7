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

#include "journal_format.h"

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

// An earlier run's file worth keeping: a regular file that holds anything.
bool kept(const fs::path& file) {
    std::error_code code;
    return fs::is_regular_file(file, code) && fs::file_size(file, code) > 0;
}

// The raw log and its journal of one earlier run, and where they go.
struct Earlier {
    fs::path log, journal;
    bool log_kept, journal_kept;
};

// Moves the run's files to the names with `stem`, both or neither, so that
// a recording never pairs with another run's journal. Returns false, with
// errno EEXIST when a name was taken.
bool move_to(const Earlier& e, const fs::path& stem, fs::path* log_aside, fs::path* journal_aside) {
    *log_aside = fs::path(stem) += e.log.extension();
    *journal_aside = fs::path(stem) += JOURNAL_EXTENSION;
    if (e.journal_kept && !rename_unless_taken(e.journal, *journal_aside)) return false;
    bool moved = true;
    if (e.log_kept) {
        moved = rename_unless_taken(e.log, *log_aside);
    } else if (struct stat taken{}; lstat(log_aside->c_str(), &taken) == 0) {
        moved = false;
        errno = EEXIST;
    }
    if (moved) return true;
    int reason = errno;
    if (e.journal_kept) rename_unless_taken(*journal_aside, e.journal);
    errno = reason;
    return false;
}

} // namespace

bool move_earlier_log_aside(const char* path, std::string* error) {
    Earlier e{path, journal_path_for(path), false, false};
    e.log_kept = kept(e.log);
    e.journal_kept = kept(e.journal);
    if (!e.log_kept && !e.journal_kept) return true;
    std::error_code code;
    fs::file_time_type modified = fs::last_write_time(e.log_kept ? e.log : e.journal, code);
    if (code) {
        *error = code.message();
        return false;
    }
    fs::path base = e.log.parent_path() / (e.log.stem().string() + "-" + local_stamp(modified));
    for (int suffix = 0; suffix <= MOST_SUFFIXES; ++suffix) {
        fs::path stem = base;
        if (suffix > 0) stem += "-" + std::to_string(suffix);
        fs::path log_aside, journal_aside;
        if (move_to(e, stem, &log_aside, &journal_aside)) {
            if (e.log_kept)
                std::fprintf(stderr, "kxview: earlier raw log %s moved to %s\n", path,
                             log_aside.c_str());
            if (e.journal_kept)
                std::fprintf(stderr, "kxview: its journal %s moved to %s\n", e.journal.c_str(),
                             journal_aside.c_str());
            return true;
        }
        if (errno != EEXIST) {
            *error = std::strerror(errno);
            return false;
        }
    }
    *error = "every name for it is taken";
    return false;
}
