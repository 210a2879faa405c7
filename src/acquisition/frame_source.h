// Hands the service loop one 256-byte frame at a time.
#pragma once

enum SourceFlag {
    SOURCE_LIVE = 0,
    SOURCE_REPLAY = 1,
};

// Live: one 256-byte read from COM1, taken as is. Replay: waits 0.2 s, then
// reads the next record that passes the checksum. Returns 0 for a frame in
// `frame`, -1 for none (short or failed read, end of input, unknown flag).
int get_frm(unsigned char* frame, int source);
