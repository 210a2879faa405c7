// An X display that is there but refuses its clients, made without an X
// server: a socket in /tmp/.X11-unix answered by a thread of the test.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

enum class Refusal {
    hang_up,         // accepts every connection and closes it at once
    wrong_authority, // answers the connection setup with a failure, as to a wrong cookie
};

class RefusingDisplay {
  public:
    explicit RefusingDisplay(Refusal refusal) : refusal_(refusal) {
        made_directory_ = mkdir(DIRECTORY, 01777) == 0;
        if (made_directory_) chmod(DIRECTORY, 01777); // whatever the umask
        if (pipe2(stop_, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
        listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        // A number far above the usual ones, and none that a server uses in
        // the abstract namespace, where clients look first.
        for (number_ = 4100 + getpid() % 400; !claimed(); ++number_)
            if (number_ > 4900) throw std::runtime_error("no free display number");
        listen(listener_, 8);
        server_ = std::thread([this] { serve(); });
    }
    ~RefusingDisplay() {
        (void)!write(stop_[1], "", 1);
        server_.join();
        close(listener_);
        close(stop_[0]);
        close(stop_[1]);
        unlink(path(false).c_str());
        if (made_directory_) rmdir(DIRECTORY);
    }
    RefusingDisplay(const RefusingDisplay&) = delete;
    RefusingDisplay& operator=(const RefusingDisplay&) = delete;

    std::string display() const { return ":" + std::to_string(number_); }

  private:
    static constexpr const char* DIRECTORY = "/tmp/.X11-unix";

    std::string path(bool abstract) const {
        return (abstract ? std::string(1, '\0') : "") + DIRECTORY + "/X" + std::to_string(number_);
    }
    static socklen_t address_of(const std::string& path, sockaddr_un* address) {
        *address = sockaddr_un{};
        address->sun_family = AF_UNIX;
        std::memcpy(address->sun_path, path.data(), path.size());
        return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    }
    bool claimed() {
        sockaddr_un address;
        int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        socklen_t length = address_of(path(true), &address);
        bool in_use = connect(probe, reinterpret_cast<sockaddr*>(&address), length) == 0;
        close(probe);
        length = address_of(path(false), &address);
        return !in_use && bind(listener_, reinterpret_cast<sockaddr*>(&address), length) == 0;
    }
    void serve() {
        for (;;) {
            pollfd waiting[] = {{listener_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (poll(waiting, 2, -1) < 0 && errno != EINTR) return;
            if (waiting[1].revents != 0) return;
            if (waiting[0].revents == 0) continue;
            int client = accept(listener_, nullptr, nullptr);
            if (client < 0) continue;
            if (refusal_ == Refusal::wrong_authority) answer_failure(client);
            close(client);
        }
    }
    // The X protocol's reply to a setup it refuses: status 0, the reason's
    // length, the protocol version, the padded reason's length in 4-byte
    // units, then the reason, in the client's byte order.
    static void answer_failure(int client) {
        char request[4096];
        ssize_t got = recv(client, request, sizeof request, 0);
        bool little = got > 0 && request[0] == 'l';
        const std::string reason = "Invalid MIT-MAGIC-COOKIE-1 key";
        size_t units = (reason.size() + 3) / 4;
        std::string reply(8, '\0');
        auto put16 = [&](size_t at, size_t value) {
            reply[at + (little ? 0 : 1)] = static_cast<char>(value & 0xFF);
            reply[at + (little ? 1 : 0)] = static_cast<char>(value >> 8);
        };
        reply[1] = static_cast<char>(reason.size());
        put16(2, 11);
        put16(6, units);
        reply += reason;
        reply.resize(8 + 4 * units, '\0');
        send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
    }

    Refusal refusal_;
    bool made_directory_ = false;
    int stop_[2] = {-1, -1};
    int listener_ = -1;
    int number_ = 0;
    std::thread server_;
};
