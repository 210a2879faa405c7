#include "line_claim.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kxqt {
namespace {

// Where udev names each USB serial adapter after its serial number.
constexpr const char* BY_ID = "/dev/serial/by-id";
// The kernel's pseudo-terminal slaves: eight majors from 136.
constexpr unsigned PTY_SLAVE_MAJOR = 136;
constexpr unsigned PTY_SLAVE_MAJORS = 8;

bool pseudo_terminal(dev_t device) {
    return major(device) >= PTY_SLAVE_MAJOR && major(device) < PTY_SLAVE_MAJOR + PTY_SLAVE_MAJORS;
}

bool same_time(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// True once `found` is true for an entry of `directory` (. and .. left out).
bool any_entry(const std::string& directory, const std::function<bool(const std::string&)>& found) {
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) return false;
    bool any = false;
    while (dirent* entry = readdir(listing)) {
        std::string name = entry->d_name;
        if (name != "." && name != ".." && (any = found(name))) break;
    }
    closedir(listing);
    return any;
}

std::string by_id_name(dev_t device) {
    std::string name;
    any_entry(BY_ID, [&](const std::string& entry) {
        struct stat node;
        bool match = stat((std::string(BY_ID) + "/" + entry).c_str(), &node) == 0 &&
                     S_ISCHR(node.st_mode) && node.st_rdev == device;
        if (match) name = entry;
        return match;
    });
    return name;
}

// A pseudo-terminal's node is made when the terminal is, and its change time
// moves with nothing the line does afterwards.
LineIdentity identity_of(const struct stat& node) {
    LineIdentity identity;
    identity.device = node.st_rdev;
    identity.by_id = by_id_name(node.st_rdev);
    if (pseudo_terminal(node.st_rdev)) identity.born = node.st_ctim;
    return identity;
}

// An adapter is known by its by-id name, which goes with it to whichever
// node it gets; without one, by its node and, for a pseudo-terminal, its
// creation.
bool same_line(const LineIdentity& was, const LineIdentity& now) {
    if (!was.by_id.empty()) return now.by_id == was.by_id;
    return now.device == was.device && same_time(now.born, was.born);
}

std::string link_target(const char* path) {
    char target[PATH_MAX];
    ssize_t length = readlink(path, target, sizeof target - 1);
    return length < 0 ? std::string() : std::string(target, static_cast<size_t>(length));
}

LinkStamp stamp_of(const char* path) {
    LinkStamp stamp;
    struct stat entry;
    if (lstat(path, &entry) != 0 || !S_ISLNK(entry.st_mode)) return stamp;
    stamp.link = true;
    stamp.inode = entry.st_ino;
    stamp.changed = entry.st_ctim;
    stamp.target = link_target(path);
    return stamp;
}

bool made_anew(const LinkStamp& was, const LinkStamp& now) {
    return now.link && (!was.link || now.inode != was.inode ||
                        !same_time(now.changed, was.changed) || now.target != was.target);
}

// The holder of the lock on `node`, from the kernel's table of locks, which
// every user may read.
pid_t lock_holder(const struct stat& node) {
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%lu", major(node.st_dev), minor(node.st_dev),
                  static_cast<unsigned long>(node.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        if (fields >> number >> kind >> mode >> access >> pid >> where && kind == "FLOCK" &&
            where == wanted)
            return static_cast<pid_t>(pid);
    }
    return 0;
}

// A process with the device open: a program that holds the line without
// the lock (only this user's processes can be looked into).
pid_t opener(dev_t device) {
    pid_t found = 0;
    any_entry("/proc", [&](const std::string& entry) {
        char* end = nullptr;
        long pid = std::strtol(entry.c_str(), &end, 10);
        if (*end != '\0') return false;
        std::string fds = "/proc/" + entry + "/fd";
        bool holds = any_entry(fds, [&](const std::string& fd) {
            struct stat node;
            return stat((fds + "/" + fd).c_str(), &node) == 0 && S_ISCHR(node.st_mode) &&
                   node.st_rdev == device;
        });
        if (holds) found = static_cast<pid_t>(pid);
        return holds;
    });
    return found;
}

std::string holder_of(const char* path) {
    struct stat node;
    if (stat(path, &node) != 0) return "another program";
    pid_t pid = lock_holder(node);
    if (pid == 0) pid = opener(node.st_rdev);
    if (pid == 0) return "another program";
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return "process " + std::to_string(pid) + (name.empty() ? "" : " (" + name + ")");
}

} // namespace

int claim_line(const char* path, const ClaimedLine& before, ClaimedLine* now) {
    struct stat node;
    if (stat(path, &node) != 0) return -1;
    if (!S_ISCHR(node.st_mode)) {
        errno = ENOTTY;
        return -1;
    }
    now->identity = identity_of(node);
    now->link = stamp_of(path);
    // Judged before the open: opening a device can change its line (DTR).
    if (before.identity.device != 0 && !made_anew(before.link, now->link) &&
        !same_line(before.identity, now->identity)) {
        errno = ENODEV;
        return -1;
    }
    int line = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (line < 0) return -1;
    struct stat opened;
    int reason = 0;
    if (fstat(line, &opened) != 0 || opened.st_rdev != node.st_rdev ||
        (pseudo_terminal(node.st_rdev) && !same_time(opened.st_ctim, node.st_ctim)))
        reason = EAGAIN; // re-pointed since it was looked at
    else if (flock(line, LOCK_EX | LOCK_NB) != 0)
        reason = errno == EWOULDBLOCK ? EBUSY : errno;
    if (reason == 0) return line;
    close(line);
    errno = reason;
    return -1;
}

std::string describe_claim_failure(const std::string& name, const char* path, int reason) {
    char resolved[PATH_MAX];
    std::string device = realpath(path, resolved) ? resolved : link_target(path);
    std::string text = name;
    // "./COM1" is the node itself when it resolves to nothing else.
    if (!device.empty() && (device != path || name.find('/') == std::string::npos))
        text += " -> " + device;
    if (reason == EBUSY) return text + ": in use by " + holder_of(path);
    return text + ": " + std::strerror(reason);
}

} // namespace kxqt
