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
    // The words' high and low bytes are summed apart over the whole frame, a
    // fixed-length loop of narrow adds that compilers turn into vector code;
    // the stored checksum word is taken back out at the end. Neither sum of
    // 128 bytes can wrap.
    uint16_t high = 0;
    uint16_t low = 0;
    for (int offset = 0; offset < FRAME_SIZE; offset += 2) {
        high = static_cast<uint16_t>(high + frame[offset]);
        low = static_cast<uint16_t>(low + frame[offset + 1]);
    }
    return static_cast<uint16_t>((high << 8) + low - word_at(frame, OFF_CHECKSUM));
}

bool checksum_ok(const unsigned char* frame) {
    return frame_checksum(frame) == word_at(frame, OFF_CHECKSUM);
}
