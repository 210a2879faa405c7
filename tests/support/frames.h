// Frames and recordings built for the tests.
#pragma once

#include <array>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame_format.h"

using Frame = std::array<unsigned char, 256>;
using Bytes = std::vector<unsigned char>;

// Writes `bytes` from `offset` on.
inline void put(Frame* frame, int offset, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), frame->begin() + offset);
}

// A frame of zero bytes with `bytes` written from `offset` on.
inline Frame frame_with(int offset, const Bytes& bytes) {
    Frame frame{};
    put(&frame, offset, bytes);
    return frame;
}

// Writes the checksum that makes `frame` pass.
inline Frame sealed(Frame frame) {
    uint16_t sum = frame_checksum(frame.data());
    put(&frame, 254, {static_cast<unsigned char>(sum >> 8), static_cast<unsigned char>(sum)});
    return frame;
}

// Records and raw bytes, one after another; of one frame, its bytes.
template <class... Parts> Bytes joined(const Parts&... parts) {
    Bytes bytes;
    bytes.reserve((parts.size() + ...));
    (bytes.insert(bytes.end(), parts.begin(), parts.end()), ...);
    return bytes;
}

// A temporary file holding `bytes`, positioned at its start (closed by the
// caller, removed by the system).
inline std::FILE* file_of(const Bytes& bytes) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) throw std::runtime_error("no temporary file");
    if (!bytes.empty()) std::fwrite(bytes.data(), bytes.size(), 1, file);
    std::rewind(file);
    return file;
}
