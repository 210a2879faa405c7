// kxsim --spike: a value of the simulated instrument forced for a run of
// frames, so that a limit can be tripped on purpose, to any state and for
// as long as its persistence needs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct Spike {
    int value;     // the watched value (limit_values.h)
    double amount; // in the value's units, as kxdump shows it
    int64_t first; // the instrument's frame number, from 0
    int64_t count; // frames from `first`; those of a mode that does not carry the value keep it
};

// "NAME=VALUE@FRAME[+COUNT]" into `spike`. Returns "" or why the text is not
// one, for a usage error.
std::string parse_spike(std::string_view text, Spike* spike);

// Sets the values spiked at frame `number` (the instrument's, from 0) and
// the checksum, which must hold for the reader to take the frame.
void apply_spikes(const std::vector<Spike>& spikes, int64_t number, unsigned char* frame);
