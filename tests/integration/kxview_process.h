// The built kxview run as a child process in a scratch working directory,
// offscreen, with bounded waits; and a pseudo-terminal to feed it as COM1.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

using namespace std::chrono_literals;

// A fresh directory under the system's temporary directory, removed with
// everything in it at the end of the test.
class ScratchDirectory {
  public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    std::string path(const std::string& name) const;
    const std::string& root() const { return root_; }

  private:
    std::string root_;
};

// kxview started with `args` in `directory`; its standard output and error go
// to files there. A process still running at the end is killed.
class KxviewProcess {
  public:
    KxviewProcess(const ScratchDirectory& directory, const std::vector<std::string>& args);
    ~KxviewProcess();
    KxviewProcess(const KxviewProcess&) = delete;
    KxviewProcess& operator=(const KxviewProcess&) = delete;

    // The exit status, or -1 when it was ended by a signal or is still
    // running after `limit` (it is killed then).
    int wait_for_exit(std::chrono::milliseconds limit);
    bool running();
    // True once kxview has its quit handler for SIGTERM in place, so that a
    // SIGTERM is a quit and not the default death.
    bool wait_until_quit_handler_armed(std::chrono::milliseconds limit);
    void send(int signal_number);
    std::string out() const;
    std::string err() const;

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    std::string out_path_, err_path_;
};

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
    int slave_ = -1; // kept open so the line stays up while kxview opens it
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

// Polls `ready` every few milliseconds until it holds or `limit` passes.
bool wait_until(const std::function<bool()>& ready, std::chrono::milliseconds limit);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::vector<unsigned char>& bytes);
