// kxdump: decodes a recording at full speed, exactly as the replay source
// reads it, and writes every good frame and the accumulated spectrum.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

#include "command_line.h"
#include "dump_journal.h"
#include "dump_limits.h"
#include "dump_output.h"
#include "dump_window.h"
#include "journal_format.h"
#include "limits_file.h"
#include "record_reader.h"

namespace {

constexpr const char* TOOL = "kxdump";
constexpr const char* DESCRIPTION =
    "Decodes a recording of 256-byte telemetry frames as the replay source reads it\n"
    "(frame checksum, resynchronisation on 0xEB 0x90, skipped bytes), without pacing.\n"
    "Writes one JSON line per good frame, then a summary line with the spectrum.\n";
constexpr const char* FOOTER =
    "Frames are numbered from 0 among the good ones, as the output numbers them. Arrival\n"
    "times come from the recording's journal; one that does not match the recording is\n"
    "reported line by line on standard error, and what is usable of it is used.\n"
    "Exit status: 0 once the recording is read to its end (or the window's), 1 when a\n"
    "file cannot be opened, read or written, no line of the journal is usable or the\n"
    "limits file has a problem, 2 on a usage error or when an option that needs a\n"
    "journal finds none.\n";

struct DumpArgs {
    bool csv = false;                    // CSV rows instead of JSON Lines
    bool summary = false;                // only the summary line
    bool events = false;                 // the journal's events and notes instead of frames
    bool times = false;                  // each frame's arrival time
    std::optional<std::string> spectrum; // where to write the spectrum CSV, if anywhere
    std::optional<std::string> journal;  // the journal, when not the one beside the recording
    std::optional<std::string> from, to; // the window's ends, "#N" or a time
    std::optional<std::string> limits;   // the limits file to check the frames against
    std::string recording;
};

CLI::Validator window_end_check() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            WindowEnd ignored;
            if (parse_window_end(text, &ignored)) return {};
            return "invalid value '" + text +
                   "': expected an ISO 8601 UTC time such as 2026-12-07T14:32:00Z, or #N";
        },
        "");
}

WindowEnd window_end(const std::optional<std::string>& text) {
    WindowEnd end;
    if (text) parse_window_end(*text, &end);
    return end;
}

// What the options allow one by one but not together.
void check_window(const DumpArgs& args) {
    WindowEnd from = window_end(args.from), to = window_end(args.to);
    if (args.events && (from.kind == WindowEnd::FRAME || to.kind == WindowEnd::FRAME))
        throw CLI::ValidationError("--events takes times for --from and --to, not frame numbers");
    if (from.kind == to.kind && from.kind != WindowEnd::OPEN && from.value > to.value)
        throw CLI::ValidationError("--from " + *args.from + " comes after --to " + *args.to);
}

void define_window_options(CLI::App* app, DumpArgs* args) {
    app->add_option("--from", args->from,
                    "decode from the first frame that came at or after TIME, ISO 8601 UTC\n"
                    "(2026-12-07T14:32:00Z), or from frame #N; inclusive")
        ->type_name("TIME|#N")
        ->check(window_end_check());
    app->add_option("--to", args->to,
                    "decode up to the last frame that came at or before TIME, or up to\n"
                    "frame #N; inclusive")
        ->type_name("TIME|#N")
        ->check(window_end_check());
    app->final_callback([args] { check_window(*args); });
}

// The options, each with its help, once.
void define_options(CLI::App* app, DumpArgs* args) {
    app->add_option("RECORDING", args->recording, "the recording; a pipe, or - for standard input")
        ->required();
    CLI::Option* csv =
        app->add_flag("--csv", args->csv, "one CSV row per good frame instead, under a header");
    CLI::Option* summary =
        app->add_flag("--summary", args->summary, "only the summary line")->excludes(csv);
    CLI::Option* events =
        app->add_flag("--events", args->events,
                      "the journal's events and notes as JSON lines instead of the frames")
            ->excludes(csv)
            ->excludes(summary);
    app->add_option("--limits", args->limits,
                    "check the frames against the limits in FILE (kx-limits(5)): one JSON\n"
                    "line per state change of a limit, then one summary line per limit,\n"
                    "instead of the frames and the summary line")
        ->type_name("FILE")
        ->excludes(csv)
        ->excludes(summary)
        ->excludes(events);
    app->add_option("--journal", args->journal,
                    "the recording's journal (default: the one beside it, named as the\n"
                    "recording with .tsv for its extension)")
        ->type_name("FILE");
    app->add_option("--spectrum", args->spectrum, "also write the spectrum as CSV to OUT.csv")
        ->type_name("OUT.csv")
        ->excludes(events);
    app->add_flag("--times", args->times,
                  "each frame's arrival time from the journal (\"arrival\", UTC; null or\n"
                  "empty when the journal does not tell it)")
        ->excludes(events);
    define_window_options(app, args);
}

// Output is collected and handed to stdio in blocks this large.
constexpr size_t FLUSH_SIZE = 1 << 16;
constexpr const char* STANDARD_INPUT = "-";

RecordReader reader; // static: its window is too large for the stack

struct Output {
    std::FILE* stream;
    const char* name; // for messages
    TextBuffer pending;
    bool failed = false;
    int error = 0; // errno of the failure
};

void report_failure(const char* verb, const char* path, int error) {
    std::fprintf(stderr, "%s: cannot %s %s: %s\n", TOOL, verb, path, std::strerror(error));
}

void flush(Output* out) {
    std::string_view text = out->pending.view();
    if (out->failed || text.empty()) return;
    if (std::fwrite(text.data(), 1, text.size(), out->stream) != text.size()) {
        out->failed = true;
        out->error = errno;
    }
    out->pending.clear();
}

// Writes what is pending and closes the stream (standard output is flushed
// only); false when anything could not be written.
bool finish(Output* out, bool close) {
    flush(out);
    if (!out->failed && (std::fflush(out->stream) != 0 || std::ferror(out->stream))) {
        out->failed = true;
        out->error = errno;
    }
    if (close && std::fclose(out->stream) != 0 && !out->failed) {
        out->failed = true;
        out->error = errno;
    }
    if (out->failed) report_failure("write", out->name, out->error);
    return !out->failed;
}

// What reading the recording came to.
struct DumpTally {
    int64_t frames = 0;  // written (accumulated), those in the window
    int32_t skipped = 0; // the skipped-byte counter at the last of them
    int64_t timed = 0;   // frames whose arrival was looked up
    int64_t untimed = 0; // of those, the ones the journal does not time
};

// Where the frames come from and which of them go out.
struct FrameSelection {
    FrameWindow window;
    ArrivalCursor* arrivals; // null when no arrival time is needed
    LimitCheck* limits;      // null without --limits
};

void write_frame(const DumpArgs& args, const FrameSelection& selection, const FramePlace& place,
                 int64_t time, const unsigned char* frame, FrameValues* values, Output* out) {
    if (args.summary) {
        decode_counts(frame, values);
        return;
    }
    decode_frame(frame, values);
    if (selection.limits != nullptr)
        check_frame_limits(selection.limits, place, time, *values, out->pending);
    else if (args.csv)
        append_csv_frame(out->pending, place, *values);
    else
        append_json_frame(out->pending, place, *values);
    if (out->pending.size() >= FLUSH_SIZE) flush(out);
}

// Reads every good record up to the window's end; accumulates each in the
// window, and writes it unless only the summary is wanted. Stops early when
// the output fails.
DumpTally dump_frames(const DumpArgs& args, const FrameSelection& selection, SpectrumStore* store,
                      Output* out) {
    DumpTally tally;
    unsigned char frame[FRAME_SIZE];
    FrameValues values;
    char arrival[UTC_TEXT_BYTES];
    if (args.csv) append_csv_header(out->pending, args.times);
    for (int64_t index = 0; !out->failed && read_record(&reader, frame) == 0; ++index) {
        int64_t offset = record_offset(reader), time = 0;
        if (selection.window.ended(index, offset)) break;
        bool timed = selection.arrivals != nullptr && selection.arrivals->arrival(offset, &time);
        tally.timed += selection.arrivals != nullptr;
        tally.untimed += selection.arrivals != nullptr && !timed;
        if (!selection.window.holds(index, timed, time)) continue;
        FramePlace place{index, offset, reader.skipped};
        if (args.times || selection.limits != nullptr) {
            arrival[0] = '\0';
            if (timed) format_utc(time, arrival);
            place.arrival = arrival;
        }
        write_frame(args, selection, place, timed ? time : UNKNOWN_TIME, frame, &values, out);
        accumulate_counts(store, values, 1);
        ++tally.frames;
        tally.skipped = reader.skipped;
    }
    return tally;
}

bool is_standard_input(const std::string& path) { return path == STANDARD_INPUT; }

std::FILE* open_recording(const char* path) {
    if (is_standard_input(path)) return stdin;
    std::FILE* recording = std::fopen(path, "rb");
    if (recording == nullptr) report_failure("open", path, errno);
    return recording;
}

// Opening the spectrum file would empty a recording given again by mistake.
bool same_file(std::FILE* stream, const char* path) {
    struct stat open_file, named;
    return fstat(fileno(stream), &open_file) == 0 && stat(path, &named) == 0 &&
           open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

// The option that needs the journal, or null when none does.
const char* journal_needed_by(const DumpArgs& args) {
    if (args.events) return "--events";
    if (args.times) return "--times";
    if (window_end(args.from).kind == WindowEnd::TIME) return "--from";
    if (window_end(args.to).kind == WindowEnd::TIME) return "--to";
    return nullptr;
}

// The events and notes that came in the window of times.
int list_events(const JournalReading& journal, const FrameWindow& window) {
    Output out{stdout, "standard output", {}, false, 0};
    for (const JournalEvent& event : journal.events)
        if (window.holds(0, true, event.time)) append_json_event(out.pending, event);
    return finish(&out, false) ? 0 : 1;
}

// Decodes the recording, up to its end or the window's, into standard
// output and the spectrum file. Returns the exit status.
int dump_recording(const DumpArgs& args, const FrameSelection& selection,
                   const std::string& journal_name, std::FILE* spectrum_file) {
    SpectrumStore store{}; // fresh: all zero, then the bin table
    init(&store);
    Output out{stdout, "standard output", {}, false, 0};
    DumpTally tally = dump_frames(args, selection, &store, &out);
    if (reader.error != 0) {
        report_failure(
            "read", is_standard_input(args.recording) ? "standard input" : args.recording.c_str(),
            reader.error);
        if (spectrum_file != nullptr) std::fclose(spectrum_file);
        return 1;
    }
    if (tally.untimed > 0)
        std::fprintf(stderr,
                     "%s: %s: no arrival time for %lld of %lld frames: no line at their offset\n",
                     TOOL, journal_name.c_str(), static_cast<long long>(tally.untimed),
                     static_cast<long long>(tally.timed));
    // Without a window's end the counter is the recording's, as it always was.
    int32_t skipped = selection.window.to.kind == WindowEnd::OPEN ? reader.skipped : tally.skipped;
    if (selection.limits != nullptr)
        append_limit_summaries(out.pending, selection.limits->limits);
    else if (!args.csv)
        append_json_summary(out.pending, store, tally.frames, skipped);
    bool written = finish(&out, false);
    if (spectrum_file != nullptr) {
        Output spectrum{spectrum_file, args.spectrum->c_str(), {}, false, 0};
        // A failed output stopped the reading: the spectrum would be partial.
        if (written) append_spectrum_csv(spectrum.pending, store);
        written = finish(&spectrum, true) && written;
    }
    return written ? 0 : 1;
}

// Opens the spectrum file, if one is asked for; false when it cannot be.
bool open_spectrum(const DumpArgs& args, std::FILE* recording, std::FILE** spectrum_file) {
    *spectrum_file = nullptr;
    if (!args.spectrum) return true;
    const char* path = args.spectrum->c_str();
    if (same_file(recording, path)) {
        std::fprintf(stderr, "%s: %s is the recording; the spectrum goes elsewhere\n", TOOL, path);
        return false;
    }
    if ((*spectrum_file = std::fopen(path, "w")) == nullptr) report_failure("open", path, errno);
    return *spectrum_file != nullptr;
}

// Reads the limits file, if one is given; its problems go to standard error,
// and with any of them nothing is checked.
bool load_limits(const DumpArgs& args, LimitCheck* check) {
    if (!args.limits) return true;
    LimitsReading reading;
    if (int error = read_limits_file(*args.limits, &reading); error != 0) {
        report_failure("read", args.limits->c_str(), error);
        return false;
    }
    for (const std::string& problem : reading.problems)
        std::fprintf(stderr, "%s: %s\n", TOOL, problem.c_str());
    if (!reading.problems.empty()) return false;
    start_limit_check(check, std::move(reading.limits));
    return true;
}

// The journal an option needs, or the one beside the recording when there is
// one, for the limits' arrival times. Returns 0 or the exit status.
int find_journal(const DumpArgs& args, std::FILE* recording, JournalReading* journal,
                 std::string* journal_name, bool* found) {
    const char* option = journal_needed_by(args);
    *found = false;
    if (option == nullptr && !args.limits) return 0;
    JournalChoice choice{&args.recording, recording, &args.journal,
                         option != nullptr ? option : "--limits", option == nullptr};
    int status = load_journal(choice, journal, journal_name);
    *found = status == 0 && !journal_name->empty();
    return status;
}

int dump(const DumpArgs& args, std::FILE* recording) {
    LimitCheck limits;
    if (!load_limits(args, &limits)) return 1;
    FrameSelection selection{
        {window_end(args.from), window_end(args.to)}, nullptr, args.limits ? &limits : nullptr};
    JournalReading journal;
    std::string journal_name;
    bool journal_found = false;
    if (int status = find_journal(args, recording, &journal, &journal_name, &journal_found);
        status != 0)
        return status;
    if (args.events) return list_events(journal, selection.window);
    // Only once the journal is there: a missing one must leave the file as it was.
    std::FILE* spectrum_file = nullptr;
    if (!open_spectrum(args, recording, &spectrum_file)) return 1;
    bound_window(journal.records, &selection.window);
    ArrivalCursor arrivals(journal.records);
    if (args.times || selection.window.by_time() || (args.limits && journal_found))
        selection.arrivals = &arrivals;
    start_reading(&reader, recording, READ_AHEAD_MAX);
    return dump_recording(args, selection, journal_name, spectrum_file);
}

} // namespace

int main(int argc, char** argv) {
    DumpArgs args;
    CLI::App app(DESCRIPTION, TOOL);
    define_options(&app, &args);
    set_up_command_line(&app, FOOTER);
    int status = parse_command_line(&app, argc, argv);
    if (status != KEEP_RUNNING) return status;
    std::FILE* recording = open_recording(args.recording.c_str());
    if (recording == nullptr) return 1;
    status = dump(args, recording);
    std::fclose(recording);
    return status;
}
