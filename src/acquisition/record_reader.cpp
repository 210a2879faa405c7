#include "record_reader.h"

#include <limits>

#include "frame_format.h"

namespace {

std::FILE* replay = nullptr;
int32_t skipped = 0; // shown on the panel; saturates rather than wrapping

void count_skipped(int32_t bytes) {
    int64_t total = static_cast<int64_t>(skipped) + bytes;
    skipped = total > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                          : static_cast<int32_t>(total);
}

} // namespace

void set_replay_stream(std::FILE* stream) { replay = stream; }
std::FILE* replay_stream() { return replay; }
int32_t skipped_bytes() { return skipped; }
void add_skipped_bytes(int32_t bytes) { count_skipped(bytes); }

int read_record(unsigned char* frame) {
    while (std::fread(frame, FRAME_SIZE, 1, replay) == 1) {
        if (checksum_ok(frame)) return 0;
        if (resync() != 0) break;
    }
    return -1;
}

int resync() {
    // Back to the bad record's second byte: its own first two bytes are never
    // taken for the pattern.
    std::fseek(replay, 1 - FRAME_SIZE, SEEK_CUR);
    count_skipped(1);
    bool seen_first = false;
    for (int c; (c = std::getc(replay)) != EOF;) {
        count_skipped(1);
        if (seen_first && c == SYNC_SECOND) {
            std::fseek(replay, -2, SEEK_CUR); // stand at the 0xEB
            count_skipped(-2);
            return 0;
        }
        // A byte that breaks a started pair is not looked at again as a
        // possible first byte: 0xEB 0xEB 0x90 is no pattern.
        seen_first = !seen_first && c == SYNC_FIRST;
    }
    return 1;
}
