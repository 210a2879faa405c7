// kx_flood: the instrument's line with no baud rate. Links a pseudo-terminal
// as LINK and, once told "go" on standard input, writes whole simulated
// frames as fast as the reader takes them, keeping a copy of every frame
// written in COPY, until told "stop". It then prints what it wrote and holds
// the line open until standard input closes, so that the reader loses
// nothing it had not yet read.
//
//   kx_flood LINK COPY
//   stdin: "go", "stop"; stdout after "stop": "written FRAMES" or
//   "stalled FRAMES" when the reader stopped taking bytes mid-frame.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <poll.h>
#include <unistd.h>

#include "frame_format.h"
#include "instrument.h"
#include "pty_link.h"

namespace {

constexpr const char* TOOL = "kx_flood";
constexpr double LINE_FRAME_PERIOD_S = FRAME_SIZE * 10.0 / 19200.0; // the clocks in the frames
constexpr int STALL_MS = 5000; // a reader that takes nothing for this long has stopped
constexpr uint64_t SEED = 1;

enum class Command { none, go, stop, closed };

// The next command on standard input, without waiting unless `wait`.
Command next_command(bool wait) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, wait ? -1 : 0) <= 0) return Command::none;
    char line[64];
    ssize_t got = read(STDIN_FILENO, line, sizeof line - 1);
    if (got <= 0) return Command::closed;
    line[got] = '\0';
    if (std::strncmp(line, "go", 2) == 0) return Command::go;
    if (std::strncmp(line, "stop", 4) == 0) return Command::stop;
    return Command::none;
}

// Writes frames until a command other than "go" comes. False when the reader
// stalled, leaving part of a frame on the line.
bool flood(PtyLink* link, std::FILE* copy, long* frames, Command* last) {
    Instrument instrument(SEED, LINE_FRAME_PERIOD_S);
    unsigned char frame[FRAME_SIZE];
    for (;;) {
        *last = next_command(false);
        if (*last == Command::stop || *last == Command::closed) return true;
        instrument.next_frame(frame);
        if (link->send(frame, FRAME_SIZE, STALL_MS) != Delivery::sent) return false;
        if (std::fwrite(frame, FRAME_SIZE, 1, copy) != 1) return false;
        ++*frames;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s LINK COPY\n", TOOL);
        return 2;
    }
    PtyLink link;
    std::string error;
    if (!link.open(argv[1], &error)) {
        std::fprintf(stderr, "%s: %s\n", TOOL, error.c_str());
        return 1;
    }
    std::FILE* copy = std::fopen(argv[2], "wb");
    if (copy == nullptr) {
        std::fprintf(stderr, "%s: cannot open %s: %s\n", TOOL, argv[2], std::strerror(errno));
        return 1;
    }
    Command command = next_command(true);
    while (command == Command::none)
        command = next_command(true);
    if (command == Command::go) {
        long frames = 0;
        bool whole = flood(&link, copy, &frames, &command);
        std::fclose(copy);
        std::printf("%s %ld\n", whole ? "written" : "stalled", frames);
        std::fflush(stdout);
    } else {
        std::fclose(copy);
    }
    while (command != Command::closed)
        command = next_command(true);
    return 0;
}
