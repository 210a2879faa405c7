// Building frames and recordings for the tests.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

using Frame = std::array<unsigned char, 256>;
using Bytes = std::vector<unsigned char>;

// A frame of zero bytes with `bytes` written from `offset` on.
Frame frame_with(int offset, const Bytes& bytes);
// Writes `bytes` from `offset` on.
void put(Frame* frame, int offset, const Bytes& bytes);
// Writes the checksum that makes `frame` pass.
Frame sealed(Frame frame);
// Appends records or raw bytes to a recording.
void append(Bytes* recording, const Frame& frame);
void append(Bytes* recording, const Bytes& bytes);
// A temporary file holding `bytes`, positioned at its start (closed by the
// caller, removed by the system).
std::FILE* file_of(const Bytes& bytes);
// The 256 bytes of a frame written in tests/fixtures/NAME as hex pairs
// separated by white space.
Frame fixture_frame(const std::string& name);
