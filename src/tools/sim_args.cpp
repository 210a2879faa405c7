#include "sim_args.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

namespace {

// The whole of `text` as a number of type T.
template <typename T> bool parse_number(std::string_view text, T* value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool bad_value(std::string_view option, std::string_view text, const char* expected,
               std::string* error) {
    *error =
        "invalid value '" + std::string(text) + "' for " + std::string(option) + ": " + expected;
    return false;
}

bool parse_value(std::string_view option, std::string_view text, SimArgs* args,
                 std::string* error) {
    double p = 0.0;
    if (option == "--count")
        return (parse_number(text, &args->count) && args->count >= 0) ||
               bad_value(option, text, "expected a whole number, 0 or more", error);
    if (option == "--seed")
        return parse_number(text, &args->seed) ||
               bad_value(option, text, "expected a whole number, 0 or more", error);
    if (option == "--rate")
        return (parse_number(text, &args->rate) && args->rate >= MIN_RATE &&
                std::isfinite(args->rate)) ||
               bad_value(option, text, "expected frames a second, 0.01 or more", error);
    if (!parse_number(text, &p) || !(p >= 0.0 && p <= 1.0))
        return bad_value(option, text, "expected a probability from 0 to 1", error);
    if (option == "--bad") args->faults.bad = p;
    if (option == "--junk") args->faults.junk = p;
    if (option == "--drop") args->faults.drop = p;
    return true;
}

bool sim_option(std::string_view option, const char* value, SimArgs* args, std::string* error) {
    if (option == "--out") {
        args->out = value;
        return true;
    }
    if (option == "--link") {
        args->link = value;
        return true;
    }
    return parse_value(option, value, args, error);
}

bool known_option(std::string_view arg) {
    for (const char* option :
         {"--out", "--link", "--count", "--rate", "--seed", "--bad", "--junk", "--drop"})
        if (arg == option) return true;
    return false;
}

Command check_combination(SimArgs* args, std::string* error) {
    if (args->out != nullptr && args->link != nullptr) {
        *error = "--out and --link exclude each other";
        return Command::usage_error;
    }
    if (args->out != nullptr && args->rate > 0.0) {
        *error = "--rate paces the link; --out writes at full speed";
        return Command::usage_error;
    }
    if (args->out == nullptr && args->link == nullptr) args->link = DEFAULT_LINK;
    return Command::run;
}

} // namespace

Command parse_sim_args(int argc, const char* const* argv, SimArgs* args, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        Command standard;
        if (standard_option(arg, &standard)) return standard;
        if (!known_option(arg)) {
            *error = arg.starts_with("-") ? "unknown option '" + std::string(arg) + "'"
                                          : "unexpected argument '" + std::string(arg) + "'";
            return Command::usage_error;
        }
        if (i + 1 >= argc) {
            *error = std::string(arg) + " needs a value";
            return Command::usage_error;
        }
        if (!sim_option(arg, argv[++i], args, error)) return Command::usage_error;
    }
    return check_combination(args, error);
}
