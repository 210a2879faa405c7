#include "journal_reader.h"

#include <charconv>
#include <string_view>

#include "journal_format.h"

namespace {

// Longest line taken; a longer one is no journal line (a note is a line of text).
constexpr size_t LINE_MAX_BYTES = 4096;

struct Fields {
    std::string_view time, offset, kind, text;
};

bool split(std::string_view line, Fields* f) {
    std::string_view* parts[] = {&f->time, &f->offset, &f->kind};
    for (std::string_view* part : parts) {
        size_t tab = line.find('\t');
        if (tab == std::string_view::npos) return false;
        *part = line.substr(0, tab);
        line.remove_prefix(tab + 1);
    }
    f->text = line;
    return !f->kind.empty();
}

bool parse_offset(std::string_view text, int64_t* offset) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *offset);
    return error == std::errc() && end == text.data() + text.size() && *offset >= 0;
}

struct Reader {
    JournalReading* reading;
    int64_t recording_size;
    int64_t last_time = INT64_MIN;
    int64_t next_record = 0; // the first offset a record may start at

    void problem(int line, const std::string& what) {
        reading->problems.push_back("line " + std::to_string(line) + ": " + what);
    }

    void take(int line, std::string_view text) {
        Fields f;
        int64_t time = 0, offset = 0;
        if (!split(text, &f) || !parse_utc(f.time, &time) || !parse_offset(f.offset, &offset)) {
            problem(line, "not a journal line");
            return;
        }
        bool record = f.kind == KIND_FRAME || f.kind == KIND_BAD;
        int64_t end = offset + (record ? 256 : 0);
        if (recording_size >= 0 && end > recording_size) {
            problem(line, "offset " + std::to_string(offset) + " past the recording's end (" +
                              std::to_string(recording_size) + " bytes)");
            return;
        }
        if (record && offset < next_record) {
            problem(line, "offset " + std::to_string(offset) + " before the record above ends");
            return;
        }
        if (time < last_time) problem(line, "time earlier than the line above");
        last_time = time;
        if (record) {
            // A bad record's bytes are scanned again for the next pattern.
            next_record = offset + (f.kind == KIND_FRAME ? 256 : 1);
            reading->records.push_back({time, offset, f.kind == KIND_FRAME});
        } else {
            reading->events.push_back(
                {line, time, offset, std::string(f.kind), std::string(f.text)});
        }
    }
};

// Reads one line without its line end into `line`, keeping at most
// LINE_MAX_BYTES + 1 bytes of it (NUL bytes too: a crash can leave them).
// Returns false at the end of the input; `ended` tells a torn last line.
bool next_line(std::FILE* journal, std::string* line, bool* ended) {
    line->clear();
    int c = 0;
    while ((c = getc_unlocked(journal)) != EOF && c != '\n')
        if (line->size() <= LINE_MAX_BYTES) *line += static_cast<char>(c);
    *ended = c == EOF;
    return !(*ended && line->empty());
}

} // namespace

void read_journal(std::FILE* journal, int64_t recording_size, JournalReading* reading) {
    Reader reader{reading, recording_size};
    std::string line;
    bool ended = false;
    int number = 0;
    while (next_line(journal, &line, &ended)) {
        ++number;
        if (ended)
            reader.problem(number, "torn: the journal ends inside it");
        else if (line.size() > LINE_MAX_BYTES)
            reader.problem(number, "longer than a journal line");
        else if (number > 1)
            reader.take(number, line);
        else if (line + "\n" != JOURNAL_HEADER)
            reader.problem(number, "not a journal's header");
    }
    if (std::ferror(journal)) reader.problem(number + 1, "cannot be read");
    if (number == 0) reader.problem(1, "empty: not even a header");
}
