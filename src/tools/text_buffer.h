// Text built up through a pointer into storage that only ever grows: the
// batch decoder writes millions of numbers, and string appends one piece at
// a time cost more than the decoding.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

class TextBuffer {
  public:
    std::string_view view() const { return {storage_.data(), used_}; }
    size_t size() const { return used_; }
    // Empties the text and keeps the storage.
    void clear() { used_ = 0; }

    void text(std::string_view s) {
        std::memcpy(room(s.size()), s.data(), s.size());
        used_ += s.size();
    }
    void character(char c) {
        *room(1) = c;
        ++used_;
    }
    // Integers as they are; a double or a float as the shortest text that
    // reads back to the same value.
    template <typename T> void number(T value) {
        char* start = room(NUMBER_TEXT_SIZE);
        char* end = std::to_chars(start, start + NUMBER_TEXT_SIZE, value).ptr;
        used_ += static_cast<size_t>(end - start);
    }

  private:
    // Longer than the longest shortest-form double, "-2.2250738585072014e-308".
    static constexpr size_t NUMBER_TEXT_SIZE = 32;
    static constexpr size_t FIRST_SIZE = 1 << 14;

    char* room(size_t size) {
        if (used_ + size > storage_.size())
            storage_.resize(2 * storage_.size() + size + FIRST_SIZE);
        return storage_.data() + used_;
    }

    std::vector<char> storage_;
    size_t used_ = 0; // storage_ beyond this is room, not text
};
