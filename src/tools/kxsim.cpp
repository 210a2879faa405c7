// kxsim: the instrument on a desk. Writes a recording at full speed, or
// streams frames over a pseudo-terminal, paced like the real serial line or
// as fast as the reader takes them.
#include <cerrno>
#include <cfloat>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "command_line.h"
#include "journal_format.h"
#include "sim_journal.h"
#include "sim_link.h"
#include "sim_records.h"
#include "sim_spikes.h"

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
    std::optional<std::string> start_time; // the journal's start, ISO 8601 UTC; none: now
    std::vector<std::string> notes;        // "N:TEXT", a note after frame N
    std::vector<std::string> spikes;       // "NAME=VALUE@FRAME[+COUNT]", as given
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

// A recording named like its own journal would be overwritten by it.
CLI::Validator not_a_journal_name() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (journal_path_for(text) != text) return {};
            return "invalid value '" + text + "': its journal would be the recording itself";
        },
        "");
}

CLI::Validator utc_time() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            int64_t ignored = 0;
            if (parse_utc(text, &ignored)) return {};
            return "invalid value '" + text +
                   "': expected an ISO 8601 UTC time such as 2026-12-07T14:32:00Z";
        },
        "");
}

// "N:TEXT" into a note; false when it is not one.
bool parse_note(const std::string& text, SimNote* note) {
    size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + colon, note->frame);
    note->text = text.substr(colon + 1);
    return error == std::errc() && end == text.data() + colon && note->frame >= 0;
}

CLI::Validator note_check() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            SimNote ignored;
            if (parse_note(text, &ignored)) return {};
            return "invalid value '" + text + "': expected N:TEXT, a frame number and the note";
        },
        "");
}

CLI::Validator spike_check() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            Spike ignored;
            std::string why = parse_spike(text, &ignored);
            return why.empty() ? why : "invalid value '" + text + "': " + why;
        },
        "");
}

void define_journal_options(CLI::App* app, SimArgs* args, CLI::Option* out) {
    app->add_option("--start-time", args->start_time,
                    "the journal's start, ISO 8601 UTC (default: now); the first record\n"
                    "comes a frame's time (0.133 s) later, each next one as much again")
        ->type_name("TIME")
        ->check(utc_time())
        ->needs(out);
    app->add_option("--note", args->notes,
                    "a note in the journal right after frame N, numbered as kxdump numbers\n"
                    "good frames, from 0 (repeatable)")
        ->type_name("N:TEXT")
        ->check(note_check())
        ->allow_extra_args(false)
        ->needs(out);
}

// The options, each with its help, once.
void define_options(CLI::App* app, SimArgs* args) {
    const auto whole = number_from<int64_t>(0, INT64_MAX, "a whole number, 0 or more");
    const auto probability = number_from<double>(0.0, 1.0, "a probability from 0 to 1");
    CLI::Option* out =
        app->add_option("--out", args->out,
                        "write a recording to FILE at full speed (1000 frames unless --count),\n"
                        "and its journal beside it (FILE's extension replaced by .tsv)");
    out->type_name("FILE")->check(not_a_journal_name());
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
    app->add_option("--spike", args->spikes,
                    "NAME=VALUE@FRAME[+COUNT]: set value NAME, named as in a limits file\n"
                    "(words.*, scaled.*, tenths.*, rates.*, groups.*), to VALUE in COUNT\n"
                    "frames (default 1) from frame FRAME, the instrument's, from 0; frames\n"
                    "of a mode that does not carry NAME keep theirs (repeatable)")
        ->type_name("SPIKE")
        ->check(spike_check())
        ->allow_extra_args(false);
    define_journal_options(app, args, out);
}

void report_failure(const char* verb, const std::string& path, int error) {
    std::fprintf(stderr, "%s: cannot %s %s: %s\n", TOOL, verb, path.c_str(), std::strerror(error));
}

// Flushes and closes `file`; the errno of the first failure stays in `error`.
void close_file(std::FILE* file, int* error) {
    if ((std::fflush(file) != 0 || std::ferror(file)) && *error == 0) *error = errno ? errno : EIO;
    if (std::fclose(file) != 0 && *error == 0) *error = errno;
}

// A journal goes beside a recording of its own, not beside a device or a pipe.
bool is_regular_file(std::FILE* file) {
    struct stat status;
    return fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
}

int64_t start_microseconds(const SimArgs& args) {
    int64_t start = 0;
    if (args.start_time && parse_utc(*args.start_time, &start)) return start;
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// What the start event says: the program and what shapes the records.
std::string start_text(const SimArgs& args) {
    const RecordOptions& records = args.records;
    char text[256];
    std::snprintf(text, sizeof text, "kxsim %s --seed %llu%s --bad %g --junk %g --drop %g",
                  KX_VERSION, static_cast<unsigned long long>(records.seed),
                  records.random ? " --random" : "", records.faults.bad, records.faults.junk,
                  records.faults.drop);
    std::string start = text;
    for (const std::string& spike : args.spikes)
        start += " --spike " + spike;
    return start;
}

std::vector<Spike> parsed_spikes(const std::vector<std::string>& texts) {
    std::vector<Spike> spikes(texts.size());
    for (size_t i = 0; i < texts.size(); ++i)
        parse_spike(texts[i], &spikes[i]);
    return spikes;
}

std::vector<SimNote> parsed_notes(const std::vector<std::string>& texts) {
    std::vector<SimNote> notes(texts.size());
    for (size_t i = 0; i < texts.size(); ++i)
        parse_note(texts[i], &notes[i]);
    return notes;
}

// Writes the records, and their lines when there is a journal. Returns the
// errno of the first failed write of the recording, or 0.
int write_records(const SimArgs& args, std::FILE* out, SimJournal* journal, Records* records) {
    int64_t count = args.records.count < 0 ? DEFAULT_FILE_COUNT : args.records.count;
    for (int64_t i = 0; i < count; ++i) {
        const std::vector<unsigned char>& bytes = records->next();
        if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) return errno;
        if (journal != nullptr) journal->record(records->last(), bytes);
    }
    return 0;
}

// One line for each note whose frame never came; true when there was none.
bool all_notes_written(const SimJournal& journal, int64_t frames) {
    std::vector<SimNote> left = journal.unwritten();
    for (const SimNote& note : left)
        std::fprintf(stderr, "%s: no note after frame %lld: the recording holds %lld frames\n",
                     TOOL, static_cast<long long>(note.frame), static_cast<long long>(frames));
    return left.empty();
}

int write_recording(const SimArgs& args) {
    const std::string& path = *args.out;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        report_failure("open", path, errno);
        return 1;
    }
    std::string journal_path = journal_path_for(path);
    std::FILE* journal_file = nullptr;
    if (is_regular_file(out) && (journal_file = std::fopen(journal_path.c_str(), "w")) == nullptr) {
        report_failure("open", journal_path, errno);
        std::fclose(out);
        return 1;
    }
    Records records(args.records, LINE_FRAME_PERIOD_S);
    std::optional<SimJournal> journal;
    if (journal_file != nullptr)
        journal.emplace(journal_file, start_microseconds(args), start_text(args),
                        parsed_notes(args.notes));
    int error = write_records(args, out, journal ? &*journal : nullptr, &records);
    close_file(out, &error);
    if (error != 0) report_failure("write", path, error);
    int journal_error = 0;
    if (journal_file != nullptr) close_file(journal_file, &journal_error);
    if (journal_error != 0) report_failure("write", journal_path, journal_error);
    if (error != 0 || journal_error != 0) return 1;
    report_records(records.tally(), 0);
    return journal && !all_notes_written(*journal, records.tally().good) ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    SimArgs args;
    CLI::App app(DESCRIPTION, TOOL);
    define_options(&app, &args);
    set_up_command_line(&app, FOOTER);
    int status = parse_command_line(&app, argc, argv);
    if (status != KEEP_RUNNING) return status;
    args.records.spikes = parsed_spikes(args.spikes);
    return args.out ? write_recording(args) : stream_on_link(args.link, args.records);
}
