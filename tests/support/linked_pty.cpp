#include "linked_pty.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "wait_until.h"

LinkedPty::LinkedPty(const std::string& link) {
    char name[256];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("no pseudo-terminal");
    // Raw from the start, so bytes that arrive before the program sets the
    // line up are not echoed or translated.
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    // Never blocks: a test must not hang on a line that nobody reads.
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    std::filesystem::create_symlink(name, link);
}

LinkedPty::~LinkedPty() {
    hang_up();
    close(slave_);
}

void LinkedPty::write(const std::vector<unsigned char>& bytes) {
    size_t done = 0;
    auto taken = [&] {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error("pseudo-terminal write failed");
        done += n > 0 ? static_cast<size_t>(n) : 0;
        return done == bytes.size();
    };
    if (!wait_until(taken, std::chrono::seconds(2)))
        throw std::runtime_error("the line took no more bytes for 2 s");
}

void LinkedPty::hang_up() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}
