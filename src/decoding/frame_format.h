// The instrument's 256-byte telemetry frame: byte layout, 12-bit packing,
// frame mode, checksum and sync pattern. All multi-byte fields are big-endian.
#pragma once

#include <cstdint>

constexpr int FRAME_SIZE = 256;

constexpr unsigned char SYNC_FIRST = 0xEB;
constexpr unsigned char SYNC_SECOND = 0x90;

// Byte offsets of the fields.
constexpr int OFF_MODE = 5;
constexpr int OFF_COUNTER = 6;
constexpr int OFF_WORD_10 = 10;
constexpr int OFF_WORD_12 = 12;
constexpr int OFF_WORD_14 = 14;
constexpr int OFF_RATES = 16;   // 20 packed 12-bit values
constexpr int OFF_GROUPS = 46;  // 20 groups of 6 bytes
constexpr int OFF_COUNTS = 166; // 52 packed 12-bit values
constexpr int OFF_WORD_244 = 244;
constexpr int OFF_SCALED_246 = 246;
constexpr int OFF_SCALED_248 = 248;
constexpr int OFF_SCALED_250 = 250;
constexpr int OFF_WORD_252 = 252;
constexpr int OFF_CHECKSUM = 254;

constexpr int RATE_COUNT = 20;
constexpr int GROUP_COUNT = 20;
constexpr int GROUP_SIZE = 6;
constexpr int GROUP_VALUE_COUNT = 80;
constexpr int MODE_COUNT = 4;
constexpr int BINS_PER_MODE = 52;

// Decodes `count` 12-bit values from count/2 packed pairs (3 bytes each,
// first value in the upper 12 bits). `count` must be even; 0 or less does
// nothing.
void unpack(const unsigned char* source, int32_t* destination, int count);

// Unsigned big-endian 16-bit word at `offset`.
uint16_t word_at(const unsigned char* frame, int offset);

// The frame mode: low two bits of byte 5.
int frame_mode(const unsigned char* frame);

// Bytes 6-9 as a signed 32-bit value.
int32_t frame_counter(const unsigned char* frame);

// 16-bit wrapping sum of the 127 words in bytes 0-253.
uint16_t frame_checksum(const unsigned char* frame);

// True when the sum matches the word stored at bytes 254-255.
bool checksum_ok(const unsigned char* frame);
