#include "command_line.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

bool is_standard(const CLI::App& app, const CLI::Option* option) {
    return option == app.get_help_ptr() || option == app.get_version_ptr();
}

bool takes_value(const CLI::Option* option) { return option->get_items_expected_min() > 0; }

// In the order they were defined, the positionals first and the standard
// options last, where a reader of the help looks for them.
std::vector<const CLI::Option*> listed_options(const CLI::App& app) {
    std::vector<const CLI::Option*> listed;
    for (bool positional : {true, false})
        for (const CLI::Option* option : app.get_options())
            if (option->nonpositional() != positional && !is_standard(app, option))
                listed.push_back(option);
    for (const CLI::Option* option : {app.get_help_ptr(), app.get_version_ptr()})
        if (option != nullptr) listed.push_back(option);
    return listed;
}

// "-h, --help", "--out FILE" or "RECORDING".
std::string option_names(const CLI::Option* option) {
    if (!option->nonpositional()) return option->get_name(true, false);
    std::string names;
    for (const std::string& name : option->get_snames())
        names += (names.empty() ? "-" : ", -") + name;
    for (const std::string& name : option->get_lnames())
        names += (names.empty() ? "--" : ", --") + name;
    return takes_value(option) ? names + " " + option->get_type_name() : names;
}

// The long name, and the value's name, as the usage line shows an option.
std::string usage_name(const CLI::Option* option) {
    std::string name = option->get_lnames().empty() ? "-" + option->get_snames().front()
                                                    : "--" + option->get_lnames().front();
    return takes_value(option) ? name + " " + option->get_type_name() : name;
}

bool excludes(const CLI::Option* option, const CLI::Option* other) {
    const auto& excluded = option->get_excludes();
    return excluded.find(const_cast<CLI::Option*>(other)) != excluded.end();
}

// Lays out the help; usage_line() makes its first line.
class HelpLayout : public CLI::FormatterBase {
  public:
    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        std::vector<const CLI::Option*> listed = listed_options(*app);
        size_t width = 0;
        for (const CLI::Option* option : listed)
            width = std::max(width, option_names(option).size());
        std::string help = usage_line(*app) + "\n\n" + app->get_description() + "\n";
        for (const CLI::Option* option : listed) {
            std::string names = option_names(option);
            std::string text = option->get_description();
            // A help of several lines keeps to its column.
            for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
                text.insert(at + 1, width + 4, ' ');
            help += "  " + names + std::string(width - names.size() + 2, ' ') + text + "\n";
        }
        const std::string& footer = app->get_footer();
        return footer.empty() ? help : help + "\n" + footer;
    }
};

} // namespace

void set_up_command_line(CLI::App* app, const std::string& footer) {
    app->set_help_flag("-h,--help", "show this help and exit");
    app->set_version_flag("--version", app->get_name() + " " + KX_VERSION,
                          "show the version and exit");
    app->footer(footer);
    app->formatter(std::make_shared<HelpLayout>());
}

std::string usage_line(const CLI::App& app) {
    std::string usage = "usage: " + app.get_name();
    const CLI::Option* previous = nullptr;
    for (const CLI::Option* option : listed_options(app)) {
        if (is_standard(app, option) || !option->nonpositional()) continue;
        if (previous != nullptr && excludes(previous, option))
            // Options that exclude each other share their brackets.
            usage.insert(usage.size() - 1, " | " + usage_name(option));
        else
            usage += " [" + usage_name(option) + "]";
        previous = option;
    }
    for (const CLI::Option* option : listed_options(app)) {
        if (option->nonpositional()) continue;
        std::string name = option->get_name(true, false);
        usage += option->get_required() ? " " + name : " [" + name + "]";
    }
    return usage;
}

int parse_command_line(CLI::App* app, int argc, const char* const* argv) {
    // CLI11 takes the arguments last first; argc is 0 for an empty vector.
    std::vector<std::string> arguments;
    for (int i = argc - 1; i > 0; --i)
        arguments.emplace_back(argv[i]);
    try {
        app->parse(std::move(arguments));
    } catch (const CLI::CallForHelp&) {
        std::fputs(app->help().c_str(), stdout);
        return 0;
    } catch (const CLI::CallForVersion& version) {
        std::printf("%s\n", version.what());
        return 0;
    } catch (const CLI::ParseError& error) {
        std::fprintf(stderr, "%s: %s\n%s\n", app->get_name().c_str(), error.what(),
                     usage_line(*app).c_str());
        return EXIT_USAGE;
    }
    return KEEP_RUNNING;
}
