#include "command_line.h"

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

void print_version(const char* tool) { std::printf("%s %s\n", tool, KX_VERSION); }

void print_usage_error(std::FILE* stream, const char* tool, const std::string& message,
                       const char* usage) {
    std::fprintf(stream, "%s: %s\n%s\n", tool, message.c_str(), usage);
}
