// A guard in front of toml++ 3.3.0, Debian 12's: its test for Unicode
// whitespace reaches __builtin_unreachable() for most characters other than
// ASCII (toml++ issues 190 and 295, fixed after 3.3.0), which is undefined
// behaviour on a typing error such as "yellow_high = 50 µ", and the parser
// asks that test wherever it scans for the end of a value. So it is given
// only ASCII: every other character written as the escape TOML reads back
// as that character, in a double-quoted string, or turned away.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Why the text cannot be made ASCII, and where.
struct GuardProblem {
    uint32_t line = 0; // from 1
    const char* why = "";
};

// `text` with each character other than ASCII in a double-quoted string as
// a \u or \U escape and in a comment as "?"; lines stay where they were.
// False, with the problem, for text that is not UTF-8 or such a character
// anywhere else (a single-quoted string takes no escape).
bool ascii_toml(std::string_view text, std::string* out, GuardProblem* problem);
