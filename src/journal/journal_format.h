// The journal beside a recording: tab-separated text that awk, a
// spreadsheet and pandas read as it is. A header line, then one line per
// record the line gave and per event of the run, in the order they came:
//
//   time<TAB>offset<TAB>kind<TAB>text
//   2026-12-07T14:32:05.123456Z<TAB>1024<TAB>frame<TAB>
//
// time   the host's UTC time when it happened (a record: when its last byte
//        was in), ISO 8601 with microseconds
// offset a record's first byte in the recording; an event's: the bytes
//        the recording held when it happened
// kind   frame (passed the checksum), bad (failed it), note (the operator's),
//        or an event: start, pass, reset, accumulate, silent, back,
//        log-error, journal-error, limit, acknowledge, quit. A reader keeps
//        a kind it does not know as an event, so that older readers take
//        the journals of newer programs.
// text   what the kind needs said: the note, the settings; no tabs or
//        line ends (they become spaces)
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

constexpr const char* JOURNAL_HEADER = "time\toffset\tkind\ttext\n";
// The journal of recording NAME.dat is NAME.tsv.
constexpr const char* JOURNAL_EXTENSION = ".tsv";

// Kinds of the lines that stand for records.
constexpr std::string_view KIND_FRAME = "frame";
constexpr std::string_view KIND_BAD = "bad";
constexpr std::string_view KIND_NOTE = "note";
// A limit's state changed: "words.252 in range -> yellow 550", the value
// that completed the change last. The operator acknowledged a limit's
// alarm: its value's name.
constexpr std::string_view KIND_LIMIT = "limit";
constexpr std::string_view KIND_ACKNOWLEDGE = "acknowledge";

// The journal's name for a recording's: its extension replaced.
std::string journal_path_for(const std::string& recording);

// Room for a time's text and its NUL: 28 bytes, and what the compiler
// counts for fields it cannot bound.
constexpr size_t UTC_TEXT_BYTES = 96;
// Room for a line whose text is a note of NOTE_BYTES - 1 bytes at most.
constexpr size_t NOTE_BYTES = 512;
constexpr size_t JOURNAL_LINE_BYTES = UTC_TEXT_BYTES + 24 + 16 + NOTE_BYTES + 2;

// "YYYY-MM-DDTHH:MM:SS.uuuuuuZ" of microseconds since 1970 UTC.
void format_utc(int64_t microseconds, char text[UTC_TEXT_BYTES]);
std::string utc_text(int64_t microseconds);
// The microseconds of such a text (fewer decimals allowed, or none), or
// false when it is not one.
bool parse_utc(std::string_view text, int64_t* microseconds);

// One line, ending in a line end, with `text` made safe for the format (and
// cut to NOTE_BYTES - 1 bytes). Returns its length in `line`, NUL-ended.
size_t format_journal_line(char line[JOURNAL_LINE_BYTES], int64_t microseconds, int64_t offset,
                           std::string_view kind, std::string_view text);
std::string journal_line(int64_t microseconds, int64_t offset, std::string_view kind,
                         std::string_view text);
