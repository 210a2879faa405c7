#include "pty_link.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::string system_error(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string link_target(const char* name) {
    char target[PATH_MAX];
    ssize_t length = readlink(name, target, sizeof target - 1);
    return length < 0 ? std::string() : std::string(target, static_cast<size_t>(length));
}

// Readers that do not set the line up themselves (cat, a shell redirection)
// still get the bytes unchanged. Set on the master, it holds for the slave
// across every open.
bool make_raw(int master) {
    termios settings;
    if (tcgetattr(master, &settings) != 0) return false;
    cfmakeraw(&settings);
    cfsetispeed(&settings, B19200);
    cfsetospeed(&settings, B19200);
    return tcsetattr(master, TCSANOW, &settings) == 0;
}

bool replaceable(const char* name, std::string* error) {
    struct stat status;
    if (lstat(name, &status) != 0) return true;
    struct stat target;
    bool stale = S_ISLNK(status.st_mode) &&
                 (link_target(name).starts_with("/dev/pts/") || stat(name, &target) != 0);
    if (!stale)
        *error = std::string(name) +
                 " exists and is not a link to a pseudo-terminal; remove it or choose another "
                 "name with --link";
    return stale;
}

} // namespace

bool PtyLink::open(const char* name, std::string* error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    char device[PATH_MAX];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, device, sizeof device) != 0 || !make_raw(master_)) {
        *error = system_error("cannot open a pseudo-terminal");
        close();
        return false;
    }
    device_ = device;
    // Until a slave has been opened and closed once, the master cannot tell
    // whether anyone is reading.
    discard_unread();
    if (!replaceable(name, error)) {
        close();
        return false;
    }
    unlink(name);
    if (symlink(device, name) != 0) {
        *error = system_error(std::string("cannot link ") + name + " to " + device);
        close();
        return false;
    }
    name_ = name;
    return true;
}

bool PtyLink::reader_attached() {
    pollfd line{master_, POLLOUT, 0};
    return poll(&line, 1, 0) >= 0 && (line.revents & POLLHUP) == 0;
}

// What a departed reader left unread would reach the next reader ahead of
// fresh frames, out of step with them.
void PtyLink::discard_unread() {
    int slave = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0) return;
    tcflush(slave, TCIFLUSH);
    ::close(slave);
}

Delivery PtyLink::send(const unsigned char* data, size_t size, int wait_ms) {
    if (!reader_attached()) {
        if (had_reader_) discard_unread();
        had_reader_ = false;
        return Delivery::no_reader;
    }
    had_reader_ = true;
    size_t done = 0;
    while (done < size) {
        ssize_t written = write(master_, data + done, size - done);
        if (written > 0) {
            done += static_cast<size_t>(written);
            continue;
        }
        if (written < 0 && errno == EIO) return Delivery::no_reader;
        pollfd line{master_, POLLOUT, 0};
        if (written < 0 && errno != EAGAIN && errno != EINTR) return Delivery::overrun;
        if (poll(&line, 1, wait_ms) <= 0 || (line.revents & POLLHUP) != 0) return Delivery::overrun;
    }
    return Delivery::sent;
}

void PtyLink::close() {
    if (!name_.empty() && link_target(name_.c_str()) == device_) unlink(name_.c_str());
    name_.clear();
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}
