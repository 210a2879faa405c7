// One reader on a serial line. Every name for a device (a link in any
// folder, a by-id name, the node itself) meets the same lock: an exclusive
// flock on the device, which kxsim's link honours too. And a name that comes
// back after an unplug is taken only for the device it stood for.
#pragma once

#include <ctime>
#include <string>
#include <sys/types.h>

namespace kxqt {

// What tells a serial device from another that later takes its name.
struct LineIdentity {
    dev_t device = 0;  // the node's device number; 0 before the first claim
    std::string by_id; // its name under /dev/serial/by-id, when udev gave it one
    timespec born{};   // a pseudo-terminal's creation: a reused number is another terminal
};

// The link a name was when its line was claimed: one made anew since is the
// operator's (or kxsim's) choice of a line, not the old one coming back.
struct LinkStamp {
    bool link = false;
    ino_t inode = 0;
    timespec changed{};
    std::string target;
};

// What a port holds between its claims.
struct ClaimedLine {
    LineIdentity identity;
    LinkStamp link;
};

// Opens the device `path` names and takes its lock, without waiting and
// without touching the line's settings. A line another open holds is
// refused with errno EBUSY; with `before` claimed already, a device that is
// not the one claimed then is refused with errno ENODEV, unless the link at
// `path` was made anew. Returns the descriptor that holds the lock (closing it
// releases the line) and fills `now`, or -1 with errno.
int claim_line(const char* path, const ClaimedLine& before, ClaimedLine* now);

// For the operator: "NAME -> DEVICE: REASON", the device as `path` resolves
// now, and for EBUSY the process that holds it when that can be told.
std::string describe_claim_failure(const std::string& name, const char* path, int reason);

} // namespace kxqt
