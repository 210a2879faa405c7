// kxdump's journal: the one beside the recording or the one named, read
// whole, with each line that does not match the recording reported.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "journal_reader.h"

struct JournalChoice {
    const std::string* recording;            // as named on the command line; "-": standard input
    std::FILE* recording_file;               // open, for its size and identity
    const std::optional<std::string>* named; // --journal
    const char* option;                      // the option that needs it, for the message
    // The journal is welcome but not needed: none beside the recording is no
    // error, and leaves `name` empty.
    bool optional = false;
};

// Reads the journal into `reading` and its name into `name`, and reports
// its problems on standard error ("kxdump: NAME: line N: ..."). Returns 0,
// or the exit status: 2 when there is no journal, 1 when it cannot be
// opened or not a line of it is usable. An optional journal that is not
// there gives 0 and an empty name.
int load_journal(const JournalChoice& choice, JournalReading* reading, std::string* name);
