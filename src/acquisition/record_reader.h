// Reads a recording (a plain sequence of 256-byte frames) as records that
// pass the frame checksum, resynchronising on 0xEB 0x90 after a bad one.
// Used without pacing by the batch decoder and, paced, by the replay source.
#pragma once

#include <cstdint>
#include <cstdio>

// The stream records are read from; set once before reading.
void set_replay_stream(std::FILE* stream);
std::FILE* replay_stream();

// Reads the next record that passes the checksum into `frame`. Returns 0, or
// -1 when the input has ended (end of file, a short tail, or a bad record with
// no sync pattern after it).
int read_record(unsigned char* frame);

// After a bad record: moves the stream to the next 0xEB 0x90, scanning from
// the bad record's second byte. Returns 0 there, 1 at the end of the file.
int resync();

// Bytes passed over by resynchronisation since start; never reset.
int32_t skipped_bytes();
// Counts bytes passed over elsewhere (the live source realigning) alike.
void add_skipped_bytes(int32_t bytes);
