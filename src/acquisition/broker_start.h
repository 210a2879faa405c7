// Starting kxview's session with a broker, before the run: a publisher's
// (the run goes on whatever the broker does) and a viewer's (a broker that
// refuses it ends the start, as a port that fails does).
#pragma once

#include <cstdio>

#include "broker_command_line.h"

// Starts publishing; false, said, when the session cannot start at all (a
// password or TLS file that fails).
bool start_publishing(const BrokerCommandLine& line);

// Connects the viewer and creates its copy of the records when it keeps one
// (`log`, null when not, and `journal` beside it); false, said, when the
// broker refuses it, or the copy cannot be created.
bool start_viewing(const BrokerCommandLine& line, std::FILE** log, std::FILE** journal);
