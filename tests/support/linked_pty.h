// The instrument's end of a serial line: a pseudo-terminal whose slave the
// program under test opens by a name of our choosing.
#pragma once

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "child_process.h"

// A pseudo-terminal in raw mode whose slave is linked as `link`.
class LinkedPty {
  public:
    explicit LinkedPty(const std::string& link) {
        char name[256];
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            throw std::runtime_error("no pseudo-terminal");
        // Raw from the start, so bytes that arrive before the program sets
        // the line up are not echoed or translated.
        termios raw{};
        tcgetattr(slave_, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
        // Never blocks: a test must not hang on a line that nobody reads.
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        std::filesystem::create_symlink(name, link);
    }
    ~LinkedPty() {
        hang_up();
        close(slave_);
    }
    LinkedPty(const LinkedPty&) = delete;
    LinkedPty& operator=(const LinkedPty&) = delete;

    // Writes all of `bytes` to the master side, waiting (bounded) for room.
    void write(const std::vector<unsigned char>& bytes) {
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
    // Closes the master side, as when the instrument's adapter is unplugged.
    void hang_up() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

  private:
    int master_ = -1;
    int slave_ = -1; // kept open so the line stays up while the program opens it
};
