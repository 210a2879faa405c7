// Keeps an earlier raw log from being emptied by a new live start.
#pragma once

#include <string>

// Moves a non-empty regular file `path` ("NAME.EXT") aside to
// NAME-YYYYMMDD-HHMMSS.EXT after its modification time (local time), with
// -1, -2, ... added when that name is taken: nothing is ever overwritten.
// Its journal NAME.tsv goes with it, to the same name with .tsv, and goes
// alone when only it holds anything (a run that read no byte). Says on
// standard error what was moved. Returns false, with the reason in `error`,
// when a file is there but could not be moved; true otherwise.
bool move_earlier_log_aside(const char* path, std::string* error);
