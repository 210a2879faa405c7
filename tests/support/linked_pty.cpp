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

using namespace std::chrono_literals;

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
    bool taken = wait_until(
        [&] {
            done += offer(bytes.data() + done, bytes.size() - done);
            return done == bytes.size();
        },
        2s);
    if (!taken) throw std::runtime_error("the line took no more bytes for 2 s");
}

size_t LinkedPty::offer(const unsigned char* data, size_t size) {
    ssize_t n = ::write(master_, data, size);
    if (n < 0 && errno != EAGAIN && errno != EINTR)
        throw std::runtime_error("pseudo-terminal write failed");
    return n > 0 ? static_cast<size_t>(n) : 0;
}

void LinkedPty::hang_up() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

EndlessSender::EndlessSender(LinkedPty* pty, std::vector<unsigned char> pattern)
    : thread_([this, pty, pattern = std::move(pattern)] {
          size_t at = 0;
          while (!stop_) {
              at = (at + pty->offer(pattern.data() + at, pattern.size() - at)) % pattern.size();
              std::this_thread::sleep_for(100us);
          }
      }) {}

EndlessSender::~EndlessSender() {
    stop_ = true;
    thread_.join();
}
