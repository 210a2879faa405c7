// The instrument's end of a serial line: a pseudo-terminal whose slave the
// program under test opens by a name of our choosing.
#pragma once

#include <string>
#include <vector>

// A pseudo-terminal in raw mode whose slave is linked as `link`.
class LinkedPty {
  public:
    explicit LinkedPty(const std::string& link);
    ~LinkedPty();
    LinkedPty(const LinkedPty&) = delete;
    LinkedPty& operator=(const LinkedPty&) = delete;
    // Writes all of `bytes` to the master side, waiting (bounded) for room.
    void write(const std::vector<unsigned char>& bytes);
    // Closes the master side, as when the instrument's adapter is unplugged.
    void hang_up();

  private:
    int master_ = -1;
    int slave_ = -1; // kept open so the line stays up while the program opens it
};
