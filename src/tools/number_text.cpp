#include "number_text.h"

#include <charconv>

namespace {

// Longer than the longest shortest-form double, "-2.2250738585072014e-308".
constexpr int NUMBER_TEXT_SIZE = 32;

template <typename T> void append_shortest(std::string& out, T value) {
    char text[NUMBER_TEXT_SIZE];
    auto result = std::to_chars(text, text + NUMBER_TEXT_SIZE, value);
    out.append(text, result.ptr);
}

} // namespace

void append_int(std::string& out, int64_t value) { append_shortest(out, value); }
void append_double(std::string& out, double value) { append_shortest(out, value); }
void append_float(std::string& out, float value) { append_shortest(out, value); }
