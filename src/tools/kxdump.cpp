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
#include "dump_output.h"
#include "record_reader.h"

namespace {

constexpr const char* TOOL = "kxdump";
constexpr const char* DESCRIPTION =
    "Decodes a recording of 256-byte telemetry frames as the replay source reads it\n"
    "(frame checksum, resynchronisation on 0xEB 0x90, skipped bytes), without pacing.\n"
    "Writes one JSON line per good frame, then a summary line with the spectrum.\n";
constexpr const char* FOOTER =
    "Exit status: 0 once the recording is read to its end, 1 when a file cannot be\n"
    "opened, read or written, 2 on a usage error.\n";

struct DumpArgs {
    bool csv = false;                    // CSV rows instead of JSON Lines
    bool summary = false;                // only the summary line
    std::optional<std::string> spectrum; // where to write the spectrum CSV, if anywhere
    std::string recording;
};

// The options, each with its help, once.
void define_options(CLI::App* app, DumpArgs* args) {
    app->add_option("RECORDING", args->recording, "the recording; a pipe, or - for standard input")
        ->required();
    CLI::Option* csv =
        app->add_flag("--csv", args->csv, "one CSV row per good frame instead, under a header");
    app->add_flag("--summary", args->summary, "only the summary line")->excludes(csv);
    app->add_option("--spectrum", args->spectrum, "also write the spectrum as CSV to OUT.csv")
        ->type_name("OUT.csv");
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

// Reads every good record, accumulates it, and writes it unless only the
// summary is wanted. Stops early when the output fails. Returns the records read.
int64_t dump_frames(const DumpArgs& args, SpectrumStore* store, Output* out) {
    int64_t frames = 0;
    unsigned char frame[FRAME_SIZE];
    FrameValues values;
    if (args.csv) append_csv_header(out->pending);
    while (!out->failed && read_record(&reader, frame) == 0) {
        if (args.summary) {
            decode_counts(frame, &values);
        } else {
            decode_frame(frame, &values);
            FramePlace place{frames, record_offset(reader), reader.skipped};
            if (args.csv)
                append_csv_frame(out->pending, place, values);
            else
                append_json_frame(out->pending, place, values);
            if (out->pending.size() >= FLUSH_SIZE) flush(out);
        }
        accumulate_counts(store, values, 1);
        ++frames;
    }
    return frames;
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

int dump(const DumpArgs& args) {
    std::FILE* recording = open_recording(args.recording.c_str());
    if (recording == nullptr) return 1;
    const char* spectrum_path = args.spectrum ? args.spectrum->c_str() : nullptr;
    if (spectrum_path != nullptr && same_file(recording, spectrum_path)) {
        std::fprintf(stderr, "%s: %s is the recording; the spectrum goes elsewhere\n", TOOL,
                     spectrum_path);
        std::fclose(recording);
        return 1;
    }
    std::FILE* spectrum_file = nullptr;
    if (spectrum_path != nullptr && (spectrum_file = std::fopen(spectrum_path, "w")) == nullptr) {
        report_failure("open", spectrum_path, errno);
        std::fclose(recording);
        return 1;
    }
    start_reading(&reader, recording, READ_AHEAD_MAX);
    SpectrumStore store{}; // fresh: all zero, then the bin table
    init(&store);
    Output out{stdout, "standard output", {}, false, 0};
    int64_t frames = dump_frames(args, &store, &out);
    std::fclose(recording);
    if (reader.error != 0) {
        report_failure(
            "read", is_standard_input(args.recording) ? "standard input" : args.recording.c_str(),
            reader.error);
        if (spectrum_file != nullptr) std::fclose(spectrum_file);
        return 1;
    }
    if (!args.csv) append_json_summary(out.pending, store, frames, reader.skipped);
    bool written = finish(&out, false);
    if (spectrum_file != nullptr) {
        Output spectrum{spectrum_file, spectrum_path, {}, false, 0};
        // A failed output stopped the reading: the spectrum would be partial.
        if (written) append_spectrum_csv(spectrum.pending, store);
        written = finish(&spectrum, true) && written;
    }
    return written ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    DumpArgs args;
    CLI::App app(DESCRIPTION, TOOL);
    define_options(&app, &args);
    set_up_command_line(&app, FOOTER);
    int status = parse_command_line(&app, argc, argv);
    return status != KEEP_RUNNING ? status : dump(args);
}
