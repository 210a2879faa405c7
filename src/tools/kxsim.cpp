// kxsim: the instrument on a desk. Writes a recording at full speed, or
// streams frames over a pseudo-terminal, paced like the real serial line or
// as fast as the reader takes them.
#include <cerrno>
#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "sim_link.h"
#include "sim_records.h"

namespace {

constexpr const char* TOOL = "kxsim";
constexpr const char* DESCRIPTION =
    "Simulates the instrument: realistic 256-byte telemetry frames, with faults on request.\n";
constexpr const char* FOOTER =
    "At the end it reports on standard error how many records were sent good, corrupted\n"
    "or dropped, and how much junk. Ctrl-Z (SIGTSTP) pauses it between two records,\n"
    "after the same report; fg (SIGCONT) resumes.\n";

constexpr int64_t DEFAULT_FILE_COUNT = 1000;
// The slowest pace: a frame every 100 s keeps the instrument's clocks sane.
constexpr double MIN_RATE = 0.01;

struct SimArgs {
    std::optional<std::string> out; // write a recording here, or else stream on the link
    LinkOptions link;
    RecordOptions records;
};

// "max" stands for an infinite rate: no pacing at all.
CLI::Validator rate_check() {
    CLI::Validator number =
        number_from<double>(MIN_RATE, DBL_MAX, "frames a second, 0.01 or more, or max");
    return CLI::Validator(
        [number](std::string& text) {
            if (text != "max") return number(text);
            text = "inf";
            return std::string();
        },
        "");
}

// The options, each with its help, once.
void define_options(CLI::App* app, SimArgs* args) {
    const auto whole = number_from<int64_t>(0, INT64_MAX, "a whole number, 0 or more");
    const auto probability = number_from<double>(0.0, 1.0, "a probability from 0 to 1");
    CLI::Option* out = app->add_option(
        "--out", args->out, "write a recording to FILE at full speed (1000 frames unless --count)");
    out->type_name("FILE");
    app->add_option("--link", args->link.name,
                    "stream on a pseudo-terminal linked as NAME in the working directory,\n"
                    "paced like the 19200 baud line (the default, as COM1, until stopped)")
        ->type_name("NAME")
        ->excludes(out);
    app->add_option("--count", args->records.count, "frames to send")->type_name("N")->check(whole);
    app->add_option("--rate", args->link.rate,
                    "frames a second on the link, at most the line's 7.5; max: as fast as\n"
                    "the reader takes them, waiting for one when there is none")
        ->type_name("FPS")
        ->transform(rate_check())
        ->excludes(out);
    app->add_option("--burst", args->link.burst,
                    "the first N frames on the link as fast as the reader takes them,\n"
                    "then the pace (fills a display's charts at once)")
        ->type_name("N")
        ->check(whole)
        ->excludes(out);
    app->add_flag("--random", args->records.random,
                  "frames of random bytes (checksum correct) instead of the instrument's");
    app->add_option("--seed", args->records.seed,
                    "the same seed and options give the same bytes (default 1)")
        ->type_name("S")
        ->check(number_from<uint64_t>(0, UINT64_MAX, "a whole number, 0 or more"));
    app->add_option("--bad", args->records.faults.bad,
                    "probability that a record's checksum is broken")
        ->type_name("P")
        ->check(probability);
    app->add_option("--junk", args->records.faults.junk,
                    "probability of junk bytes before a record")
        ->type_name("P")
        ->check(probability);
    app->add_option("--drop", args->records.faults.drop, "probability that a record loses its tail")
        ->type_name("P")
        ->check(probability);
}

int write_recording(const SimArgs& args) {
    std::FILE* out = std::fopen(args.out->c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "%s: cannot open %s: %s\n", TOOL, args.out->c_str(),
                     std::strerror(errno));
        return 1;
    }
    Records records(args.records, LINE_FRAME_PERIOD_S);
    int64_t count = args.records.count < 0 ? DEFAULT_FILE_COUNT : args.records.count;
    int error = 0; // errno of the first failed call: later calls may change errno
    for (int64_t i = 0; i < count && error == 0; ++i) {
        const std::vector<unsigned char>& bytes = records.next();
        if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) error = errno;
    }
    if (std::fclose(out) != 0 && error == 0) error = errno;
    if (error != 0) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", TOOL, args.out->c_str(),
                     std::strerror(error));
        return 1;
    }
    report_records(records.tally(), 0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    SimArgs args;
    CLI::App app(DESCRIPTION, TOOL);
    define_options(&app, &args);
    set_up_command_line(&app, FOOTER);
    int status = parse_command_line(&app, argc, argv);
    if (status != KEEP_RUNNING) return status;
    return args.out ? write_recording(args) : stream_on_link(args.link, args.records);
}
