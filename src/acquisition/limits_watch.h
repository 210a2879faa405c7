// kxview's limits file, "kx-limits.toml": found where the panel file is, read
// at the start and again whenever it changes on disk, without a restart and
// without losing the alarms raised so far. A file with a problem is not used:
// its problems go to standard error and the first to the status line, and
// the limits in force stay (none at the start).
#pragma once

// Looks for the limits file and reads it. None is no error, and says nothing.
void start_limits(int panel);

// Reads the limits file again when it changed since it was read: looked at
// about once a second, from the service loop.
void watch_limits_file(int panel);

// What the status line says while the file on disk is not the one in force,
// or null.
const char* limits_problem();
