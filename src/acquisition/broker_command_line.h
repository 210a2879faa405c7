// kxview's options for watching a run through a broker: publishing a live
// run (--publish) or viewing one (a RECORDING named mqtt://...), with
// credentials and TLS as mosquitto's own clients take them.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "broker_settings.h"

struct BrokerCommandLine {
    std::string publish;     // --publish's address
    std::string log;         // a viewer's copy of the records, in varno.dat's format
    BrokerSettings settings; // the broker's, once the command line is parsed
    int role = 0;            // BrokerRole, once parsed
};

// Adds the options to `app`, whose positional `recording` may name a broker
// instead; after the parse, `line` says which role kxview takes, if any.
void add_broker_options(CLI::App* app, CLI::Option* recording, const std::string* recorded,
                        BrokerCommandLine* line);
