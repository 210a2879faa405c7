// The limits on the panel: each value field coloured by its limit's state,
// the limits drawn on the strip charts' traces, the alarm list with the
// operator's acknowledgements, the number of alarms in the window's title,
// the bell, and every state change in the run's journal.
#pragma once

#include "frame_values.h"

// The window's title names `name` (the recording, or the line), and the
// alarms not yet acknowledged once there are any.
void name_window(int panel, const char* name);

// Evaluates the limits on a good frame that came at `time` (NO_TIME: not
// known) and colours the fields whose state changed. A frame of `history`,
// shown again after a replay's jump, rings no bell.
void check_limits(int panel, const FrameValues& values, long long time, bool history);

// Writes the alarm list and the title when they lag behind the statuses,
// at most a few times a second: a flood of frames does not flood the panel.
void show_alarms(int panel);

// The operator's acknowledgement: of the alarm list's current row, or of
// every alarm when no row is current.
void acknowledge_alarms(int panel, int event_panel);

// After new limits were read: the fields, the traces' lines and the alarm
// list as they stand now.
void show_limits_in_force(int panel);

// Replay's jump: every limit as it was before the first frame, the fields
// and the list with it.
void restart_alarms(int panel);
