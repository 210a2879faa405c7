// A pseudo-terminal standing in for the instrument's serial line, linked
// under the name a reader opens (COM1 for kxview).
#pragma once

#include <cstddef>
#include <string>

enum class Delivery {
    sent,      // the reader has the bytes
    no_reader, // nobody has the line open: the bytes are gone, as on a real line
    overrun,   // the reader stopped reading and its buffer is full: the rest is gone
};

class PtyLink {
  public:
    PtyLink() = default;
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;
    ~PtyLink() { close(); }

    // Opens a raw 19200-baud pseudo-terminal and links `name` to it. Replaces
    // an existing `name` only when it is a link to a pseudo-terminal or to
    // nothing (left behind by an earlier run). False with `error` set.
    bool open(const char* name, std::string* error);
    const std::string& device() const { return device_; }

    // Hands `size` bytes to the reader, waiting up to `wait_ms` for room. A
    // signal does not cut the bytes short.
    Delivery send(const unsigned char* data, size_t size, int wait_ms);

    // True once a reader has the line open, false when none came within
    // `wait_ms`.
    bool wait_for_reader(int wait_ms);

    // Waits up to `wait_ms` for the reader to take every byte sent: what it
    // has not read when the link closes is lost with the line.
    void drain(int wait_ms);

    // Removes the link, if it still points to this terminal, and closes it.
    void close();

  private:
    bool reader_attached();
    void discard_unread();

    int master_ = -1;
    std::string name_;
    std::string device_;
    bool had_reader_ = false;
};
