// Replay's transport: play and pause, a frame forward or back, to the start
// or the end, a position to go to, and the pace. Untouched, a replay plays
// at five frames a second from where it stands, as it always has.
#pragma once

#include <cstdint>
#include <cstdio>

#include "accumulator.h"

// The speeds, as the speed control's values: frames a second when positive,
// as fast as the display takes them at 0, and as the journal says the frames
// came, times -SPEED, when negative.
constexpr int SPEED_STANDARD = 5;
constexpr int SPEED_FASTEST = 0;
constexpr int SPEED_AS_RECORDED = -1;

// get_frm's answer in replay when no frame is due yet: paused, or waiting
// for the frame's time.
constexpr int FRAME_LATER = 3;

struct ReplayTransport {
    bool playing = true;
    bool step = false;   // read the next frame now, paused or not
    bool at_end = false; // the last read found no more frames
    int speed = SPEED_STANDARD;
    int64_t frame = -1;        // the number of the frame in hand among the good ones, from 0
    char status[48] = " ";     // the status line's text for a frame shown
    int64_t start_at = -1;     // a frame to go to when the first pass starts
    double last_attempt = 0.0; // Timer() at the last read: the pace counts from it
    int64_t slider_end = -1;   // the frames the position slider spans
    std::FILE* recording = nullptr;
};

// Starts a replay of `recording` (null: none) from its current byte.
void start_replay(std::FILE* recording);

// The next good frame when it is due (0), FRAME_LATER before, or -1 when
// the recording has no more.
int replay_frame(unsigned char* frame);

// Shows the transport's controls in replay, hides them live.
void offer_transport(int panel, int source);

// Readies the transport for a replay's pass: the controls that need a
// regular file greyed out when it is not one, and the start position.
void set_up_transport(int panel, SpectrumStore* store);

// Shows where the replay stands: the slider and "frame N of M".
void show_position(int panel);

// What the status line says with a frame shown: nothing, or, once the
// spectrum no longer starts at the recording's first frame, where it does.
const char* frame_status();

// Answers a commit on a transport control. False for another control.
bool answer_transport(int panel, int control, SpectrumStore* store);
