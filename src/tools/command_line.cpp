#include "command_line.h"

#include <cstdio>

bool standard_option(std::string_view arg, Command* command) {
    if (arg == "-h" || arg == "--help") {
        *command = Command::help;
        return true;
    }
    if (arg == "--version") {
        *command = Command::version;
        return true;
    }
    return false;
}

int answer_command(Command command, const ToolText& tool, const std::string& error) {
    switch (command) {
    case Command::help: std::printf("%s\n\n%s", tool.usage, tool.help); return 0;
    case Command::version: std::printf("%s %s\n", tool.name, KX_VERSION); return 0;
    case Command::usage_error:
        std::fprintf(stderr, "%s: %s\n%s\n", tool.name, error.c_str(), tool.usage);
        return EXIT_USAGE;
    case Command::run: break;
    }
    return KEEP_RUNNING;
}
