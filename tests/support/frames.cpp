#include "frames.h"

#include <fstream>
#include <stdexcept>

#include "frame_format.h"

void put(Frame* frame, int offset, const Bytes& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i)
        (*frame)[offset + i] = bytes[i];
}

Frame frame_with(int offset, const Bytes& bytes) {
    Frame frame{};
    put(&frame, offset, bytes);
    return frame;
}

Frame sealed(Frame frame) {
    uint16_t sum = frame_checksum(frame.data());
    frame[254] = static_cast<unsigned char>(sum >> 8);
    frame[255] = static_cast<unsigned char>(sum & 0xFF);
    return frame;
}

void append(Bytes* recording, const Frame& frame) {
    recording->insert(recording->end(), frame.begin(), frame.end());
}

void append(Bytes* recording, const Bytes& bytes) {
    recording->insert(recording->end(), bytes.begin(), bytes.end());
}

std::FILE* file_of(const Bytes& bytes) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) throw std::runtime_error("no temporary file");
    if (!bytes.empty()) std::fwrite(bytes.data(), bytes.size(), 1, file);
    std::rewind(file);
    return file;
}

Frame fixture_frame(const std::string& name) {
    std::ifstream in(std::string(KX_FIXTURES) + "/" + name);
    Frame frame{};
    size_t n = 0;
    for (unsigned byte = 0; n < frame.size() && in >> std::hex >> byte; ++n)
        frame[n] = static_cast<unsigned char>(byte);
    if (n != frame.size())
        throw std::runtime_error("fixture " + name + " holds fewer than 256 bytes");
    return frame;
}
