#include "frame_format.h"

void unpack(const unsigned char* source, int32_t* destination, int count) {
    for (; count > 0; count -= 2, source += 3, destination += 2) {
        destination[0] = source[0] << 4 | source[1] >> 4;
        destination[1] = (source[1] & 0x0F) << 8 | source[2];
    }
}

uint16_t word_at(const unsigned char* frame, int offset) {
    return static_cast<uint16_t>(frame[offset] << 8 | frame[offset + 1]);
}

int frame_mode(const unsigned char* frame) { return frame[OFF_MODE] & 3; }

int32_t frame_counter(const unsigned char* frame) {
    uint32_t bits =
        static_cast<uint32_t>(word_at(frame, OFF_COUNTER)) << 16 | word_at(frame, OFF_COUNTER + 2);
    return static_cast<int32_t>(bits); // two's complement, well defined since C++20
}

uint16_t frame_checksum(const unsigned char* frame) {
    uint16_t sum = 0;
    for (int offset = 0; offset < OFF_CHECKSUM; offset += 2)
        sum = static_cast<uint16_t>(sum + word_at(frame, offset));
    return sum;
}

bool checksum_ok(const unsigned char* frame) {
    return frame_checksum(frame) == word_at(frame, OFF_CHECKSUM);
}
