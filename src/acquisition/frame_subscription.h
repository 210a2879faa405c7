// A run viewed through a broker (kxview mqtt://...): the records that
// libmosquitto's thread received wait in the link's bounded ring, and the
// frame path takes them where a live run reads the line. Records lost on the
// way, in the broker or in the ring, show as gaps in their sequence numbers.
#pragma once

#include <cstdint>

// The next received record into `frame`: 0 when it passed the checksum, 1
// when not; FRAME_LATER when none came, after a wait that the next message
// to come ends (the window stays painted).
int broker_frame(unsigned char* frame);

// Messages received and not yet taken: what one service turn takes in a go.
int frames_received();

// Where the record in hand starts in the viewer's copy (--log), and when it
// arrived at the publisher (or NO_TIME).
int64_t broker_frame_offset();
long long broker_frame_arrival();

// The status line's text while viewing: the broker or the publisher gone,
// records lost on the way; `status` when all is well. Said in the viewer's
// journal too, when it keeps one, as the broker and publisher come and go.
const char* viewing_status(const char* status);
