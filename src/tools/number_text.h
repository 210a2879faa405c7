// Numbers as text for the batch decoder's output: integers as they are, a
// double or a float as the shortest text that reads back to the same value.
#pragma once

#include <cstdint>
#include <string>

void append_int(std::string& out, int64_t value);
void append_double(std::string& out, double value);
void append_float(std::string& out, float value);
