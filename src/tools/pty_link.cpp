#include "pty_link.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

// A master cannot wait for its slave to be opened, nor for it to be read
// dry: it looks again this often.
constexpr int LOOK_MS = 10;

void pause_ms(int ms) {
    timespec wait{0, ms * 1000000L};
    nanosleep(&wait, nullptr);
}

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
    bool attached = poll(&line, 1, 0) >= 0 && (line.revents & POLLHUP) == 0;
    if (!attached && had_reader_) discard_unread();
    had_reader_ = attached;
    return attached;
}

bool PtyLink::wait_for_reader(int wait_ms) {
    for (int waited = 0; !reader_attached(); waited += LOOK_MS) {
        if (waited >= wait_ms) return false;
        pause_ms(LOOK_MS);
    }
    return true;
}

// The bytes written reach the slave's input queue a moment later, so the
// queue must be seen empty twice.
void PtyLink::drain(int wait_ms) {
    if (!reader_attached()) return;
    int slave = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0) return;
    int unread = 0;
    for (int waited = 0, empty = 0; empty < 2 && waited < wait_ms; waited += LOOK_MS) {
        if (ioctl(slave, FIONREAD, &unread) != 0) break;
        empty = unread == 0 ? empty + 1 : 0;
        pause_ms(LOOK_MS);
    }
    ::close(slave);
}

// What a departed reader left unread would reach the next reader ahead of
// fresh frames, out of step with them. The line is taken under the lock its
// readers take (kxview's port), so that a reader that holds it already keeps
// what it has not read yet.
void PtyLink::discard_unread() {
    int slave = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) return;
    if (flock(slave, LOCK_EX | LOCK_NB) == 0) tcflush(slave, TCIFLUSH);
    ::close(slave);
}

Delivery PtyLink::send(const unsigned char* data, size_t size, int wait_ms) {
    if (!reader_attached()) return Delivery::no_reader;
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
        int ready = poll(&line, 1, wait_ms);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || (line.revents & POLLHUP) != 0) return Delivery::overrun;
    }
    return Delivery::sent;
}

void PtyLink::close() {
    if (!name_.empty() && link_target(name_.c_str()) == device_) unlink(name_.c_str());
    name_.clear();
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}
