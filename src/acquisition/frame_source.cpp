#include "frame_source.h"

#include "frame_format.h"
#include "record_reader.h"
#include "runtime.h"

namespace {

constexpr int PORT = 1;
constexpr double REPLAY_PAUSE = 0.2; // holds replay to five frames a second

} // namespace

int get_frm(unsigned char* frame, int source) {
    switch (source) {
    case SOURCE_LIVE: return ComRd(PORT, frame, FRAME_SIZE) == FRAME_SIZE ? 0 : -1;
    case SOURCE_REPLAY: Delay(REPLAY_PAUSE); return read_record(frame);
    default: return -1;
    }
}
