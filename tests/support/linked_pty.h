// The instrument's end of a serial line: a pseudo-terminal whose slave the
// program under test opens by a name of our choosing.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

// A pseudo-terminal in raw mode whose slave is linked as `link`.
class LinkedPty {
  public:
    explicit LinkedPty(const std::string& link);
    ~LinkedPty();
    LinkedPty(const LinkedPty&) = delete;
    LinkedPty& operator=(const LinkedPty&) = delete;
    // Writes all of `bytes` to the master side at once.
    void write(const std::vector<unsigned char>& bytes);
    // Writes what the line takes now, without waiting; returns how much.
    size_t offer(const unsigned char* data, size_t size);
    // Closes the master side, as when the instrument's adapter is unplugged.
    void hang_up();

  private:
    int master_ = -1;
    int slave_ = -1; // kept open so the line stays up while the program opens it
};

// Sends `pattern` over and over from a thread of its own, never pausing for
// as long as a character time, until destroyed.
class EndlessSender {
  public:
    EndlessSender(LinkedPty* pty, std::vector<unsigned char> pattern);
    ~EndlessSender();
    EndlessSender(const EndlessSender&) = delete;
    EndlessSender& operator=(const EndlessSender&) = delete;

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
