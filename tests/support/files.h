// Whole files read and written, whether a name exists, and lines of text.
#pragma once

#include <string>
#include <vector>

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
void write_file(const std::string& path, const std::vector<unsigned char>& bytes);
// True when `path` names anything, a dangling link included.
bool entry_exists(const std::string& path);
// The lines of `text`, without their newlines.
std::vector<std::string> lines_of(const std::string& text);
